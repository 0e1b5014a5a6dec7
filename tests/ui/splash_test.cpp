#include "ui/splash.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace lingchao;

class SplashTest final : public QObject {
    Q_OBJECT

private slots:
    void loadArmsTheTimerAndPlacesTheCancelButtonOutOfSight() {
        Splash splash({});
        auto* timer = splash.findChild<QTimer*>(QStringLiteral("Timer1"));
        auto* command1 = splash.findChild<QPushButton*>(QStringLiteral("Command1"));
        QVERIFY(timer && command1);
        QVERIFY(!timer->isActive());
        splash.Load();
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 8000);
        QVERIFY(timer->isSingleShot());
        QCOMPARE(splash.objectName(), QStringLiteral("Form7"));
        QCOMPARE(splash.windowTitle(), QStringLiteral("铃潮"));
        QVERIFY(splash.windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!splash.rect().intersects(command1->geometry()));
    }

    void handOverHappensOnceWhateverTriggersIt_data() {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("timer") << "timer";
        QTest::newRow("click") << "click";
        QTest::newRow("escape") << "escape";
        QTest::newRow("Command1") << "Command1";
        QTest::newRow("closed by the window manager") << "close";
    }
    void handOverHappensOnceWhateverTriggersIt() {
        QFETCH(QString, trigger);
        int handOvers = 0;
        Splash splash([&] { ++handOvers; });
        splash.Load();
        splash.show();
        QVERIFY(QTest::qWaitForWindowExposed(&splash));
        auto* timer = splash.findChild<QTimer*>(QStringLiteral("Timer1"));
        if (trigger == "timer") {
            timer->setInterval(10);
            QTRY_COMPARE(handOvers, 1);
        } else if (trigger == "click") {
            QTest::mouseClick(&splash, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
        } else if (trigger == "escape") {
            splash.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&splash));
            QTest::keyClick(&splash, Qt::Key_Escape);
        } else if (trigger == "Command1") {
            splash.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
        } else {
            splash.close();
        }
        QCOMPARE(handOvers, 1);
        QVERIFY(!splash.isVisible());
        QVERIFY(!timer->isActive());
        // Whatever comes after it changes nothing.
        splash.Form7_Form_Click();
        splash.Form7_Command1_Click();
        // Connected after the splash's own slot, so it runs after it: once it counted, the splash had its turn.
        int fired = 0;
        connect(timer, &QTimer::timeout, this, [&fired] { ++fired; });
        timer->start(1);
        QTRY_VERIFY(fired > 0);
        QCOMPARE(handOvers, 1);
    }

    // Its time counts from when it is first on screen; one never painted (no display to speak of) still gives
    // way to the clock rather than leaving the program without one.
    void aSplashNeverPaintedStillHandsOver() {
        int handOvers = 0;
        Splash splash([&] { ++handOvers; });
        splash.Load();
        auto* timer = splash.findChild<QTimer*>(QStringLiteral("Timer1"));
        timer->setInterval(10);
        int timeouts = 0;  // counted after the splash's own handler has run
        connect(timer, &QTimer::timeout, this, [&] {
            ++timeouts;
            if (timeouts < 3) QCOMPARE(handOvers, 0);  // not yet seen: it waits its time again
        });
        QTRY_COMPARE(handOvers, 1);
        QCOMPARE(timeouts, 3);
        QVERIFY(!timer->isActive());
    }

    void pictureIsDrawn() {
        const QPixmap picture = Splash::PaintPicture(QSize(420, 260), 1.0);
        const QImage image = picture.toImage();
        QCOMPARE(image.size(), QSize(420, 260));
        QVERIFY(image.pixelColor(0, 0) != image.pixelColor(113, 125));  // the bell stands out of the sky
    }
};

QTEST_MAIN(SplashTest)
#include "splash_test.moc"
