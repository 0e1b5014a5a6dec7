#pragma once

#include <QString>
#include <filesystem>

namespace lingchao {

// The [web] section of lingchao.ini in the application folder (QSettings, INI), so that an administrator can set
// up many PCs without the window. Keys: enabled (false), port (8760), listen ("local": this PC only, or
// "network"), allow_outside (false: requests from outside loopback and the private ranges are refused),
// duty_password, admin_password, duty_token, admin_token (hashes only), certificate, key (PEM files: HTTPS when
// both are set and readable).
struct WebSettings {
    bool enabled = false;
    int port = 8760;
    bool network = false;  // listen on the school network, not only on this PC
    bool allowOutside = false;
    QString dutyPassword, adminPassword;  // hashes
    QString dutyToken, adminToken;        // hashes
    QString certificate, key;             // paths
};

std::filesystem::path SettingsFile(const std::filesystem::path& appFolder);  // appFolder / "lingchao.ini"
// Missing or damaged values read as their defaults (a port outside 1..65535 too); never fails.
WebSettings ReadWebSettings(const std::filesystem::path& appFolder);
// Writes the [web] section only (other sections kept), the old file kept as lingchao.ini.bak first; false with
// the reason when it could not be written.
bool WriteWebSettings(const std::filesystem::path& appFolder, const WebSettings& settings, QString* why = nullptr);

}  // namespace lingchao
