#include "platform/ini_section.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QStringList>
#include <cerrno>
#include <map>

#include "base/log.h"

namespace lingchao {
namespace {

using Values = std::map<QString, QString>;

// How a value reads back from the text: what a rewrite must leave as it was.
QString Kept(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QChar(0x1f));
    return value.toString();
}

// Every key of the section (`ours`) or every key outside it.
Values KeysOf(QSettings& settings, const QString& group, bool ours) {
    Values values;
    for (const QString& key : settings.allKeys()) {
        if (key.startsWith(group + u'/') == ours) values.emplace(key, Kept(settings.value(key)));
    }
    return values;
}

// The text with every section of `group` taken out (QSettings' rule: the name between '[' and the first ']',
// trimmed), and that section of `rewritten` put at its end.
Bytes Spliced(const Bytes& original, const Bytes& rewritten, const QString& group) {
    const QByteArray name = group.toUtf8();
    const auto sections = [&name](const Bytes& text, bool keepOurs) {
        Bytes out;
        bool inOurs = false;
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = start;
            while (end < text.size() && text[end] != '\n') ++end;
            if (end < text.size()) ++end;
            const QByteArray line =
                QByteArray(reinterpret_cast<const char*>(text.data() + start), static_cast<qsizetype>(end - start))
                    .trimmed();
            if (line.startsWith('[') && line.contains(']'))
                inOurs = line.mid(1, line.indexOf(']') - 1).trimmed() == name;
            if (inOurs == keepOurs) out.insert(out.end(), text.begin() + start, text.begin() + end);
            start = end;
        }
        return out;
    };
    Bytes out = sections(original, false);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    if (!out.empty()) out.insert(out.end(), {'\n', '\n'});
    const Bytes ours = sections(rewritten, true);
    out.insert(out.end(), ours.begin(), ours.end());
    return out;
}

// ReplaceFileAtomically, but the file is never readable by others, not even for the moment before a chmod: the
// scratch file is made 0600.
bool ReplacePrivately(const std::filesystem::path& target, const Bytes& content, std::string* failure) {
    const auto scratch = ScratchPathFor(target);
    const auto fail = [&](int code) {
        if (failure != nullptr) *failure = "无法写入 " + target.string() + "：" + WriteErrorText(code);
        LogLine("settings: cannot write " + target.string() + ": " + WriteErrorText(code));
        return false;
    };
    ::unlink(scratch.c_str());  // a leftover or a planted link is never written through
    const int fd = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return fail(errno);
    int error = 0;
    for (std::size_t done = 0; done < content.size() && error == 0;) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) error = n < 0 ? errno : EIO;
        if (n > 0) done += static_cast<std::size_t>(n);
    }
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (error != 0) {
        ::close(fd);
        ::unlink(scratch.c_str());
        return fail(error);
    }
    ::close(fd);
    if (::rename(scratch.c_str(), target.c_str()) != 0) {
        const int why = errno;
        ::unlink(scratch.c_str());
        return fail(why);
    }
    const int folder = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

bool Replace(const std::filesystem::path& target, const Bytes& content, bool secret, std::string* failure) {
    return secret ? ReplacePrivately(target, content, failure) : ReplaceFileAtomically(target, content, failure);
}

}  // namespace

QString IniCopies::Of(const Bytes& bytes) {
    if (!folder_.isValid()) return {};
    QFile file(folder_.filePath(QString::number(++count_) + ".ini"));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
            static_cast<qint64>(bytes.size())) {
        return {};
    }
    return file.fileName();
}

std::string RewriteIniSection(const std::filesystem::path& file, const IniSectionWrite& how) {
    std::string failure;
    const StoredFile old = ReadStoredFile(file, kMaxIniBytes);
    if (!old.whole() && old.problem != ReadProblem::Missing) {
        return "无法读取 " + file.string() + "：" + ReadProblemText(old.problem);
    }
    IniCopies copies;
    const QString mine = copies.Of(old.bytes);
    if (mine.isEmpty()) return "无法建立临时文件";
    const bool secret = how.secret && how.secret(mine);
    if (!old.bytes.empty()) {
        auto backup = file;
        backup += ".bak";
        if (!Replace(backup, old.bytes, secret, &failure)) return "无法备份设置：" + failure;
    }

    Values others, ours;
    {
        QSettings ini(mine, QSettings::IniFormat);
        others = KeysOf(ini, how.group, false);
        ini.beginGroup(how.group);
        how.write(ini);
        ini.endGroup();
        ini.sync();
        // FormatError only says the old text was partly unreadable: what could be read is kept, all of it is in
        // the backup.
        if (ini.status() == QSettings::AccessError) return "无法建立临时文件";
        ours = KeysOf(ini, how.group, true);
    }
    const auto rewritten = ReadFileBytes(mine.toStdString(), kMaxIniBytes * 2);
    if (!rewritten) return "无法建立临时文件";

    Bytes content = *rewritten;
    if (!old.bytes.empty()) {
        Bytes spliced = Spliced(old.bytes, *rewritten, how.group);
        const QString check = copies.Of(spliced);
        QSettings back(check, QSettings::IniFormat);
        if (!check.isEmpty() && KeysOf(back, how.group, false) == others && KeysOf(back, how.group, true) == ours) {
            content = std::move(spliced);
        } else {
            LogLine(how.logName + ": " + file.string() + " rewritten whole, its old text is in the backup");
        }
    }
    if (!Replace(file, content, secret, &failure)) return failure;
    return {};
}

}  // namespace lingchao
