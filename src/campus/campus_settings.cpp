#include "campus/campus_settings.h"

#include <arpa/inet.h>

#include <QSettings>
#include <set>

#include "base/file_util.h"
#include "base/log.h"
#include "platform/ini_section.h"

namespace lingchao {
namespace {

const QString kGroup = QStringLiteral("campus");
constexpr int kMaxNameChars = 64;

// An unquoted value with a comma reads as a list; a hand-written path may well hold one.
QString Raw(const QVariant& value) {
    if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',');
    return value.toString();
}
QString Text(const QVariant& value) { return Raw(value).trimmed(); }

std::optional<bool> Flag(const QString& value) {
    const QString text = value.toLower();
    if (text == u"true" || text == u"1" || text == u"yes" || text == u"on") return true;
    if (text == u"false" || text == u"0" || text == u"no" || text == u"off") return false;
    return std::nullopt;
}

// A value as a problem line shows it: short, nothing that breaks the line.
QString Shown(const QString& value) {
    QString out;
    for (const QChar c : value.left(kMaxNameChars)) out += c.isPrint() ? c : QChar(u'?');
    return u'“' + out + (value.size() > kMaxNameChars ? QStringLiteral("…”") : QStringLiteral("”"));
}

const char* RoleKey(CampusRole role) {
    switch (role) {
        case CampusRole::Main:
            return "main";
        case CampusRole::Standby:
            return "standby";
        case CampusRole::Follower:
            break;
    }
    return "follower";
}

bool IsHostName(const QString& host) {
    if (host.isEmpty() || host.size() > 253) return false;
    for (const QString& label : host.split(u'.')) {
        if (label.isEmpty() || label.size() > 63 || label.startsWith(u'-') || label.endsWith(u'-')) return false;
        for (const QChar c : label) {
            if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'-' && c != u'_') return false;
        }
    }
    return true;
}

bool IsIpv6(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() >= 128) return false;
    }
    in6_addr address{};
    return !text.isEmpty() && ::inet_pton(AF_INET6, text.toLatin1().constData(), &address) == 1;
}

QString NameRule(const char* key, const QString& value) {
    return QString::fromLatin1(key) + QStringLiteral(" 的值") + Shown(value) +
           QStringLiteral("不能用作名称：不能为空，不能含有 /、+、# 或控制字符，至多 64 个字符");
}

// Problems keyed by the setting they are about, so that a value read badly is not also named as missing.
using Problems = std::vector<std::pair<QString, QString>>;

Problems ProblemsOf(const CampusSettings& s) {
    Problems out;
    const auto add = [&out](const char* key, QString text) { out.emplace_back(QString::fromLatin1(key), text); };
    if (s.enabled && s.host.isEmpty())
        add("broker", QStringLiteral("缺少 broker（服务器的地址，如 192.168.1.10:1883）"));
    if (!s.host.isEmpty() && (!ParseBroker(BrokerText(s.host, s.port), nullptr, nullptr))) {
        add("broker", QStringLiteral("broker 的值") + Shown(BrokerText(s.host, s.port)) +
                          QStringLiteral("无法识别，应为 主机:端口（端口 1–65535，IPv6 地址写在方括号中）"));
    }
    if (s.enabled && s.campus.isEmpty()) add("campus", QStringLiteral("缺少 campus（校园的名称）"));
    if (!s.campus.isEmpty() && !IsCampusName(s.campus)) add("campus", NameRule("campus", s.campus));
    if (s.enabled && s.name.isEmpty()) add("name", QStringLiteral("缺少 name（本机的名称，如 教学楼A）"));
    if (!s.name.isEmpty() && !IsCampusName(s.name)) add("name", NameRule("name", s.name));
    if (!s.standbyFor.isEmpty() && !IsCampusName(s.standbyFor)) {
        add("standby_for", NameRule("standby_for", s.standbyFor));
    } else if (s.role == CampusRole::Standby && s.standbyFor.isEmpty()) {
        add("standby_for", QStringLiteral("role 为 standby 时须用 standby_for 写明替哪台电脑备用"));
    } else if (s.role == CampusRole::Standby && s.standbyFor == s.name) {
        add("standby_for", QStringLiteral("standby_for 不能是本机自己"));
    }
    if (s.certFile.isEmpty() != s.keyFile.isEmpty()) {
        add("cert_file", QStringLiteral("cert_file 与 key_file 须同时设置"));
    }
    if (!s.password.isEmpty() && s.user.isEmpty()) add("user", QStringLiteral("有 password 时须有 user"));
    return out;
}

