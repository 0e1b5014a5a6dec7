#include "platform/sysinfo_launcher.h"

#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include "base/log.h"

namespace lingchao {

std::vector<std::string> PathSysInfoLauncher::WellKnownTools() {
    return {"hardinfo2", "hardinfo", "kinfocenter", "lshw-gtk", "gnome-system-monitor", "mate-system-monitor"};
}

PathSysInfoLauncher::PathSysInfoLauncher(std::vector<std::string> candidates) : candidates_(std::move(candidates)) {}

std::optional<std::string> PathSysInfoLauncher::Find() const {
    for (const auto& name : candidates_) {
        const QString path = QStandardPaths::findExecutable(QString::fromStdString(name));
        if (!path.isEmpty()) return path.toStdString();
    }
    return std::nullopt;
}

bool PathSysInfoLauncher::Start() {
    const auto path = Find();
    if (!path) return false;
    if (!QProcess::startDetached(QString::fromStdString(*path), {})) {
        LogLine("cannot start " + *path);
        return false;
    }
    return true;
}

}  // namespace lingchao
