#pragma once

#include <ctime>
#include <filesystem>
#include <string>

#include "base/file_util.h"

namespace lingchao {

// Copies the regular file `from` whole to `to`: into a scratch file beside `to` (created exclusively), flushed to
// disk, then renamed over `to`, so a half copy never takes the name. Missing folders of `to` are made. A link at
// `from` is followed only with `followLink`; a FIFO or a device is refused without waiting. On failure `to` is
// untouched and `failure` (when given) says why: "无法建立文件夹", "无法读取" or "无法写入：<reason>".
bool CopyFileWhole(const std::filesystem::path& from, const std::filesystem::path& to, bool followLink,
                   std::string* failure = nullptr);

// True when both are regular files (links followed) with the same bytes; read in pieces, never whole.
bool SameFileBytes(const std::filesystem::path& a, const std::filesystem::path& b);

// "2026-12-07 075500": local date and time as backup folders are named.
std::string BackupStamp(std::time_t when);

// The folder under the application folder where every backup lies.
inline constexpr const char* kBackupFolder = "backup";

// A new folder "backup/<YYYY-MM-DD HHMMSS> <why>" of the application folder that keeps files, under their paths
// relative to that folder ("job/x.sav"), before an operation replaces them. It is made at the first Keep, never
// over an earlier one: a second in the same second is named "... (2)". Each file is in it whole and on disk when
// Keep returns true, so the caller may then replace the original.
class BackupFolder final {
public:
    BackupFolder(std::filesystem::path appFolder, std::string why, std::time_t when);

    // Keeps a copy of <appFolder>/<relative> (a regular file; a link to one is followed). False, with `failure`
    // ("job/x.sav：无法写入：磁盘已满"), when it cannot.
    bool Keep(const std::filesystem::path& relative, std::string* failure = nullptr);
    // Keeps `bytes` as the file at `relative`: what was read and is about to be replaced.
    bool Keep(const std::filesystem::path& relative, const Bytes& bytes, std::string* failure = nullptr);

    // True once the folder exists (something was kept, or a Keep got as far as making it).
    bool Made() const { return !path_.empty(); }
    // The folder (empty until made).
    const std::filesystem::path& Path() const { return path_; }
    // As messages name it: "backup/2026-12-07 075500 导入" ("" until made).
    std::string Name() const;

private:
    bool Make(std::string* failure);

    std::filesystem::path appFolder_;
    std::string why_;
    std::time_t when_;
    std::filesystem::path path_;
};

}  // namespace lingchao