bool HoldsPassword(const QString& copy) {
    if (copy.isEmpty()) return false;
    QSettings ini(copy, QSettings::IniFormat);
    return !Raw(ini.value(kGroup + QStringLiteral("/password"))).isEmpty();
}

bool Fail(QString* why, const QString& reason) {
    if (why != nullptr) *why = reason;
    return false;
}

}  // namespace

bool IsCampusName(const QString& name) {
    if (name.isEmpty() || name != name.trimmed() || !name.isValidUtf16()) return false;
    const QList<uint> points = name.toUcs4();
    if (points.size() > kMaxNameChars) return false;
    for (const uint c : points) {
        if (c == U'/' || c == U'+' || c == U'#') return false;
        switch (QChar::category(c)) {
            case QChar::Other_Control:
            case QChar::Other_Format:
            case QChar::Other_Surrogate:
            case QChar::Separator_Line:
            case QChar::Separator_Paragraph:
                return false;
            default:
                break;
        }
    }
    return true;
}

bool ParseBroker(const QString& text, QString* host, int* port) {
    QString name;
    QString number;
    bool hasPort = false;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0) return false;
        name = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':')) return false;
        hasPort = !rest.isEmpty();
        number = rest.mid(1);
        if (!IsIpv6(name)) return false;
    } else {
        // More than one ':' is an IPv6 address without its brackets: which part is the port cannot be told.
        if (text.count(u':') > 1) return false;
        const qsizetype colon = text.indexOf(u':');
        hasPort = colon >= 0;
        name = hasPort ? text.left(colon) : text;
        number = hasPort ? text.mid(colon + 1) : QString();
        if (!IsHostName(name)) return false;
    }
    int value = 1883;
    if (hasPort) {
        if (number.isEmpty() || number.size() > 5) return false;
        for (const QChar c : number) {
            if (c < u'0' || c > u'9') return false;
        }
        value = number.toInt();
        if (value < 1 || value > 65535) return false;
    }
    if (host != nullptr) *host = name;
    if (port != nullptr) *port = value;
    return true;
}

