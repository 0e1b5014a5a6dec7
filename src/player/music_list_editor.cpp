#include "player/music_list_editor.h"

#include <unistd.h>

#include <utility>

#include "base/log.h"
#include "player/music_list.h"
#include "player/player_commands.h"

namespace lingchao {

MusicListEditor::MusicListEditor(std::filesystem::path musicFolder, MediaPlayer& player, Dialogs& dialogs)
    : musicFolder_(std::move(musicFolder)), player_(player), dialogs_(dialogs) {
    addDialog_.title = "添加音乐";
    addDialog_.filter = "所有支持类型(*.mp3;*.wav;*.mid;*.wma;*.wmv)|*.mp3;*.wav;*.mid;*.wma;*.wmv|所有文件(*.*)|*.*|";
    addDialog_.startFolder = musicFolder_.string();
}

void MusicListEditor::Load() {
    addDialog_.startFolder = musicFolder_.string();
    names_ = MusicListNames(musicFolder_);
    nameText_ = kPlaceholder;
}

void MusicListEditor::NameBoxFocused() {
    if (nameText_ == kPlaceholder) nameText_.clear();
}

void MusicListEditor::SetNameText(std::string text) { nameText_ = std::move(text); }

void MusicListEditor::NameBoxEnter() {
    if (IsValidName(nameText_)) Open();
}

void MusicListEditor::ChooseName(const std::string& name) {
    nameText_ = name;
    Open();
}

void MusicListEditor::Open() {
    if (!IsValidName(nameText_)) return;
    entries_.clear();
    selected_ = -1;
    if (std::optional<std::vector<std::string>> read = ReadMusicList(ListPath())) {
        entries_ = std::move(*read);
        return;
    }
    MessageRequest ask;
    ask.text = "是否创建新列表？";
    ask.title = "新建列表";
    ask.icon = MessageIcon::Question;
    ask.buttons = MessageButtons::YesNo;
    if (dialogs_.Message(ask) == MessageAnswer::Yes) Add();
}

void MusicListEditor::SelectRow(int row) {
    selected_ = (row >= 0 && row < static_cast<int>(entries_.size())) ? row : -1;
}

void MusicListEditor::Add() {
    if (!IsValidName(nameText_)) {
        // Rows belong to a named list: say so rather than ignore the button.
        Inform("请输入列表名称！");
        focusNameBox_ = true;
        return;
    }
    if (std::optional<std::string> file = dialogs_.OpenFile(addDialog_)) entries_.push_back(std::move(*file));
}

void MusicListEditor::MoveUp() {
    if (selected_ <= 0 || selected_ >= static_cast<int>(entries_.size())) return;
    const auto row = static_cast<std::size_t>(selected_);
    std::swap(entries_[row], entries_[row - 1]);
    --selected_;
}

void MusicListEditor::MoveDown() {
    if (selected_ < 0 || entries_.size() < 2 || selected_ >= static_cast<int>(entries_.size()) - 1) return;
    const auto row = static_cast<std::size_t>(selected_);
    std::swap(entries_[row], entries_[row + 1]);
    ++selected_;
}

void MusicListEditor::Remove() {
    if (selected_ < 0 || selected_ >= static_cast<int>(entries_.size())) return;
    entries_.erase(entries_.begin() + selected_);
    selected_ = -1;
}

void MusicListEditor::Clear() {
    entries_.clear();
    selected_ = -1;
}

void MusicListEditor::Save() {
    if (InUse()) {
        Inform("列表正在使用，暂时无法保存！");
        return;
    }
    if (!IsValidName(nameText_)) {
        Inform("请输入列表名称！");
        focusNameBox_ = true;
        return;
    }
    if (entries_.empty()) {
        Inform("不能保存没有内容的音乐列表!");
        return;
    }
    if (!Confirm("确定要保存列表吗？", "保存列表")) return;
    if (!WriteMusicList(ListPath(), entries_)) {
        // Keep the rows: emptying them would look like a successful save and lose the user's work.
        LogLine("cannot save music list " + ListPath());
        Inform("列表保存失败！");
        return;
    }
    Load();
    Clear();
}

void MusicListEditor::Delete() {
    if (InUse()) {
        Inform("列表正在播放，无法删除！");
        return;
    }
    if (!IsValidName(nameText_)) {
        Inform("请选择要删除的列表！");
        return;
    }
    if (!Confirm("确定要删除音乐列表吗？", "删除列表")) return;
    // unlink, not remove: a folder that happens to be named like a list is never deleted.
    if (::unlink(ListPath().c_str()) != 0) {
        Inform("文件不存在！");
        return;
    }
    Load();
    Clear();
}

void MusicListEditor::Play() {
    // The placeholder or an empty name only names a missing list, which plays nothing; a name reaching outside
    // the music folder is not handed to the player at all.
    if (!nameText_.empty() && nameText_ != kPlaceholder && !IsSafeMusicListName(nameText_)) return;
    player_.SetFileName(ListPath());
}

// Like the player menu's stop: the null medium is loaded after stopping, so the list is free to save or delete.
void MusicListEditor::Stop() { StopSequence(player_, (musicFolder_ / "null.dll").string()); }

bool MusicListEditor::IsValidName(const std::string& text) {
    return !text.empty() && text != kPlaceholder && IsSafeMusicListName(text);
}

std::string MusicListEditor::SelectedText() const {
    if (selected_ < 0 || selected_ >= static_cast<int>(entries_.size())) return {};
    return entries_[static_cast<std::size_t>(selected_)];
}

std::string MusicListEditor::ListPath() const { return MusicListPath(musicFolder_, nameText_); }

bool MusicListEditor::TakeFocusNameBoxRequest() { return std::exchange(focusNameBox_, false); }

void MusicListEditor::Inform(const std::string& text) {
    MessageRequest box;
    box.text = text;
    box.title = "信息";
    box.icon = MessageIcon::Information;
    box.buttons = MessageButtons::Ok;
    dialogs_.Message(box);
}

bool MusicListEditor::Confirm(const std::string& text, const std::string& title) {
    MessageRequest ask;
    ask.text = text;
    ask.title = title;
    ask.icon = MessageIcon::Question;
    ask.buttons = MessageButtons::OkCancel;
    ask.defaultButton = 1;
    return dialogs_.Message(ask) == MessageAnswer::Ok;
}

bool MusicListEditor::InUse() const { return IsMusicListInUse(player_, ListPath()); }

}  // namespace lingchao
