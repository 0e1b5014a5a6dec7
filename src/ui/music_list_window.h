#pragma once

#include <QDialog>
#include <array>
#include <filesystem>

#include "base/dialogs.h"
#include "base/media_player.h"
#include "player/music_list_editor.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace lingchao {

class NameBox;

// The music-list editor window. All logic lives in MusicListEditor; the window forwards each event to it and
// redraws the name box, the entry list and the selection from it afterwards.
class Form5 final : public QDialog {
    Q_OBJECT
public:
    Form5(std::filesystem::path musicFolder, MediaPlayer& player, Dialogs& dialogs, QWidget* parent = nullptr);

    const MusicListEditor& editor() const { return editor_; }

    // Add, up, down, remove, clear.
    void Command1_Click(int index);
    // Play, save, quit, stop.
    void Command2_Click(int index);
    // Delete the list.
    void Command3_Click();
    // Focus to the name box (0) or the entry list (1).
    void Command4_Click(int index);

private:
    // The window in groups: the name box, the entry list, the buttons, their places, the Tab order, the hidden
    // access-key buttons.
    void BuildControls();
    QLabel* MakeLabel(int index, int keyIndex, const char* caption, QChar key);
    void BuildNameBox();
    void BuildEntryList(double dpi);
    void BuildButtons(double dpi);
    void LayOut(double dpi);
    void SetTabOrder();
    void BuildAccessKeys(double dpi);
    void Combo1_GotFocus();
    void Combo1_KeyDown();
    void Combo1_Click(int index);
    void List1_Click(int row);
    void List1_DblClick(int row);
    // Runs one editor command with the typed name handed over first, then redraws.
    template <typename Command>
    void Run(Command command);
    void Redraw();
    void RedrawNameText();

    MusicListEditor editor_;
    NameBox* combo1_ = nullptr;
    QListWidget* list1_ = nullptr;
    std::array<QPushButton*, 5> command1_{};
    std::array<QPushButton*, 4> command2_{};
    QPushButton* command3_ = nullptr;
    std::array<QPushButton*, 2> command4_{};
    std::array<QLabel*, 4> label1_{};
    bool redrawing_ = false;
};

}  // namespace lingchao
