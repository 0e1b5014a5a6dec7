#pragma once

#include <QDialog>
#include <array>
#include <filesystem>

#include "base/dialogs.h"
#include "store/jilu.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lingchao {

class EditorBox;

// A date box's automatic "-": typed after the year and after the month, at the caret and within the box's
// limit as the user's own key would be, and again after a backspace over it.
void AutoDateDashes(QLineEdit* box);

// The job editor: one job's fields, with typing limits in GBK bytes, automatic ":" and "-", help texts, Enter
// navigation and a file dialog per music path. OK checks the time and the date and saves through Jilu.
class Form6 final : public QDialog {
    Q_OBJECT
public:
    struct Services {
        Jilu& jilu;
        Dialogs& dialogs;
        std::filesystem::path appFolder;  // the file dialog starts in its "music" folder
    };

    explicit Form6(Services services, QWidget* parent = nullptr);

    // Puts a job's fields into the inputs (the opener's part); the caption is set with setWindowTitle.
    void SetFields(const JobEditorFields& fields);
    // The fields as OK hands them to the store (the date as typed; the store turns "" into "Everyday").
    JobEditorFields Fields() const;

    // The file dialog of row i; a chosen path replaces Text2(i) whole.
    void Command2_Click(int row);
    // OK: the time check, the date check, then save and close.
    void OkClick();

    // Whether a time or date text passes the editor's checks.
    static bool TimeTextPasses(const std::string& text);
    static bool DateTextPasses(const std::string& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // The window in groups: the left column's rows, the help frame, the weekday rows, OK and Cancel, then what
    // the boxes do and the Tab order.
    void BuildControls();
    QGridLayout* BuildFieldRows();
    QGroupBox* BuildHelpFrame();
    QGridLayout* BuildWeekdayRows();
    QHBoxLayout* BuildOkCancel();
    void ConnectBoxes();
    void SetTabOrder();
    QPushButton* MakeBrowseButton(int row);
    EditorBox* MakePathBox(int row);
    void EnterPressed(int textIndex, bool pathBox);
    void ShowHelp(const char* text);

    Services s_;
    std::array<EditorBox*, 4> text1_{};
    std::array<EditorBox*, 8> text2_{};
    std::array<QCheckBox*, 8> check1_{};
    std::array<QPushButton*, 8> command2_{};
    std::array<QPushButton*, 2> command1_{};
    QComboBox* combo1_ = nullptr;
    QLabel* label2_ = nullptr;
    bool focusedOnce_ = false;
};

}  // namespace lingchao
