#include "player/music_list_editor.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "player/music_list.h"
#include "player/player_commands.h"
#include "support/fakes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

using test::FakePlayer;
using test::ReadAll;
using test::ScriptedDialogs;
using test::TempFolder;
using test::WriteAll;
using Rows = std::vector<std::string>;

class MusicListEditorTest : public ::testing::Test {
protected:
    MusicListEditorTest() : music(folder.path() / "music"), editor(music, player, dialogs) {
        std::filesystem::create_directory(music);
        WriteAll(music / "null.dll", {});
        editor.Load();
    }

    void SaveList(const std::string& name, const Rows& rows) {
        ASSERT_TRUE(WriteMusicList(music / (name + ".m3u"), rows));
    }

    void OpenByName(const std::string& name) {
        editor.NameBoxFocused();
        editor.SetNameText(name);
        editor.NameBoxEnter();
    }

    const MessageRequest& LastMessage() const { return dialogs.messages.back(); }

    void ExpectInformation(const std::string& text) {
        ASSERT_FALSE(dialogs.messages.empty());
        EXPECT_EQ(LastMessage().text, text);
        EXPECT_EQ(LastMessage().title, "信息");
        EXPECT_EQ(LastMessage().icon, MessageIcon::Information);
        EXPECT_EQ(LastMessage().buttons, MessageButtons::Ok);
    }

    TempFolder folder;
    std::filesystem::path music;
    FakePlayer player;
    ScriptedDialogs dialogs;
    MusicListEditor editor;
};

TEST_F(MusicListEditorTest, LoadOffersTheListsAndShowsThePlaceholder) {
    SaveList("b", {"x"});
    SaveList("a", {"y"});
    editor.Load();
    EXPECT_EQ(editor.names(), (Rows{"a", "b"}));
    EXPECT_EQ(editor.nameText(), "输入列表名");
    EXPECT_EQ(editor.addDialog().title, "添加音乐");
    EXPECT_EQ(editor.addDialog().startFolder, music.string());
    EXPECT_EQ(editor.addDialog().filter,
              "所有支持类型(*.mp3;*.wav;*.mid;*.wma;*.wmv)|*.mp3;*.wav;*.mid;*.wma;*.wmv|所有文件(*.*)|*.*|");
}

TEST_F(MusicListEditorTest, FocusEmptiesOnlyThePlaceholder) {
    editor.NameBoxFocused();
    EXPECT_EQ(editor.nameText(), "");
    editor.SetNameText("早操");
    editor.NameBoxFocused();
    EXPECT_EQ(editor.nameText(), "早操");
}

TEST_F(MusicListEditorTest, ChoosingAListShowsItsRowsDirectivesAndBlanksIncluded) {
    WriteAll(music / "a.m3u", {'#', 'E', 'X', 'T', 'M', '3', 'U', '\r', '\n', '\r', '\n', 'x', '.', 'm', 'p', '3'});
    editor.Load();
    editor.ChooseName("a");
    EXPECT_EQ(editor.entries(), (Rows{"#EXTM3U", "", "x.mp3"}));
    EXPECT_TRUE(dialogs.messages.empty());
}

TEST_F(MusicListEditorTest, SavedRowsReopenTheSameAndSaveResetsTheWindow) {
    OpenByName("课间");  // a new list: No to creating it
    ASSERT_EQ(dialogs.messages.size(), 1U);
    dialogs.files = {"a", "b", "c"};
    editor.Add();
    editor.Add();
    editor.Add();
    dialogs.answers = {MessageAnswer::Ok};
    editor.Save();
    const MessageRequest& ask = LastMessage();
    EXPECT_EQ(ask.text, "确定要保存列表吗？");
    EXPECT_EQ(ask.title, "保存列表");
    EXPECT_EQ(ask.icon, MessageIcon::Question);
    EXPECT_EQ(ask.buttons, MessageButtons::OkCancel);
    EXPECT_EQ(ask.defaultButton, 1);
    const std::string text = "a\r\nb\r\nc\r\n";
    EXPECT_EQ(ReadAll(music / "课间.m3u"), std::vector<std::uint8_t>(text.begin(), text.end()));
    EXPECT_EQ(editor.names(), (Rows{"课间"}));
    EXPECT_EQ(editor.nameText(), "输入列表名");
    EXPECT_TRUE(editor.entries().empty());

    editor.ChooseName("课间");
    EXPECT_EQ(editor.entries(), (Rows{"a", "b", "c"}));
}

TEST_F(MusicListEditorTest, CancelOfTheSaveQuestionWritesNothing) {
    OpenByName("new");
    dialogs.files = {"a"};
    editor.Add();
    editor.Save();  // the scripted box answers Cancel
    EXPECT_FALSE(std::filesystem::exists(music / "new.m3u"));
    EXPECT_EQ(editor.entries(), (Rows{"a"}));
}

