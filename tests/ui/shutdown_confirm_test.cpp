#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "scheduler/checktime.h"
#include "support/fakes.h"
#include "support/temp_folder.h"
#include "ui/shutdown_confirm.h"

namespace lingchao {
namespace {

// Fires only when the test says so.
class ManualTimer final : public CountdownTimer {
public:
    struct State {
        int interval = 0;
        bool running = false;
        std::function<void()> tick;
    };
    explicit ManualTimer(std::shared_ptr<State> state) : state_(std::move(state)) {}
    void Start(int intervalMs, std::function<void()> tick) override {
        state_->interval = intervalMs;
        state_->running = true;
        state_->tick = std::move(tick);
    }
    void Stop() override { state_->running = false; }

private:
    std::shared_ptr<State> state_;
};

QPushButton* Yes(QWidget* w) { return w->findChild<QPushButton*>(QStringLiteral("Command1_0")); }
QPushButton* No(QWidget* w) { return w->findChild<QPushButton*>(QStringLiteral("Command1_1")); }

// Runs `action` once the modal loop is up.
void WhenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        QVERIFY(modal != nullptr);
        action(modal);
    });
}

// The scheduler's host that forwards to the real confirmation host.
class ForwardingHost final : public SchedulerHost {
public:
    explicit ForwardingHost(ShutdownConfirmHost& confirm) : confirm_(confirm) {}
    void ShowClock(const std::string&, const std::string&) override {}
    void StartFireLockTimer() override {}
    void ConfirmShutdown() override { confirm_.ConfirmShutdown(); }
    void JobExamined(const JobExamination&) override {}

private:
    ShutdownConfirmHost& confirm_;
};

}  // namespace

class ShutdownConfirmTest final : public QObject {
    Q_OBJECT
private slots:
    void captionsCountDownAndTheRequestComesAtTheEleventhTick() {
        auto timer = std::make_shared<ManualTimer::State>();
        int sequences = 0;
        ShutdownConfirm form([&] { ++sequences; }, std::make_unique<ManualTimer>(timer));
        QCOMPARE(form.objectName(), QStringLiteral("Form2"));
        QCOMPARE(form.windowTitle(), QStringLiteral("SHUTDOWN"));
        QCOMPARE(timer->interval, 1000);
        QVERIFY(timer->running);
        QCOMPARE(form.countdown(), 10);
        QCOMPARE(Yes(&form)->text(), QStringLiteral("&YES(10)"));
        for (int n = 9; n >= 0; --n) {
            timer->tick();
            QCOMPARE(Yes(&form)->text(), QStringLiteral("YES(%1)").arg(n));
            QCOMPARE(sequences, 0);
        }
        timer->tick();  // the 11th
        QCOMPARE(sequences, 1);
        QVERIFY(!timer->running);
        QCOMPARE(form.result(), ShutdownConfirm::kShutdownRequested);
    }

    void yesShutsDownAtOnceAtAnyCount() {
        auto timer = std::make_shared<ManualTimer::State>();
        int sequences = 0;
        ShutdownConfirm form([&] { ++sequences; }, std::make_unique<ManualTimer>(timer));
        WhenModal([&](QWidget* modal) {
            for (int i = 0; i < 7; ++i) timer->tick();
            QCOMPARE(Yes(modal)->text(), QStringLiteral("YES(3)"));
            QTest::mouseClick(Yes(modal), Qt::LeftButton);
        });
        QCOMPARE(form.exec(), ShutdownConfirm::kShutdownRequested);
        QCOMPARE(sequences, 1);
        QVERIFY(!timer->running);
    }

