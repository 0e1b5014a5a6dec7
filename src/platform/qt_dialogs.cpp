#include "platform/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>

#include "base/log.h"

namespace lingchao {
namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonPair {
    QMessageBox::StandardButton first;
    QMessageBox::StandardButton second;  // NoButton for a box with one button
};

ButtonPair ToQtButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::OkCancel:
            return {QMessageBox::Ok, QMessageBox::Cancel};
        case MessageButtons::YesNo:
            return {QMessageBox::Yes, QMessageBox::No};
        case MessageButtons::Ok:
            break;
    }
    return {QMessageBox::Ok, QMessageBox::NoButton};
}

MessageAnswer FromQtButton(QMessageBox::StandardButton button) {
    switch (button) {
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        default:
            break;
    }
    return MessageAnswer::Cancel;
}

}  // namespace

std::unique_ptr<QCoreApplication> MakeQtApplication(int& argc, char** argv, bool windows) {
    std::unique_ptr<QCoreApplication> app;
    if (windows) {
        auto gui = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);  // the clock is a tool window; closing others only hides
        QApplication::setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 9));
        app = std::move(gui);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    auto* translator = new QTranslator(app.get());
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
        LogLine("Qt's Chinese translations (qtbase_zh_CN.qm) not found: standard buttons stay English");
    }
    return app;
}

// The system's type database takes ".sav" for SPSS data; here it is a saved job group, named as the filter names it.
class GroupAwareIconProvider final : public QFileIconProvider {
public:
    QString type(const QFileInfo& info) const override {
        return IsGroup(info) ? QStringLiteral("存档文件") : QFileIconProvider::type(info);
    }
    QIcon icon(const QFileInfo& info) const override {
        return IsGroup(info) ? QFileIconProvider::icon(QAbstractFileIconProvider::File) : QFileIconProvider::icon(info);
    }
    using QFileIconProvider::icon;

private:
    static bool IsGroup(const QFileInfo& info) {
        return info.suffix().compare(QLatin1String("sav"), Qt::CaseInsensitive) == 0 && !info.isDir();
    }
};

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString label = parts[i];
        if (label.isEmpty() && parts[i + 1].isEmpty()) continue;
        // A label that shows its own patterns ("存档文件(*.sav)") loses them: Qt adds the patterns once more.
        if (label.endsWith(QLatin1Char(')'))) {
            const qsizetype open = label.lastIndexOf(QLatin1Char('('));
            if (open > 0) label = label.left(open).trimmed();
        }
        const QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        QStringList trimmed;
        for (const QString& p : patterns) trimmed << p.trimmed();
        out << label + QStringLiteral(" (") + trimmed.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out;
}

QtDialogs::QtDialogs(std::function<QWidget*()> parent) : parent_(std::move(parent)) {}

QWidget* QtDialogs::Parent() const {
    if (parent_) return parent_();
    QWidget* active = QApplication::activeModalWidget();
    if (active == nullptr) active = QApplication::activeWindow();
    // Not the floating clock, a small tool window often parked at the screen's edge: without a parent the box
    // is centred on the screen.
    if (active != nullptr && active->windowType() == Qt::Tool) return nullptr;
    return active;
}

// A box blocks the window it opens over, never the floating clock: a bell must be stoppable from the clock's menu
// while a question waits. Only a box the whole program must answer first blocks everything.
static Qt::WindowModality ModalityFor(bool systemModal) { return systemModal ? Qt::ApplicationModal : Qt::WindowModal; }

MessageAnswer QtDialogs::Message(const MessageRequest& request) {
    const ButtonPair pair = ToQtButtons(request.buttons);
    QMessageBox box(ToQtIcon(request.icon), QString::fromStdString(request.title), QString::fromStdString(request.text),
                    QMessageBox::NoButton, Parent());
    box.setTextFormat(Qt::PlainText);
    QPushButton* first = box.addButton(pair.first);
    QPushButton* second = pair.second != QMessageBox::NoButton ? box.addButton(pair.second) : nullptr;
    box.setDefaultButton(request.defaultButton == 1 && second != nullptr ? second : first);
    // Closing the box (or Esc) answers with its cancel button: the second one, or OK when alone.
    box.setEscapeButton(second != nullptr ? second : first);
    box.setWindowModality(ModalityFor(request.systemModal));
    if (request.systemModal) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (clicked == nullptr) clicked = box.escapeButton();
    return FromQtButton(box.standardButton(clicked));
}

std::optional<std::string> QtDialogs::RunFileDialog(const FileDialogRequest& request, bool save) {
    QFileDialog dialog(Parent(), QString::fromStdString(request.title), QString::fromStdString(request.startFolder));
    dialog.setWindowModality(ModalityFor(false));
    dialog.setNameFilters(QtNameFilters(request.filter));
    GroupAwareIconProvider icons;
    dialog.setIconProvider(&icons);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
    return chosen.front().toStdString();
}

std::optional<std::string> QtDialogs::OpenFile(const FileDialogRequest& request) {
    return RunFileDialog(request, false);
}

std::optional<std::string> QtDialogs::SaveFile(const FileDialogRequest& request) {
    return RunFileDialog(request, true);
}

std::optional<std::string> QtDialogs::OpenFolder(const FileDialogRequest& request) {
    QFileDialog dialog(Parent(), QString::fromStdString(request.title), QString::fromStdString(request.startFolder));
    dialog.setWindowModality(ModalityFor(false));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty()) return std::nullopt;
    return chosen.front().toStdString();
}

}  // namespace lingchao
