#include "web/web_settings.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <map>

#include "base/file_util.h"
#include "base/log.h"
#include "web/web_access.h"

namespace lingchao {
namespace {

// lingchao.ini holds a few settings; anything larger is not ours and is neither parsed nor rewritten.
constexpr std::uint64_t kMaxIniBytes = 1024 * 1024;
const QString kGroup = QStringLiteral("web");

// QSettings keeps what it read of a file by its name, size and time to the millisecond: a file replaced twice
// within one millisecond could read as it was. So QSettings only ever sees copies, each under a name of its own.
class Copies {
public:
    bool ok() const { return folder_.isValid(); }
    // A new copy holding `bytes`; empty when it cannot be made.
    QString Of(const Bytes& bytes) {
        if (!folder_.isValid()) return {};
        QFile file(folder_.filePath(QString::number(++count_) + ".ini"));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) !=
                static_cast<qint64>(bytes.size())) {
            return {};
        }
        return file.fileName();
    }

private:
    QTemporaryDir folder_;
    int count_ = 0;
};

// An unquoted value with a comma reads as a list; a hand-written path may well hold one.
QString Text(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',').trimmed();
    return value.toString().trimmed();
}

std::optional<bool> Flag(const QVariant& value) {
    const QString text = Text(value).toLower();
    if (text == u"true" || text == u"1" || text == u"yes" || text == u"on") return true;
    if (text == u"false" || text == u"0" || text == u"no" || text == u"off") return false;
    return std::nullopt;
}

QString Checked(const QString& text, bool (*valid)(const QString&)) { return valid(text) ? text : QString(); }

using Values = std::map<QString, QString>;

// How a value reads back from the text: what a rewrite must leave as it was.
QString Shown(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QChar(0x1f));
    return value.toString();
}

// Every key in [web] (`web`) or every key outside it.
Values KeysOf(QSettings& settings, bool web) {
    Values values;
    for (const QString& key : settings.allKeys()) {
        if (key.startsWith(kGroup + u'/') == web) values.emplace(key, Shown(settings.value(key)));
    }
    return values;
}

// The text with every [web] section taken out (QSettings' rule: the name between '[' and the first ']',
// trimmed), and the [web] section of `rewritten` put at its end. Everything else stays byte for byte: the
// administrator's comments, and values QSettings would rewrite in its own way (lists, non-UTF-8 text).
Bytes Spliced(const Bytes& original, const Bytes& rewritten) {
    const auto sections = [](const Bytes& text, bool keepWeb) {
        Bytes out;
        bool inWeb = false;
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = start;
            while (end < text.size() && text[end] != '\n') ++end;
            if (end < text.size()) ++end;
            const QByteArray line =
                QByteArray(reinterpret_cast<const char*>(text.data() + start), static_cast<qsizetype>(end - start))
                    .trimmed();
            if (line.startsWith('[') && line.contains(']')) {
                inWeb = line.mid(1, line.indexOf(']') - 1).trimmed() == kGroup.toLatin1();
            }
            if (inWeb == keepWeb) out.insert(out.end(), text.begin() + start, text.begin() + end);
            start = end;
        }
        return out;
    };
    Bytes out = sections(original, false);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
    if (!out.empty()) out.insert(out.end(), {'\n', '\n'});
    const Bytes web = sections(rewritten, true);
    out.insert(out.end(), web.begin(), web.end());
    return out;
}

bool Fail(QString* why, const std::string& reason) {
    if (why != nullptr) *why = QString::fromStdString(reason);
    return false;
}

}  // namespace

std::filesystem::path SettingsFile(const std::filesystem::path& appFolder) { return appFolder / "lingchao.ini"; }

