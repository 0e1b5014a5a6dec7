// Test-only stand-in for the program: splash, then the clock, with a plain main window behind ShowMainWindow.
// Used to look at the windows and to drive them with xdotool under Xvfb.
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QTimer>
#include <cstdio>

#include "platform/qt_dialogs.h"
#include "ui/desktop_shell.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
    const QStringList args = app.arguments();
    const std::string time = args.size() > 1 ? args[1].toStdString() : "14:30";
    const std::string weekday = args.size() > 2 ? args[2].toStdString() : "WES";
    const std::filesystem::path folder = args.size() > 3 ? args[3].toStdString() : ".";

    QLabel mainWindow(QStringLiteral("job list stand-in"));
    mainWindow.setObjectName(QStringLiteral("Form4"));
    mainWindow.resize(360, 240);
    lingchao::QtDialogs dialogs;
    lingchao::DesktopShell::Hooks hooks;
    hooks.showMainWindow = [&] {
        std::printf("ShowMainWindow\n");
        std::fflush(stdout);
        if (mainWindow.isVisible()) {
            mainWindow.showNormal();
            mainWindow.activateWindow();
            return;
        }
        mainWindow.setWindowTitle(QStringLiteral("铃潮V4.0"));
        mainWindow.show();
    };
    hooks.mainWindowVisible = [&] { return mainWindow.isVisible(); };
    hooks.play = [] {
        std::printf("Play\n");
        std::fflush(stdout);
    };
    hooks.pause = [] {
        std::printf("Pause\n");
        std::fflush(stdout);
    };
    hooks.stop = [] {
        std::printf("Stop\n");
        std::fflush(stdout);
    };
    hooks.clockLoaded = [] {
        std::printf("ClockLoaded\n");
        std::fflush(stdout);
    };
    lingchao::DesktopShell shell(folder, dialogs, hooks);
    shell.ShowClock(time, weekday);
    if (!shell.Start()) return 1;
    const int rc = app.exec();
    std::printf("Exited\n");
    return rc;
}
