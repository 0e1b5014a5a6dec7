#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lingchao {

using Bytes = std::vector<std::uint8_t>;

// Why a stored file could not be read whole.
enum class ReadProblem {
    None,
    Missing,       // nothing at the path
    NotRegular,    // a folder, a FIFO, a device or a socket: never read, it could block or never end
    NoPermission,  // the user may not read it
    Unreadable,    // any other error (an I/O error, a file that vanished)
    TooLarge,      // more than the cap: the bytes read are its first `cap` bytes
};

struct StoredFile {
    Bytes bytes;
    ReadProblem problem = ReadProblem::None;
    int error = 0;  // errno behind NoPermission and Unreadable
    // True when the bytes are the whole file.
    bool whole() const { return problem == ReadProblem::None; }
    // True when the bytes may be used: the whole file, or the first `cap` bytes of a larger one.
    bool usable() const { return problem == ReadProblem::None || problem == ReadProblem::TooLarge; }
};

// Generous bound for files without a cap of their own.
inline constexpr std::uint64_t kDefaultReadCap = 64ull * 1024 * 1024;

// Reads a stored file. Only a regular file is read (links to one are followed); the open never waits (a FIFO
// or a device is refused before a byte is read) and at most `cap` bytes are kept, whatever the file's size.
StoredFile ReadStoredFile(const std::filesystem::path& path, std::uint64_t cap);

// The reason for the user, in Chinese ("文件不存在", "不是普通文件", "没有读取权限", "无法读取", "文件过大");
// "" for None.
std::string ReadProblemText(ReadProblem problem);

// The reason a write failed for the user, in Chinese ("磁盘已满", "文件夹只读", "没有写入权限", ...).
std::string WriteErrorText(int error);

// Whole content of a regular file of at most `cap` bytes; nullopt otherwise (see ReadStoredFile).
std::optional<Bytes> ReadFileBytes(const std::filesystem::path& path, std::uint64_t cap = kDefaultReadCap);

// Up to `length` bytes from `offset` of a regular file; fewer at the end of the file, nullopt when it cannot be
// read. Never waits on a FIFO or a device.
std::optional<Bytes> ReadFileRange(const std::filesystem::path& path, std::uint64_t offset, std::size_t length);

// What tells one version of a file from the next (size, change times, inode; "missing" when there is none):
// a file replaced or rewritten in place gets a new stamp. One stat, never opens the file.
std::string FileStamp(const std::filesystem::path& path);

// Length in bytes of a regular file, or nullopt (missing, not a regular file, cannot be examined).
std::optional<std::uint64_t> FileLength(const std::filesystem::path& path);

// Creates the file empty when nothing is at the path. Whatever is there already (a file, a link, a FIFO) is left
// as it is and counts as existing: no link is followed, nothing is opened that could block.
bool EnsureFileExists(const std::filesystem::path& path);

// Makes `path` an empty regular file: creates it, or empties the regular file there. A link standing there is
// removed (never followed) and replaced by the file; anything else (a folder, a FIFO, a device) is left alone and
// fails, with errno set.
bool MakeEmptyRegularFile(const std::filesystem::path& path);

// Replaces `target` whole so that a crash at any instant leaves it old or new, never mixed: the bytes go to
// `scratch` (same folder; created exclusively, never through a link: a stale non-folder entry of that name is
// removed first), are flushed to disk, and `scratch` is renamed over `target`. On failure `target` is untouched,
// the scratch file is removed, false is returned and `failure` (when given) says why, in Chinese.
bool ReplaceFileAtomically(const std::filesystem::path& target, const Bytes& content,
                           const std::filesystem::path& scratch, std::string* failure = nullptr);
bool ReplaceFileAtomically(const std::filesystem::path& target, const Bytes& content, std::string* failure = nullptr);

// Copies a whole regular file of at most `cap` bytes. Without `overwrite` it fails when `to` exists; with it,
// `to` is replaced atomically. `failure` as above.
bool CopyWholeFile(const std::filesystem::path& from, const std::filesystem::path& to, bool overwrite,
                   std::uint64_t cap = kDefaultReadCap, std::string* failure = nullptr);

// Scratch name beside `target` for an atomic replace.
std::filesystem::path ScratchPathFor(const std::filesystem::path& target);

// Opens `path` for appending without following a link and without waiting (O_NOFOLLOW, O_NONBLOCK), creating it
// when missing; only a regular file is accepted. Returns the descriptor, or -1 with errno set (ELOOP for a link,
// EINVAL for something that is not a regular file).
// `size` (when given) receives the file's length at the open.
int OpenRegularForAppend(const std::filesystem::path& path, std::uint64_t* size = nullptr);

}  // namespace lingchao