WebSettings ReadWebSettings(const std::filesystem::path& appFolder) {
    WebSettings out;
    const auto file = SettingsFile(appFolder);
    // Read whole first: never waits on a FIFO, never parses a huge file.
    const StoredFile stored = ReadStoredFile(file, kMaxIniBytes);
    if (!stored.whole()) {
        if (stored.problem != ReadProblem::Missing) {
            LogLine("web settings: " + file.string() + ": " + ReadProblemText(stored.problem) + ", defaults used");
        }
        return out;
    }
    Copies copies;
    QString name = copies.Of(stored.bytes);
    if (name.isEmpty()) name = QString::fromStdString(file.string());  // no temporary folder: the file itself
    QSettings settings(name, QSettings::IniFormat);
    settings.beginGroup(kGroup);
    out.enabled = Flag(settings.value("enabled")).value_or(out.enabled);
    bool number = false;
    const int port = Text(settings.value("port")).toInt(&number);
    if (number && port >= 1 && port <= 65535) out.port = port;
    out.network = Text(settings.value("listen")).toLower() == u"network";
    out.allowOutside = Flag(settings.value("allow_outside")).value_or(out.allowOutside);
    out.dutyPassword = Checked(Text(settings.value("duty_password")), IsSecretHash);
    out.adminPassword = Checked(Text(settings.value("admin_password")), IsSecretHash);
    out.dutyToken = Checked(Text(settings.value("duty_token")), IsTokenHash);
    out.adminToken = Checked(Text(settings.value("admin_token")), IsTokenHash);
    out.certificate = Text(settings.value("certificate"));
    out.key = Text(settings.value("key"));
    return out;
}

// QSettings rewrites a copy of the old text (so its INI escaping of '$', '/', '+', ',' is used); its [web]
// section is then spliced into the old text, which the real file gets in one atomic replace, after the old file
// was kept as lingchao.ini.bak. Should the splice not read back as QSettings' own rewrite does, that rewrite is
// used as it is.
bool WriteWebSettings(const std::filesystem::path& appFolder, const WebSettings& settings, QString* why) {
    const auto file = SettingsFile(appFolder);
    std::string failure;
    const StoredFile old = ReadStoredFile(file, kMaxIniBytes);
    if (!old.whole() && old.problem != ReadProblem::Missing) {
        return Fail(why, "无法读取 " + file.string() + "：" + ReadProblemText(old.problem));
    }
    if (!old.bytes.empty()) {
        auto backup = file;
        backup += ".bak";
        if (!ReplaceFileAtomically(backup, old.bytes, &failure)) return Fail(why, "无法备份设置：" + failure);
    }

    Copies copies;
    const QString mine = copies.Of(old.bytes);
    if (mine.isEmpty()) return Fail(why, "无法建立临时文件");
    Values others, web;
    {
        QSettings ini(mine, QSettings::IniFormat);
        others = KeysOf(ini, false);
        ini.beginGroup(kGroup);
        ini.setValue("enabled", settings.enabled);
        ini.setValue("port", settings.port);
        ini.setValue("listen", settings.network ? "network" : "local");
        ini.setValue("allow_outside", settings.allowOutside);
        ini.setValue("duty_password", settings.dutyPassword);
        ini.setValue("admin_password", settings.adminPassword);
        ini.setValue("duty_token", settings.dutyToken);
        ini.setValue("admin_token", settings.adminToken);
        ini.setValue("certificate", settings.certificate);
        ini.setValue("key", settings.key);
        ini.endGroup();
        ini.sync();
        // FormatError only says the old text was partly unreadable: what could be read is kept, all of it is in
        // the backup.
        if (ini.status() == QSettings::AccessError) return Fail(why, "无法建立临时文件");
        web = KeysOf(ini, true);
    }
    const auto rewritten = ReadFileBytes(mine.toStdString(), kMaxIniBytes * 2);
    if (!rewritten) return Fail(why, "无法建立临时文件");

    Bytes content = *rewritten;
    if (!old.bytes.empty()) {
        Bytes spliced = Spliced(old.bytes, *rewritten);
        const QString check = copies.Of(spliced);
        QSettings back(check, QSettings::IniFormat);
        if (!check.isEmpty() && KeysOf(back, false) == others && KeysOf(back, true) == web) {
            content = std::move(spliced);
        } else {
            LogLine("web settings: " + file.string() + " rewritten whole, its old text is in the backup");
        }
    }
    if (!ReplaceFileAtomically(file, content, &failure)) return Fail(why, failure);
    return true;
}

}  // namespace lingchao