    void noEscEnterAndCloseReturnWithoutShutdown_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("NO clicked") << "no";
        QTest::newRow("Esc") << "esc";
        QTest::newRow("Enter right after opening") << "enter";
        QTest::newRow("close box") << "close";
    }
    void noEscEnterAndCloseReturnWithoutShutdown() {
        QFETCH(QString, how);
        auto timer = std::make_shared<ManualTimer::State>();
        int sequences = 0;
        ShutdownConfirm form([&] { ++sequences; }, std::make_unique<ManualTimer>(timer));
        WhenModal([&](QWidget* modal) {
            QVERIFY(QTest::qWaitForWindowActive(modal));
            QCOMPARE(QApplication::focusWidget(), No(modal));
            if (how == "no") QTest::mouseClick(No(modal), Qt::LeftButton);
            if (how == "esc") QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            if (how == "enter") QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (how == "close") modal->close();
        });
        QCOMPARE(form.exec(), int(QDialog::Rejected));
        QCOMPARE(sequences, 0);
        timer->tick();  // a late tick of a closed dialog changes nothing
        QCOMPARE(sequences, 0);
    }

    void noComesFirstInTabOrder() {
        ShutdownConfirm form([] {}, std::make_unique<ManualTimer>(std::make_shared<ManualTimer::State>()));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(No(&form)));
        QVERIFY(No(&form)->isDefault());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Yes(&form)));
        QVERIFY(Yes(&form)->geometry().center().x() < No(&form)->geometry().center().x());
    }

    // At the due minute every tick asks for the confirmation: never a second one while one is open,
    // and after NO a fresh one (count back at 10) on the next tick of that minute.
    void hostOpensOneAtATimeAndAgainAfterNoWithinTheMinute() {
        test::TempFolder dir;
        test::FakeClock clock({2026, 12, 7}, {17, 30, 0});
        test::FakePlayer player;
        std::vector<std::shared_ptr<ManualTimer::State>> timers;
        int sequences = 0;
        ShutdownConfirmHost confirm([&] { ++sequences; },
                                    [&] {
                                        timers.push_back(std::make_shared<ManualTimer::State>());
                                        return std::make_unique<ManualTimer>(timers.back());
                                    });
        ForwardingHost host(confirm);
        Checktime checktime(dir.path(), clock, player, host);
        ShutdownSettings settings;
        settings.check[0] = 1;
        settings.time = {"17:30", "00:00", "00:00", "00:00", "00:00", "00:00", "00:00", "00:00", "00:00"};
        checktime.SetShutdownSettings(settings);

        int nestedOpenings = -1;
        WhenModal([&](QWidget* modal) {
            timers.back()->tick();  // YES(9)
            clock.AdvanceSeconds(1);
            checktime.Tick();  // due again while open: ignored
            nestedOpenings = confirm.openings();
            QTest::mouseClick(No(modal), Qt::LeftButton);
        });
        checktime.Tick();
        QCOMPARE(nestedOpenings, 1);
        QVERIFY(!confirm.isOpen());

        int countAtReopen = -1;
        QString captionAtReopen;
        WhenModal([&](QWidget* modal) {
            countAtReopen = confirm.openDialog()->countdown();
            captionAtReopen = Yes(modal)->text();
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        clock.AdvanceSeconds(1);
        checktime.Tick();
        QCOMPARE(confirm.openings(), 2);
        QCOMPARE(countAtReopen, 10);
        QCOMPARE(captionAtReopen, QStringLiteral("&YES(10)"));

        clock.SetTime({17, 31, 0});
        checktime.Tick();
        QCOMPARE(confirm.openings(), 2);
        QCOMPARE(sequences, 0);
    }

    // A refused request returns to the dialog's caller; no second request from a late tick.
    void sequenceThatReturnsClosesTheDialogOnce() {
        auto timer = std::make_shared<ManualTimer::State>();
        int sequences = 0;
        ShutdownConfirm form(
            [&] {
                ++sequences;
                timer->tick();  // a tick arriving while the refusal box is up
            },
            std::make_unique<ManualTimer>(timer));
        WhenModal([&](QWidget* modal) { QTest::mouseClick(Yes(modal), Qt::LeftButton); });
        QCOMPARE(form.exec(), ShutdownConfirm::kShutdownRequested);
        QCOMPARE(sequences, 1);
    }

    void pictureIs420TwipsSquare() {
        ShutdownConfirm form([] {}, std::make_unique<ManualTimer>(std::make_shared<ManualTimer::State>()));
        form.show();
        auto* image = form.findChild<QLabel*>(QStringLiteral("Image1"));
        QVERIFY(image != nullptr);
        QCOMPARE(image->size(), QSize(28, 28));  // 420 twips at 96 dpi
        QVERIFY(!image->pixmap().isNull());
        auto* label = form.findChild<QLabel*>(QStringLiteral("Label1"));
        QCOMPARE(label->text(), QStringLiteral("是否关闭计算机？"));
        QVERIFY(label->geometry().left() > image->geometry().right());
    }
};

}  // namespace lingchao

QTEST_MAIN(lingchao::ShutdownConfirmTest)
#include "shutdown_confirm_test.moc"
