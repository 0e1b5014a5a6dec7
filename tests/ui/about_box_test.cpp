#include "ui/about_box.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <cstdlib>
#include <fstream>

#include "support/fakes.h"
#include "support/temp_folder.h"

namespace lingchao {
namespace {

class NoTool final : public SysInfoLauncher {
public:
    bool Start() override { return false; }
};

QString Text(const QWidget& w, const char* name) {
    const auto* label = w.findChild<QLabel*>(name);
    if (label != nullptr) return label->text();
    const auto* button = w.findChild<QPushButton*>(name);
    return button != nullptr ? button->text() : QString();
}

TEST(AboutBox, ShowsTitleVersionAndDescription) {
    test::ScriptedDialogs dialogs;
    NoTool tool;
    AboutBox box(dialogs, tool);
    EXPECT_EQ(box.objectName(), "frmAbout");
    EXPECT_EQ(box.windowTitle(), QString::fromUtf8("关于 铃潮"));
    EXPECT_EQ(Text(box, "lblTitle"), QString::fromUtf8("铃潮"));
    EXPECT_EQ(Text(box, "lblVersion"), QString::fromUtf8("版本 4.0.2"));
    EXPECT_EQ(Text(box, "lblDescription"),
              QString::fromUtf8("主要用于学校作息时间控制,新改进的任务策略使周一升旗以及考试时间控制更加方便。"));
    EXPECT_EQ(Text(box, "cmdOK"), QString::fromUtf8("确定"));
    EXPECT_EQ(Text(box, "cmdSysInfo"), QString::fromUtf8("系统信息(&S)..."));
    EXPECT_TRUE(box.findChild<QPushButton*>("cmdOK")->isDefault());
    EXPECT_NE(box.findChild<QWidget*>("Line1"), nullptr);
}

TEST(AboutBox, EnterAndEscBothClose) {
    for (const int key : {Qt::Key_Return, Qt::Key_Escape}) {
        test::ScriptedDialogs dialogs;
        NoTool tool;
        AboutBox box(dialogs, tool);
        QTimer::singleShot(0, &box, [&box, key] { QTest::keyClick(&box, static_cast<Qt::Key>(key)); });
        box.exec();
        EXPECT_FALSE(box.isVisible());
        EXPECT_TRUE(dialogs.messages.empty()) << "key " << key;
    }
}

TEST(AboutBox, WithoutAToolSaysSystemInformationIsNotAvailableAndStaysOpen) {
    test::ScriptedDialogs dialogs;
    NoTool tool;
    AboutBox box(dialogs, tool);
    box.show();
    box.findChild<QPushButton*>("cmdSysInfo")->click();
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0].text, "此时系统信息不可用");
    EXPECT_EQ(dialogs.messages[0].title, "铃潮");
    EXPECT_EQ(dialogs.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(dialogs.messages[0].buttons, MessageButtons::Ok);
    EXPECT_TRUE(box.isVisible());
}

TEST(SysInfoLauncher, StartsTheFirstToolFoundOnThePathDetached) {
    test::TempFolder dir;
    const auto marker = dir / "started";
    const auto tool = dir / "hardinfo";
    {
        std::ofstream script(tool);
        script << "#!/bin/sh\n/usr/bin/touch '" << marker.string() << "'\n";
    }
    std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    setenv("PATH", dir.path().c_str(), 1);
    PathSysInfoLauncher launcher;
    EXPECT_EQ(launcher.Find(), tool.string());
    EXPECT_TRUE(launcher.Start());
    for (int i = 0; i < 1500 && !std::filesystem::exists(marker); ++i) QTest::qWait(20);
    EXPECT_TRUE(std::filesystem::exists(marker));
    std::filesystem::remove(tool);
    EXPECT_FALSE(launcher.Find());
    EXPECT_FALSE(launcher.Start());
    setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace
}  // namespace lingchao
