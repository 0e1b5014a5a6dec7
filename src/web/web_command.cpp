#include "web/web_command.h"

#include <QString>
#include <cstdio>
#include <iostream>
#include <string>

#include "platform/app_folder.h"
#include "web/web_access.h"
#include "web/web_settings.h"

namespace lingchao {

int RunWebCredentialCommand(const std::string& role, bool newToken) {
    const std::filesystem::path folder = CurrentAppFolder();
    WebSettings settings = ReadWebSettings(folder);
    const bool duty = role == "duty";
    QString token;
    if (newToken) {
        token = NewApiToken();
        (duty ? settings.dutyToken : settings.adminToken) = HashToken(token);
    } else {
        std::string line;
        std::getline(std::cin, line);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const QString password = QString::fromStdString(line);
        (duty ? settings.dutyPassword : settings.adminPassword) = password.isEmpty() ? QString() : HashSecret(password);
    }
    QString why;
    if (!WriteWebSettings(folder, settings, &why)) {
        std::fprintf(stderr, "lingchao: %s could not be written: %s\n", SettingsFile(folder).string().c_str(),
                     why.toStdString().c_str());
        return 1;
    }
    if (newToken) std::printf("%s\n", token.toStdString().c_str());
    return 0;
}

}  // namespace lingchao