TEST_F(MusicListEditorTest, ANewListAsksAndYesOpensTheAddDialogButCreatesNoFile) {
    dialogs.answers = {MessageAnswer::Yes};
    dialogs.files = {"/media/上课.mp3"};
    OpenByName("新列表");
    ASSERT_EQ(dialogs.messages.size(), 1U);
    EXPECT_EQ(LastMessage().text, "是否创建新列表？");
    EXPECT_EQ(LastMessage().title, "新建列表");
    EXPECT_EQ(LastMessage().icon, MessageIcon::Question);
    EXPECT_EQ(LastMessage().buttons, MessageButtons::YesNo);
    ASSERT_EQ(dialogs.fileRequests.size(), 1U);
    EXPECT_EQ(dialogs.fileRequests[0].title, "添加音乐");
    EXPECT_EQ(editor.entries(), (Rows{"/media/上课.mp3"}));
    EXPECT_FALSE(std::filesystem::exists(music / "新列表.m3u"));
}

TEST_F(MusicListEditorTest, ThePlaceholderOrAnEmptyNameOpensAddsAndSavesNothing) {
    for (const std::string name : {"输入列表名", ""}) {
        dialogs = {};
        editor.SetNameText(name);
        editor.NameBoxEnter();
        dialogs.files = {"a"};
        editor.Add();
        ExpectInformation("请输入列表名称！");  // says why nothing is added
        EXPECT_TRUE(editor.TakeFocusNameBoxRequest());
        EXPECT_TRUE(dialogs.fileRequests.empty());
        EXPECT_TRUE(editor.entries().empty());
        editor.Save();
        ExpectInformation("请输入列表名称！");
        EXPECT_TRUE(editor.TakeFocusNameBoxRequest());
        EXPECT_FALSE(editor.TakeFocusNameBoxRequest());
    }
}

TEST_F(MusicListEditorTest, SavingAnEmptyListIsRefused) {
    OpenByName("x");
    editor.Save();
    ExpectInformation("不能保存没有内容的音乐列表!");
    EXPECT_FALSE(std::filesystem::exists(music / "x.m3u"));
}

struct MoveCase {
    const char* name;
    int selected;
    bool down;
    int presses;
    Rows rows;
    int selectedAfter;
};

class MusicListEditorMove : public MusicListEditorTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(MusicListEditorMove, MovesKeepTheMovedEntrySelected) {
    SaveList("m", {"a", "b", "c"});
    editor.ChooseName("m");
    editor.SelectRow(GetParam().selected);
    for (int i = 0; i < GetParam().presses; ++i) GetParam().down ? editor.MoveDown() : editor.MoveUp();
    EXPECT_EQ(editor.entries(), GetParam().rows);
    EXPECT_EQ(editor.selectedRow(), GetParam().selectedAfter);
}

INSTANTIATE_TEST_SUITE_P(Moves, MusicListEditorMove,
                         ::testing::Values(MoveCase{"UpFromLastTwice", 2, false, 2, {"c", "a", "b"}, 0},
                                           MoveCase{"DownFromFirstTwice", 0, true, 2, {"b", "c", "a"}, 2},
                                           MoveCase{"UpOnFirstDoesNothing", 0, false, 1, {"a", "b", "c"}, 0},
                                           MoveCase{"DownOnLastDoesNothing", 2, true, 1, {"a", "b", "c"}, 2},
                                           MoveCase{"DownWithNoSelectionDoesNothing", -1, true, 1, {"a", "b", "c"}, -1},
                                           MoveCase{"UpWithNoSelectionDoesNothing", -1, false, 1, {"a", "b", "c"}, -1}),
                         [](const ::testing::TestParamInfo<MoveCase>& row) { return std::string(row.param.name); });

TEST_F(MusicListEditorTest, RemoveTakesTheSelectedRowAndClearTakesAll) {
    SaveList("m", {"a", "b", "c"});
    editor.ChooseName("m");
    editor.Remove();  // nothing selected
    EXPECT_EQ(editor.entries().size(), 3U);
    editor.SelectRow(1);
    EXPECT_EQ(editor.SelectedText(), "b");
    editor.Remove();
    EXPECT_EQ(editor.entries(), (Rows{"a", "c"}));
    EXPECT_EQ(editor.selectedRow(), -1);
    editor.Clear();
    EXPECT_TRUE(editor.entries().empty());
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(std::filesystem::exists(music / "m.m3u"));
}

TEST_F(MusicListEditorTest, SavingUnderANewNameLeavesTheOldListAsItWas) {
    SaveList("A", {"1", "2"});
    editor.ChooseName("A");
    editor.SetNameText("B");
    dialogs.answers = {MessageAnswer::Ok};
    editor.Save();
    EXPECT_EQ(ReadMusicList(music / "B.m3u"), (Rows{"1", "2"}));
    EXPECT_EQ(ReadMusicList(music / "A.m3u"), (Rows{"1", "2"}));
    EXPECT_EQ(editor.names(), (Rows{"A", "B"}));
}

