#include "web/web_settings.h"

#include <QSettings>
#include <QStringList>

#include "base/file_util.h"
#include "base/log.h"
#include "platform/ini_section.h"
#include "web/web_access.h"

namespace lingchao {
namespace {

const QString kGroup = QStringLiteral("web");

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

bool Fail(QString* why, const std::string& reason) {
    if (why != nullptr) *why = QString::fromStdString(reason);
    return false;
}

}  // namespace

std::filesystem::path SettingsFile(const std::filesystem::path& appFolder) { return IniFile(appFolder); }

WebSettings ReadWebSettings(const std::filesystem::path& appFolder) {
    WebSettings out;
    const auto file = IniFile(appFolder);
    // Read whole first: never waits on a FIFO, never parses a huge file.
    const StoredFile stored = ReadStoredFile(file, kMaxIniBytes);
    if (!stored.whole()) {
        if (stored.problem != ReadProblem::Missing) {
            LogLine("web settings: " + file.string() + ": " + ReadProblemText(stored.problem) + ", defaults used");
        }
        return out;
    }
    IniCopies copies;
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

// Only [web] is rewritten; the rest of lingchao.ini stays byte for byte, the old file is kept as lingchao.ini.bak.
bool WriteWebSettings(const std::filesystem::path& appFolder, const WebSettings& settings, QString* why) {
    const auto write = [&settings](QSettings& ini) {
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
    };
    // Only hashes of the passwords and tokens: the file keeps the permissions it has.
    const std::string failure = RewriteIniSection(IniFile(appFolder), {kGroup, write, nullptr, "web settings"});
    return failure.empty() || Fail(why, failure);
}

}  // namespace lingchao
