#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "base/dialogs.h"
#include "base/media_player.h"

namespace lingchao {

// The music-list editor without its window: the name box, the entry list and the commands of the buttons.
// A window draws names(), nameText(), entries() and selectedRow() after each command and forwards its events.
// Every file path is built from the name box text at the moment of the command.
class MusicListEditor final {
public:
    static constexpr const char* kPlaceholder = "输入列表名";

    MusicListEditor(std::filesystem::path musicFolder, MediaPlayer& player, Dialogs& dialogs);

    // Re-reads the list names, sets the placeholder as the name box text. Entries are left as they are.
    void Load();
    // The name box got the focus: the placeholder is emptied, any other text kept.
    void NameBoxFocused();
    // The user typed in the name box.
    void SetNameText(std::string text);
    // Enter in the name box: opens the list when the text is a valid name.
    void NameBoxEnter();
    // A name chosen from the drop-down: it becomes the text and the list is opened.
    void ChooseName(const std::string& name);
    // Reads the named list into the entries; a list that cannot be read offers to start a new one.
    void Open();
    // A click on an entry row (out of range: no row selected).
    void SelectRow(int row);

    // Without a valid name: says "请输入列表名称！" and asks for the focus in the name box.
    void Add();
    void MoveUp();
    void MoveDown();
    void Remove();
    void Clear();
    void Save();
    void Delete();
    void Play();
    // Stops the player and loads the null medium, as the player menu's stop does: no list stays in use.
    void Stop();

    // A name the commands accept: not empty, not the placeholder, and naming a file inside the music folder.
    static bool IsValidName(const std::string& text);

    const std::vector<std::string>& names() const { return names_; }
    const std::string& nameText() const { return nameText_; }
    const std::vector<std::string>& entries() const { return entries_; }
    int selectedRow() const { return selected_; }
    // Tooltip of the entry list: the selected row's text ("" with none).
    std::string SelectedText() const;
    // The path the commands use now: music folder + "/" + name box text + ".m3u".
    std::string ListPath() const;
    const FileDialogRequest& addDialog() const { return addDialog_; }
    // True once after a command asked for the focus to go to the name box.
    bool TakeFocusNameBoxRequest();

private:
    void Inform(const std::string& text);
    bool Confirm(const std::string& text, const std::string& title);
    bool InUse() const;

    std::filesystem::path musicFolder_;
    MediaPlayer& player_;
    Dialogs& dialogs_;
    FileDialogRequest addDialog_;
    std::vector<std::string> names_;
    std::string nameText_ = kPlaceholder;
    std::vector<std::string> entries_;
    int selected_ = -1;
    bool focusNameBox_ = false;
};

}  // namespace lingchao
