#pragma once

#include <QDialog>
#include <array>
#include <filesystem>
#include <functional>

#include "base/dialogs.h"
#include "shutdown/shutdown_settings.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace lingchao {

// Form9 "定时关机": edits record 1 of "exit.dll". Modal to the main window only; every opening loads the file afresh.
class ShutdownSettingsDialog final : public QDialog {
    Q_OBJECT
public:
    // `settingsSaved` gets the settings read back from the file after each successful OK (the program-wide copy);
    // `manualShutdown` opens the confirmation modally ("手动关机(&E)").
    ShutdownSettingsDialog(std::filesystem::path appFolder, Dialogs& dialogs,
                           std::function<void(const ShutdownSettings&)> settingsSaved,
                           std::function<void()> manualShutdown, QWidget* parent = nullptr);

    // save = false: boxes and checks from record 1; save = true: writes them there, false when that failed.
    bool TransferShutdownSettings(bool save);

    QCheckBox* check1(int slot) const { return check1_.at(static_cast<std::size_t>(slot)); }
    QLineEdit* text1(int slot) const { return text1_.at(static_cast<std::size_t>(slot)); }

    // 0 = OK, 1 = Cancel.
    void Command1_Click(int index);
    void Command2_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The window in groups: the nine check-and-time slots, the buttons, their places, the Tab order.
    void BuildSlots(double dpi);
    void BuildButtons();
    void LayOut(double dpi);
    void SetTabOrder();
    void Text1_Change(int slot);

    std::filesystem::path appFolder_;
    Dialogs& dialogs_;
    std::function<void(const ShutdownSettings&)> settingsSaved_;
    std::function<void()> manualShutdown_;
    std::array<QCheckBox*, 9> check1_{};
    std::array<QLineEdit*, 9> text1_{};
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* manual_ = nullptr;
};

}  // namespace lingchao
