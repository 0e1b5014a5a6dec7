#pragma once

#include <filesystem>
#include <memory>

#include "app/log_only_player.h"
#include "app/runtime.h"
#include "platform/qt_dialogs.h"
#include "store/jilu.h"
#include "ui/main_window.h"

class QCoreApplication;

namespace lingchao {

// Loads Qt's own Chinese texts (确定, 取消, 是, 否 and the file dialog's); false when they are not installed.
bool InstallChineseTranslations(QCoreApplication& app);

// The program's parts and how they meet: the scheduler, the job store and, with a display, the windows.
class Program final {
public:
    Program(std::filesystem::path appFolder, bool windows);
    ~Program();

    // Starts the scheduler; with windows, shows the main window.
    void Start();
    // Restores a shown main window, or reloads and shows a hidden one; nothing without windows.
    void ShowMainWindow();

private:
    void QuitProgram();

    std::filesystem::path appFolder_;
    LogOnlyPlayer player_;
    Runtime runtime_;
    Jilu jilu_;
    QtDialogs dialogs_;
    std::unique_ptr<Form4> form4_;
};

}  // namespace lingchao
