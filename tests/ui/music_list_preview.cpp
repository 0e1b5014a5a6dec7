// Shows Form5 for a screenshot: music_list_preview <music folder> [seconds] [fresh]
// A list of three entries is opened and its second row selected, unless "fresh" asks for the window as it opens.
#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <string>

#include "player/music_list.h"
#include "support/fakes.h"
#include "ui/music_list_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const std::filesystem::path music = argv[1];
    std::filesystem::create_directories(music);
    lingchao::WriteMusicList(music / "早操.m3u",
                             {"/home/学校/音乐/运动员进行曲.mp3", "/home/学校/音乐/第九套广播体操.wma",
                              "/home/学校/音乐/眼保健操（新版）.wav"});
    lingchao::WriteMusicList(music / "午休.m3u", {"/home/学校/音乐/摇篮曲.mid"});
    lingchao::test::FakePlayer player;
    lingchao::test::ScriptedDialogs dialogs;
    lingchao::Form5 form(music, player, dialogs);
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 8;
    QTimer::singleShot(seconds * 1000, &app, [] { QApplication::exit(0); });
    form.show();
    if (argc > 3 && std::string(argv[3]) == "fresh") return app.exec();
    QTimer::singleShot(300, &form, [&form] {
        auto* combo = form.findChild<QComboBox*>(QStringLiteral("Combo1"));
        emit combo->activated(combo->findText(QStringLiteral("早操")));
        auto* list = form.findChild<QListWidget*>(QStringLiteral("List1"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
    });
    return app.exec();
}