QString BrokerText(const QString& host, int port) {
    if (host.isEmpty()) return {};
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

QStringList CampusSettingsProblems(const CampusSettings& settings) {
    QStringList out;
    for (const auto& problem : ProblemsOf(settings)) out << problem.second;
    return out;
}

CampusSettingsRead ReadCampusSettings(const std::filesystem::path& appFolder) {
    CampusSettingsRead out;
    CampusSettings& s = out.settings;
    const auto file = IniFile(appFolder);
    // Read whole first: never waits on a FIFO, never parses a huge file.
    const StoredFile stored = ReadStoredFile(file, kMaxIniBytes);
    if (!stored.whole()) {
        if (stored.problem != ReadProblem::Missing) {
            out.problems << QStringLiteral("无法读取 lingchao.ini：") +
                                QString::fromStdString(ReadProblemText(stored.problem));
        }
        return out;
    }
    IniCopies copies;
    const QString name = copies.Of(stored.bytes);
    if (name.isEmpty()) {
        out.problems << QStringLiteral("无法读取 lingchao.ini：无法建立临时文件");
        return out;
    }
    QSettings ini(name, QSettings::IniFormat);
    ini.beginGroup(kGroup);
    std::set<QString> bad;
    const auto problem = [&](const char* key, const QString& text) {
        bad.insert(QString::fromLatin1(key));
        out.problems << text;
    };

    const QString enabled = Text(ini.value("enabled"));
    if (const auto flag = Flag(enabled)) {
        s.enabled = *flag;
    } else if (!enabled.isEmpty()) {
        problem("enabled",
                QStringLiteral("enabled 的值") + Shown(enabled) + QStringLiteral("无法识别，应为 true 或 false"));
    }
    const QString broker = Text(ini.value("broker"));
    if (!broker.isEmpty() && !ParseBroker(broker, &s.host, &s.port)) {
        problem("broker", QStringLiteral("broker 的值") + Shown(broker) +
                              QStringLiteral("无法识别，应为 主机:端口（端口 1–65535，IPv6 地址写在方括号中）"));
    }
    const auto readName = [&](const char* key, QString& into) {
        const QString value = Text(ini.value(key));
        if (value.isEmpty() || IsCampusName(value)) {
            into = value;
        } else {
            problem(key, NameRule(key, value));
        }
    };
    readName("campus", s.campus);
    readName("name", s.name);
    readName("standby_for", s.standbyFor);
    const QString role = Text(ini.value("role")).toLower();
    if (role == u"main") {
        s.role = CampusRole::Main;
    } else if (role == u"follower") {
        s.role = CampusRole::Follower;
    } else if (role == u"standby") {
        s.role = CampusRole::Standby;
    } else if (!role.isEmpty() || s.enabled) {
        problem("role", role.isEmpty() ? QStringLiteral("缺少 role（main、follower 或 standby）")
                                       : QStringLiteral("role 的值") + Shown(role) +
                                             QStringLiteral("无法识别，应为 main、follower 或 standby"));
    }
    s.caFile = Text(ini.value("ca_file"));
    s.certFile = Text(ini.value("cert_file"));
    s.keyFile = Text(ini.value("key_file"));
    s.user = Text(ini.value("user"));
    s.password = Raw(ini.value("password"));  // not trimmed: a blank may belong to it

    for (const auto& [key, text] : ProblemsOf(s)) {
        if (!bad.contains(key)) out.problems << text;
    }
    return out;
}

// As the [web] section is written: QSettings rewrites a copy of the old text (its own escaping), its [campus]
// section is spliced into the old text, and the real file gets that in one atomic replace after the old file was
// kept as lingchao.ini.bak. Both are the owner's alone while either holds a password.
bool WriteCampusSettings(const std::filesystem::path& appFolder, const CampusSettings& settings, QString* why) {
    if (const QStringList problems = CampusSettingsProblems(settings); !problems.isEmpty()) {
        return Fail(why, problems.join(u'\n'));
    }
    const auto write = [&settings](QSettings& ini) {
        ini.remove(QString());  // keys of ours no longer written go too
        ini.setValue("enabled", settings.enabled);
        ini.setValue("broker", BrokerText(settings.host, settings.port));
        ini.setValue("campus", settings.campus);
        ini.setValue("name", settings.name);
        ini.setValue("role", RoleKey(settings.role));
        ini.setValue("standby_for", settings.standbyFor);
        ini.setValue("ca_file", settings.caFile);
        ini.setValue("cert_file", settings.certFile);
        ini.setValue("key_file", settings.keyFile);
        ini.setValue("user", settings.user);
        ini.setValue("password", settings.password);
    };
    // A password, new or kept: the file and its backup are the owner's alone.
    const auto secret = [&settings](const QString& old) { return !settings.password.isEmpty() || HoldsPassword(old); };
    const std::string failure = RewriteIniSection(IniFile(appFolder), {kGroup, write, secret, "campus settings"});
    return failure.empty() || Fail(why, QString::fromStdString(failure));
}

}  // namespace lingchao