TEST_F(MusicListEditorTest, AListThePlayerHoldsCannotBeSavedOrDeletedUntilTheEditorsStopReleasesIt) {
    SaveList("早操", {"a.mp3"});
    editor.ChooseName("早操");
    editor.Play();
    EXPECT_EQ(player.fileName, (music / "早操.m3u").string());
    editor.Save();
    ExpectInformation("列表正在使用，暂时无法保存！");
    editor.Delete();
    ExpectInformation("列表正在播放，无法删除！");
    EXPECT_TRUE(std::filesystem::exists(music / "早操.m3u"));

    // ■ stops as the player menu's stop does: then the null medium, and the list is free.
    player.calls.clear();
    editor.Stop();
    EXPECT_EQ(player.calls, (Rows{"Stop", "FileName=" + (music / "null.dll").string()}));
    dialogs.answers = {MessageAnswer::Ok};
    editor.Save();
    EXPECT_EQ(LastMessage().text, "确定要保存列表吗？");
    dialogs.answers = {MessageAnswer::Ok};
    editor.ChooseName("早操");
    editor.Delete();
    EXPECT_FALSE(std::filesystem::exists(music / "早操.m3u"));
}

TEST_F(MusicListEditorTest, DeleteAsksThenRemovesTheFileAndReloads) {
    SaveList("a", {"x"});
    SaveList("b", {"y"});
    editor.Load();
    editor.ChooseName("a");
    editor.Delete();  // Cancel
    EXPECT_TRUE(std::filesystem::exists(music / "a.m3u"));
    const MessageRequest& ask = LastMessage();
    EXPECT_EQ(ask.text, "确定要删除音乐列表吗？");
    EXPECT_EQ(ask.title, "删除列表");
    EXPECT_EQ(ask.icon, MessageIcon::Question);
    EXPECT_EQ(ask.buttons, MessageButtons::OkCancel);
    EXPECT_EQ(ask.defaultButton, 1);

    dialogs.answers = {MessageAnswer::Ok};
    editor.Delete();
    EXPECT_FALSE(std::filesystem::exists(music / "a.m3u"));
    EXPECT_EQ(editor.names(), (Rows{"b"}));
    EXPECT_EQ(editor.nameText(), "输入列表名");
    EXPECT_TRUE(editor.entries().empty());
}

TEST_F(MusicListEditorTest, DeletingAMissingListSaysSoAndKeepsTheWindow) {
    dialogs.files = {"a"};
    dialogs.answers = {MessageAnswer::Yes, MessageAnswer::Ok};
    OpenByName("ghost");
    editor.Delete();
    ExpectInformation("文件不存在！");
    EXPECT_EQ(editor.nameText(), "ghost");
    EXPECT_EQ(editor.entries(), (Rows{"a"}));
}

TEST_F(MusicListEditorTest, AFolderNamedLikeAListIsNeverDeleted) {
    std::filesystem::create_directory(music / "x.m3u");
    editor.SetNameText("x");
    dialogs.answers = {MessageAnswer::Ok};
    editor.Delete();
    ExpectInformation("文件不存在！");
    EXPECT_TRUE(std::filesystem::is_directory(music / "x.m3u"));
}

TEST_F(MusicListEditorTest, DeleteWithoutANameAsksForOne) {
    editor.Delete();
    ExpectInformation("请选择要删除的列表！");
}

TEST_F(MusicListEditorTest, ANameReachingOutsideTheMusicFolderIsRefused) {
    WriteAll(folder / "outside.m3u", {'x', '\r', '\n'});
    for (const std::string name : {"../outside", "..", "sub/x", "sub\\x", "a..b"}) {
        dialogs = {};
        player.calls.clear();
        editor.SetNameText(name);
        editor.NameBoxEnter();
        EXPECT_TRUE(editor.entries().empty()) << name;
        EXPECT_TRUE(dialogs.messages.empty()) << name;
        dialogs.files = {"a"};
        editor.Add();
        EXPECT_TRUE(dialogs.fileRequests.empty()) << name;
        editor.Save();
        ExpectInformation("请输入列表名称！");
        editor.Delete();
        ExpectInformation("请选择要删除的列表！");
        editor.Play();
        EXPECT_TRUE(player.calls.empty()) << name;
    }
    EXPECT_TRUE(std::filesystem::exists(folder / "outside.m3u"));
}

TEST_F(MusicListEditorTest, AFailedWriteKeepsTheRowsAndSaysSo) {
    std::filesystem::create_directory(music / "busy.m3u");  // a folder in the way: the file cannot be written
    OpenByName("busy");
    dialogs.files = {"a"};
    editor.Add();
    dialogs = {};
    dialogs.answers = {MessageAnswer::Ok};
    editor.Save();
    ExpectInformation("列表保存失败！");
    EXPECT_EQ(editor.entries(), (Rows{"a"}));
    EXPECT_EQ(editor.nameText(), "busy");
}

TEST_F(MusicListEditorTest, PlayHandsThePlayerTheListPathUntested) {
    editor.SetNameText("none");
    editor.Play();
    EXPECT_EQ(player.calls, (Rows{"FileName=" + (music / "none.m3u").string()}));
}

}  // namespace
}  // namespace lingchao
