#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>

namespace lingchao {

enum class CampusRole { Main, Follower, Standby };

// The [campus] section of lingchao.ini. Keys: enabled (false), broker ("host:port", port 1883 when left out,
// an IPv6 address in brackets), campus (the name in the topics), name (this PC's), role (main, follower or
// standby), standby_for (the PC a standby stands in for), ca_file, cert_file, key_file (TLS), user, password.
struct CampusSettings {
    bool enabled = false;
    QString host;
    int port = 1883;
    QString campus;
    QString name;
    CampusRole role = CampusRole::Follower;
    QString standbyFor;
    QString caFile, certFile, keyFile;
    QString user;
    // In clear: the broker asks for it as it is. Only the file's permissions protect it, so lingchao.ini is
    // written readable by its owner alone while it holds one.
    QString password;
};

struct CampusSettingsRead {
    CampusSettings settings;  // a bad value reads as its default
    QStringList problems;     // one line per bad value, in Chinese
    // The feature runs only when switched on and every value read: a bad one is never guessed at.
    bool On() const { return settings.enabled && problems.empty(); }
};

// A name that can stand in a topic: not empty, at most 64 characters, no '/', '+', '#' and no control or
// invisible formatting characters.
bool IsCampusName(const QString& name);
// "host:port", "[v6]:port", "host" (port 1883); false when it does not read as one.
bool ParseBroker(const QString& text, QString* host, int* port);
QString BrokerText(const QString& host, int port);

// What is wrong with the settings, one line each; empty when they may be used (or written). Values a switched-off
// feature does not need yet (broker, campus, name) are only required once it is on.
QStringList CampusSettingsProblems(const CampusSettings& settings);

// Never fails: a missing file or section is the feature switched off, without a problem.
CampusSettingsRead ReadCampusSettings(const std::filesystem::path& appFolder);
// Writes the [campus] section only (the other sections kept as they were), the old file kept as lingchao.ini.bak
// first. Settings with a problem are not written. False with the reason.
bool WriteCampusSettings(const std::filesystem::path& appFolder, const CampusSettings& settings,
                         QString* why = nullptr);

}  // namespace lingchao
