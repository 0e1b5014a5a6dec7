#pragma once

#include <QMessageBox>
#include <QStringList>
#include <functional>
#include <memory>

#include "base/dialogs.h"

class QCoreApplication;
class QWidget;

namespace lingchao {

// The program's Qt application: with `windows` a QApplication for the clock and its windows, else a
// QCoreApplication; either way with Qt's own texts in Chinese (确定, 取消, 是, 否 and the file dialog's).
std::unique_ptr<QCoreApplication> MakeQtApplication(int& argc, char** argv, bool windows);

// "label|pattern|label|pattern|" (patterns joined by ";") as Qt name filters "label (p1 p2)".
QStringList QtNameFilters(const std::string& filter);

// Message boxes and file dialogs as real Qt dialogs, modal to the whole program.
class QtDialogs final : public Dialogs {
public:
    // `parent` gives the window the boxes centre on; by default the active window (or none).
    explicit QtDialogs(std::function<QWidget*()> parent = {});

    MessageAnswer Message(const MessageRequest& request) override;
    std::optional<std::string> OpenFile(const FileDialogRequest& request) override;
    std::optional<std::string> SaveFile(const FileDialogRequest& request) override;
    std::optional<std::string> OpenFolder(const FileDialogRequest& request) override;

private:
    QWidget* Parent() const;
    std::optional<std::string> RunFileDialog(const FileDialogRequest& request, bool save);

    std::function<QWidget*()> parent_;
};

}  // namespace lingchao
