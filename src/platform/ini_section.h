#pragma once

#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "base/file_util.h"

namespace lingchao {

// lingchao.ini holds sections owned by different parts of the program ([web], [campus]). A file larger than this
// is not ours and is neither parsed nor rewritten.
inline constexpr std::uint64_t kMaxIniBytes = 1024 * 1024;

inline std::filesystem::path IniFile(const std::filesystem::path& appFolder) { return appFolder / "lingchao.ini"; }

// QSettings keeps what it read of a file by its name, size and time to the millisecond: a file replaced twice
// within one millisecond could read as it was. So QSettings only ever sees copies, each under a name of its own,
// in a private folder (0700: a copy holding a password is the owner's alone too).
class IniCopies {
public:
    // A new copy holding `bytes`; empty when it cannot be made.
    QString Of(const Bytes& bytes);

private:
    QTemporaryDir folder_;
    int count_ = 0;
};

struct IniSectionWrite {
    QString group;                          // the section rewritten
    std::function<void(QSettings&)> write;  // sets its keys, inside the group
    // Whether the file will hold a secret, judged on a copy of its old text: then it and its backup are never
    // readable by others, not even for a moment.
    std::function<bool(const QString& copy)> secret;
    std::string logName;  // "web settings"
};

// Rewrites one section of `file`: QSettings rewrites a copy of the old text (so its INI escaping is used), and
// that section is spliced into the old text, which the real file gets in one atomic replace, after the old file
// was kept as <file>.bak. Everything else stays byte for byte: the administrator's comments, and values QSettings
// would rewrite in its own way (lists, non-UTF-8 text). Should the splice not read back as QSettings' own rewrite
// does, that rewrite is used as it is. "" when written, else why not.
std::string RewriteIniSection(const std::filesystem::path& file, const IniSectionWrite& how);

}  // namespace lingchao
