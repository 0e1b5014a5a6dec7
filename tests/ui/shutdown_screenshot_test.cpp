// Shows Form9 or Form2 for a screenshot: ui_shutdown_screenshot_test settings|confirm <folder>
#include <QApplication>
#include <QTimer>
#include <cstring>

#include "support/fakes.h"
#include "ui/shutdown_confirm.h"
#include "ui/shutdown_settings_dialog.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 3) return 2;
    lingchao::test::ScriptedDialogs dialogs;
    QTimer::singleShot(8000, &app, [] { QApplication::exit(0); });
    if (std::strcmp(argv[1], "settings") == 0) {
        lingchao::ShutdownSettingsDialog form(argv[2], dialogs, {}, {});
        form.show();
        return app.exec();
    }
    lingchao::ShutdownConfirm form([] {});
    form.show();
    return app.exec();
}
