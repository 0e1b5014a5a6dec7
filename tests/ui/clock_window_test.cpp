#include "ui/clock_window.h"

#include <QAction>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <utility>

#include "support/fakes.h"
#include "support/temp_folder.h"
#include "ui/clock_menu.h"
#include "ui/desktop_fakes.h"
#include "ui/desktop_shell.h"
#include "ui/twips.h"

using namespace lingchao;

class ClockWindowTest final : public QObject {
    Q_OBJECT

private:
    int shown_ = 0;
    ClockWindow::Hooks Hooks() {
        return {[this] { ++shown_; }};
    }
    static void Send(QWidget* target, QEvent::Type type, QPoint local, Qt::MouseButton button,
                     Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(local), target->mapToGlobal(QPointF(local)), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
    }

private slots:
    void init() { shown_ = 0; }

    void layoutFollowsTheDesignInTwips() {
        ClockWindow clock(Hooks());
        const double dpi = LogicalDpiOf(&clock);
        QCOMPARE(clock.objectName(), QStringLiteral("Form1"));
        QCOMPARE(clock.size(), QSize(TwipsToPixels(600, dpi), TwipsToPixels(600, dpi)));
        QCOMPARE(clock.pos(), ClockWindow::DesignGeometry(dpi).topLeft());
        if (dpi == 96.0) QCOMPARE(clock.geometry(), QRect(225, 100, 40, 40));

        auto* label2 = clock.findChild<QLabel*>(QStringLiteral("Label2"));
        auto* label1 = clock.findChild<QLabel*>(QStringLiteral("Label1"));
        auto* image1 = clock.findChild<QWidget*>(QStringLiteral("Image1"));
        auto* image2 = clock.findChild<QLabel*>(QStringLiteral("Image2"));
        QVERIFY(label1 && label2 && image1 && image2);
        QCOMPARE(label2->geometry(), TwipsRect(0, 96, 600, 252, dpi));
        QCOMPARE(label1->geometry(), TwipsRect(0, 312, 600, 252, dpi));
        QCOMPARE(label2->text(), QStringLiteral("MON"));
        QCOMPARE(label1->text(), QStringLiteral("00:00"));
        for (QLabel* label : {label1, label2}) {
            QCOMPARE(label->alignment(), Qt::AlignCenter);
            QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::blue));
            QVERIFY(!label->autoFillBackground());
        }
        QCOMPARE(image1->geometry(), clock.rect());
        QCOMPARE(image2->geometry(), clock.rect());
        QVERIFY(!image2->pixmap().isNull());
        QCOMPARE(clock.children().last(), image1);  // on top: it takes all pointer input
    }

    void widestTextsFitTheirLabels() {
        ClockWindow clock(Hooks());
        auto* label1 = clock.findChild<QLabel*>(QStringLiteral("Label1"));
        auto* label2 = clock.findChild<QLabel*>(QStringLiteral("Label2"));
        const QFontMetrics time(label1->font()), day(label2->font());
        for (const char* text : {"00:00", "23:59", "18:48", "20:08"})
            QVERIFY2(time.horizontalAdvance(QString::fromLatin1(text)) <= label1->width(), text);
        for (const char* code : {"MON", "TUS", "WES", "TRU", "FRI", "SAT", "SUN"})
            QVERIFY2(day.horizontalAdvance(QString::fromLatin1(code)) <= label2->width(), code);
        QVERIFY(time.height() <= label1->height());
        clock.ShowClock("8:05", "TRU");
        QCOMPARE(label1->text(), QStringLiteral("8:05"));
        QCOMPARE(label2->text(), QStringLiteral("TRU"));
    }

    void problemMarkComesAndGoesWithItsTooltip() {
        ClockWindow clock(Hooks());
        clock.show();
        auto* image1 = clock.findChild<QWidget*>(QStringLiteral("Image1"));
        QVERIFY(!clock.problemShown());
        QVERIFY(clock.testAttribute(Qt::WA_AlwaysShowToolTips));  // shown while another program is active
        clock.ShowProblems("今日有铃声无法播放：\n任务2 上课：文件不存在 /music/a.wav");
        QVERIFY(clock.problemShown());
        QVERIFY(image1->toolTip().contains(QStringLiteral("任务2 上课")));
        clock.ShowProblems("");
        QVERIFY(!clock.problemShown());
        QVERIFY(image1->toolTip().isEmpty());

        // Each source's part is capped on its own, and so is the plan: a few dozen lines, whatever comes.
        std::string many = "校历有错：";
        for (int i = 0; i < 50000; ++i) many += "\n校历第 " + std::to_string(i + 2) + " 行已跳过";
        std::string skips = "今天已推迟 10 分钟";
        for (int i = 0; i < 3000; ++i) skips += "\n已跳过 08:45 J" + std::to_string(i);
        clock.ShowProblems(many + "\n\n声音已静音");
        clock.ShowPlan("今天（周一）：2 个铃声", skips);
        const QString tip = image1->toolTip();
        QCOMPARE(tip.count(QLatin1Char('\n')), 20 + 2 + 20 + 2);
        QVERIFY(tip.contains(QStringLiteral("校历第 20 行已跳过\n……另有 49981 条\n\n声音已静音\n\n今天（周一）")));
        QVERIFY(tip.endsWith(QStringLiteral("已跳过 08:45 J17\n……另有 2982 条")));
    }

    void markIsRedForABellAtRiskAndAmberForAdvice() {
        ClockWindow clock(Hooks());
        clock.show();
        auto* mark = clock.findChild<QLabel*>(QStringLiteral("warningMark"));
        QVERIFY(mark);
        // Inside the round mark, beside the "!" sign.
        const auto colour = [mark] {
            const QImage image = mark->grab().toImage();
            return image.pixelColor(image.width() / 4, image.height() / 2);
        };
        const auto red = [](const QColor& c) { return c.red() > 180 && c.green() < 80 && c.blue() < 80; };
        const auto amber = [](const QColor& c) { return c.red() > 200 && c.green() > 140 && c.blue() < 80; };

        clock.ShowProblems("系统时间未同步，铃声可能不准", WarningLevel::Advice);
        QCOMPARE(clock.problemLevel(), WarningLevel::Advice);
        QVERIFY2(amber(colour()), qPrintable(colour().name()));
        clock.ShowProblems("系统时间未同步\n\n声音已静音", WarningLevel::Urgent);
        QCOMPARE(clock.problemLevel(), WarningLevel::Urgent);
        QVERIFY2(red(colour()), qPrintable(colour().name()));
        clock.ShowProblems("系统时间未同步，铃声可能不准", WarningLevel::Advice);  // the output mended
        QVERIFY2(amber(colour()), qPrintable(colour().name()));
        clock.ShowProblems("", WarningLevel::Advice);
        QVERIFY(!clock.problemShown());
        QCOMPARE(clock.problemLevel(), WarningLevel::None);
        clock.ShowProblems("声音已静音", WarningLevel::None);  // a text without a level is never left unmarked
        QCOMPARE(clock.problemLevel(), WarningLevel::Advice);
    }

    // Where the clock's texts put ink: the pixels that change when the texts are blanked.
    static QRect InkOf(ClockWindow& clock, const char* time, const char* day) {
        clock.ShowClock(time, day);
        const QImage with = clock.grab().toImage();
        clock.ShowClock("", "");
        const QImage without = clock.grab().toImage();
        QRect ink;
        for (int y = 0; y < with.height(); ++y)
            for (int x = 0; x < with.width(); ++x)
                if (with.pixel(x, y) != without.pixel(x, y)) ink |= QRect(x, y, 1, 1);
        return ink;
    }

    void todayMarkIsLargeAndClearOfTheTextsAndTheWarningMark() {
        ClockWindow clock(Hooks());
        clock.show();
        auto* today = clock.findChild<QLabel*>(QStringLiteral("todayMark"));
        auto* warning = clock.findChild<QLabel*>(QStringLiteral("warningMark"));
        if (today == nullptr || warning == nullptr) QFAIL("the clock has no marks");
        QVERIFY(!clock.todayChangeShown());
        clock.ShowPlan("今天（周日）：2 个铃声", "今天不响铃");
        clock.ShowProblems("声音已静音");
        QVERIFY(clock.todayChangeShown());
        QVERIFY(today->width() >= 8 && today->height() >= 8);
        QVERIFY2(today->width() * today->height() >= 120, qPrintable(QString::number(today->width())));
        QVERIFY(!today->geometry().intersects(warning->geometry()));
        QVERIFY(clock.rect().contains(today->geometry()));
        for (const auto& [time, day] : {std::pair{"23:59", "SUN"},
                                        {"10:00", "WES"},
                                        {"18:48", "MON"},
                                        {"00:00", "TUS"},
                                        {"8:05", "TRU"},
                                        {"20:08", "FRI"},
                                        {"12:00", "SAT"}}) {
            const QRect ink = InkOf(clock, time, day);
            QVERIFY2(!ink.isEmpty(), time);
            QVERIFY2(!today->geometry().intersects(ink), qPrintable(QStringLiteral("%1 %2").arg(time, day)));
        }
        // The band's middle is a strong colour of its own: neither the face's pale blue nor the warning's amber.
        clock.ShowClock("23:59", "SUN");
        const QImage face = clock.grab().toImage();
        const QColor c = face.pixelColor(today->geometry().center());
        QVERIFY2(c.red() > 150 && c.green() < 100 && c.blue() > 150, qPrintable(c.name()));
        // It goes with the change, and its own tooltip names it.
        QCOMPARE(today->toolTip(), QStringLiteral("今天不响铃"));
        clock.ShowPlan("今天（周日）：2 个铃声", "");
        QVERIFY(!clock.todayChangeShown());
        QCOMPARE(clock.grab().toImage().pixelColor(today->geometry().center()) == c, false);
    }

    void dragArithmetic_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QPoint>("down");  // twips
        QTest::addColumn<QPoint>("moveTo");
        QTest::addColumn<QPoint>("shift");  // pixels at 96 dpi
        QTest::newRow("left moves by the pointer offset")
            << 1 << QPoint(150, 150) << QPoint(300, 450) << QPoint(10, 20);
        QTest::newRow("left moves back and up") << 1 << QPoint(300, 300) << QPoint(0, 15) << QPoint(-20, -19);
        QTest::newRow("right does not drag") << 2 << QPoint(150, 150) << QPoint(450, 450) << QPoint(0, 0);
        QTest::newRow("middle does not drag") << 4 << QPoint(150, 150) << QPoint(450, 450) << QPoint(0, 0);
    }
    void dragArithmetic() {
        QFETCH(int, button);
        QFETCH(QPoint, down);
        QFETCH(QPoint, moveTo);
        QFETCH(QPoint, shift);
        ClockWindow clock(Hooks());
        const double dpi = LogicalDpiOf(&clock);
        const QPoint start = clock.pos();
        clock.Form1_Image1_MouseDown(button, down.x(), down.y());
        clock.Form1_Image1_MouseMove(button, moveTo.x(), moveTo.y());
        QCOMPARE(clock.pos(), start + QPoint(TwipsToPixels(shift.x() * 15, dpi), TwipsToPixels(shift.y() * 15, dpi)));
        clock.Form1_Image1_MouseUp(button, moveTo.x(), moveTo.y());
        QVERIFY(!clock.dragging());
    }

    void realPointerDragKeepsTheGrabbedPointAndReleaseOutsideEndsIt() {
        ClockWindow clock(Hooks());
        clock.show();
        auto* image1 = clock.findChild<QWidget*>(QStringLiteral("Image1"));
        const QPoint start = clock.pos();
        Send(image1, QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
        QVERIFY(clock.dragging());
        Send(image1, QEvent::MouseMove, QPoint(25, 35), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(clock.pos(), start + QPoint(20, 30));
        // The window moved: the same screen point is now (5, 5) again; the pointer goes far off the clock.
        Send(image1, QEvent::MouseButtonRelease, QPoint(400, -300), Qt::LeftButton, Qt::NoButton);
        QVERIFY(!clock.dragging());
        Send(image1, QEvent::MouseMove, QPoint(30, 30), Qt::NoButton, Qt::NoButton);
        QCOMPARE(clock.pos(), start + QPoint(20, 30));
    }

    void anyButtonUpEndsTheDrag() {
        ClockWindow clock(Hooks());
        clock.Form1_Image1_MouseDown(1, 100, 100);
        clock.Form1_Image1_MouseUp(2, 100, 100);
        QVERIFY(!clock.dragging());
        const QPoint parked = clock.pos();
        clock.Form1_Image1_MouseMove(1, 400, 400);
        QCOMPARE(clock.pos(), parked);
    }

    void clockMayBeDraggedOffTheScreen() {
        ClockWindow clock(Hooks());
        clock.Form1_Image1_MouseDown(1, 0, 0);
        clock.Form1_Image1_MouseMove(1, -9000, -6000);
        QVERIFY(clock.x() < 0);
        QVERIFY(clock.y() < 0);
    }

    void doubleClickShowsTheMainWindowWithoutMovingTheClock() {
        ClockWindow clock(Hooks());
        clock.show();
        auto* image1 = clock.findChild<QWidget*>(QStringLiteral("Image1"));
        const QPoint start = clock.pos();
        QTest::mouseDClick(image1, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QCOMPARE(shown_, 1);
        QCOMPARE(clock.pos(), start);
        QVERIFY(!clock.dragging());
    }

    void rightButtonUpPopsUpTheMenu() {
        ClockMenu menu({});
        ClockWindow clock(Hooks());
        clock.SetPopupMenu(menu.wenjian());
        clock.show();
        auto* image1 = clock.findChild<QWidget*>(QStringLiteral("Image1"));
        Send(image1, QEvent::MouseButtonPress, QPoint(10, 10), Qt::RightButton, Qt::RightButton);
        QVERIFY(!menu.wenjian()->isVisible());
        Send(image1, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::RightButton, Qt::NoButton);
        QTRY_VERIFY(menu.wenjian()->isVisible());
        menu.wenjian()->close();
        Send(image1, QEvent::MouseButtonRelease, QPoint(10, 10), Qt::LeftButton, Qt::NoButton);
        QVERIFY(!menu.wenjian()->isVisible());
    }

    void menuItemsAndTheirActions() {
        QStringList calls;
        ClockMenu menu({[&] { calls << "show"; }, [&] { calls << "play"; }, [&] { calls << "pause"; },
                        [&] { calls << "stop"; }, [&] { calls << "quit"; }});
        QCOMPARE(menu.objectName(), QStringLiteral("Form3"));
        QCOMPARE(menu.wenjian()->objectName(), QStringLiteral("wenjian"));
        const QList<QAction*> items = menu.wenjian()->actions();
        // 整理音乐路径… and its separator stay hidden until a bell's path is found by name.
        const QStringList names{"tidy1", "tidySeparator", "show_w", "aaa", "play1", "pause1", "stop1", "bbb", "quit1"};
        const QStringList texts{"整理音乐路径…", "", "显示主窗口\tCtrl+F12", "", "播放(&P)", "暂停(&A)", "停止(&S)", "",
                                "退出(&Q)"};
        QCOMPARE(items.size(), names.size());
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(items[i]->objectName(), names[i]);
            QCOMPARE(items[i]->isSeparator(), texts[i].isEmpty());
            if (!texts[i].isEmpty()) QCOMPARE(items[i]->text(), texts[i]);
            QVERIFY2(items[i]->shortcut().isEmpty(), "the hint must not become a shortcut of its own");
            QCOMPARE(items[i]->isVisible(), i >= 2);
        }
        for (QAction* item : items)
            if (!item->isSeparator()) item->trigger();
        QTRY_COMPARE(calls, (QStringList{"show", "play", "pause", "stop", "quit"}));
        QVERIFY(!menu.isVisible());
    }

    void shellHandsOverFromSplashToClockAndTiesHotkeysToTheClock() {
        test::TempFolder folder;
        std::filesystem::create_directory(folder / "music");
        test::ScriptedDialogs dialogs;
        auto* hotkeys = new test::FakeHotkeys;
        int loaded = 0;
        DesktopShell::Hooks hooks;
        hooks.showMainWindow = [this] { ++shown_; };
        hooks.mainWindowVisible = [] { return false; };
        hooks.clockLoaded = [&] { ++loaded; };
        DesktopShell::Platform platform;
        platform.guard = std::make_unique<test::FakeGuard>();
        platform.hotkeys.reset(hotkeys);
        platform.media = std::make_unique<test::FakeMediaControl>();
        DesktopShell shell(folder.path(), dialogs, hooks, std::move(platform));
        shell.ShowClock("7:55", "FRI");
        shell.ShowProblems("系统时间未同步，铃声可能不准", WarningLevel::Advice);

        QVERIFY(shell.Start());
        QVERIFY(dialogs.messages.empty());
        QVERIFY(std::filesystem::exists(folder / "music/null.dll"));
        QVERIFY(shell.splash() && shell.splash()->isVisible());
        QVERIFY(!shell.clock());
        QVERIFY(!QGuiApplication::quitOnLastWindowClosed());

        shell.splash()->Form7_Form_Click();
        QPointer<ClockWindow> clock = shell.clock();
        QVERIFY(clock && clock->isVisible());
        QTRY_VERIFY(!shell.splash());
        QCOMPARE(loaded, 1);
        QVERIFY(clock->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(clock->windowFlags() & Qt::FramelessWindowHint);
        QVERIFY(clock->windowFlags() & Qt::Tool);
        QCOMPARE(clock->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("7:55"));
        QCOMPARE(clock->problemLevel(), WarningLevel::Advice);  // remembered until the clock existed
        shell.ShowClock("7:56", "FRI");
        QCOMPARE(clock->findChild<QLabel*>(QStringLiteral("Label1"))->text(), QStringLiteral("7:56"));
        QVERIFY(hotkeys->held[Hotkey::ShowMainWindow] && hotkeys->held[Hotkey::ToggleDoor]);
        hotkeys->Press(Hotkey::ShowMainWindow);
        QCOMPARE(shown_, 1);

        delete clock.data();
        QVERIFY(!hotkeys->held[Hotkey::ShowMainWindow] && !hotkeys->held[Hotkey::ToggleDoor]);
    }

    void shellStopsWhenAnotherCopyRuns() {
        test::TempFolder folder;
        test::ScriptedDialogs dialogs;
        DesktopShell::Platform platform;
        auto guard = std::make_unique<test::FakeGuard>();
        guard->outcome = GuardOutcome::HeldByAnother;
        platform.guard = std::move(guard);
        platform.hotkeys = std::make_unique<test::FakeHotkeys>();
        platform.media = std::make_unique<test::FakeMediaControl>();
        DesktopShell shell(folder.path(), dialogs, {}, std::move(platform));
        QVERIFY(!shell.Start());
        QCOMPARE(dialogs.messages.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(dialogs.messages[0].text), QStringLiteral("程序正在运行！"));
        QVERIFY(!shell.splash());
    }

    void quitFromTheMenuAsksFirst() {
        test::ScriptedDialogs dialogs;
        int ended = 0;
        DesktopShell::Hooks hooks;
        hooks.endProgram = [&] { ++ended; };
        DesktopShell::Platform platform;
        platform.guard = std::make_unique<test::FakeGuard>();
        platform.hotkeys = std::make_unique<test::FakeHotkeys>();
        platform.media = std::make_unique<test::FakeMediaControl>();
        DesktopShell shell(".", dialogs, hooks, std::move(platform));
        shell.clockMenu()->Form3_quit1_Click();
        QCOMPARE(ended, 0);  // unanswered box: Cancel
        dialogs.answers.push_back(MessageAnswer::Ok);
        shell.clockMenu()->Form3_quit1_Click();
        QCOMPARE(ended, 1);
        QCOMPARE(dialogs.messages.size(), std::size_t{2});
        QCOMPARE(QString::fromStdString(dialogs.messages[1].text), QStringLiteral("确定退出铃潮吗？"));
    }
};

QTEST_MAIN(ClockWindowTest)
#include "clock_window_test.moc"
