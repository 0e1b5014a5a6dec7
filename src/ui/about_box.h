#pragma once

#include <QDialog>

#include "base/dialogs.h"
#include "platform/sysinfo_launcher.h"

namespace lingchao {

// "关于 铃潮": title, version and description; starts the system-information tool.
class AboutBox final : public QDialog {
    Q_OBJECT
public:
    AboutBox(Dialogs& dialogs, SysInfoLauncher& sysInfo, QWidget* parent = nullptr);

    // Runs the system-information tool, or says it is not available.
    void StartSysInfo();

    static QString VersionText();

private:
    Dialogs& dialogs_;
    SysInfoLauncher& sysInfo_;
};

}  // namespace lingchao
