#include "ui/signal_window.h"

#include <QFont>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "ui/signal_records.h"

namespace lingchao {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The signal as one line: "【演练】地震演练 · 第1/3步 就地避险".
QString Describe(const SignalView& view) {
    QString text = QStringLiteral("【%1】%2").arg(QString::fromUtf8(DrillKindText(view.kind)), Q(view.signal));
    if (view.ending) return text + QStringLiteral(" · 正在解除");
    if (view.steps > 0) text += QStringLiteral(" · 第%1/%2步").arg(view.step).arg(view.steps);
    if (!view.label.empty() && view.label != view.signal) text += QStringLiteral(" ") + Q(view.label);
    return text;
}

void Enlarge(QWidget* widget, double factor, bool bold) {
    QFont font = widget->font();
    font.setPointSizeF(font.pointSizeF() * factor);
    font.setBold(bold);
    widget->setFont(font);
}

}  // namespace

SignalWindow::SignalWindow(std::vector<DrillSignal> plans, SignalServices services, int countdownMs, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      s_(std::move(services)),
      countdownMs_(std::max(countdownMs, kCountdownSteps)),
      timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("signalWindow"));
    setWindowTitle(QStringLiteral("紧急与演练"));
    timer_->setObjectName(QStringLiteral("signalCountdownTimer"));
    connect(timer_, &QTimer::timeout, this, [this] { Tick(); });

    planBox_ = new QWidget(this);
    planBox_->setObjectName(QStringLiteral("signalPlans"));

    runningLine_ = new QLabel(this);
    runningLine_->setObjectName(QStringLiteral("signalRunning"));
    runningLine_->setStyleSheet(QStringLiteral("color: #b71c1c; font-weight: bold;"));
    runningLine_->setWordWrap(true);
    runningLine_->hide();

    countdownBox_ = new QWidget(this);
    countdownBox_->setObjectName(QStringLiteral("signalCountdownBox"));
    countdownCaption_ = new QLabel(countdownBox_);
    countdownCaption_->setObjectName(QStringLiteral("signalCountdownCaption"));
    countdownCaption_->setAlignment(Qt::AlignCenter);
    countdown_ = new QLabel(countdownBox_);
    countdown_->setObjectName(QStringLiteral("signalCountdown"));
    countdown_->setAlignment(Qt::AlignCenter);
    Enlarge(countdown_, 5.0, true);
    countdown_->setStyleSheet(QStringLiteral("color: #b71c1c;"));
    cancel_ = new QPushButton(QStringLiteral("取消"), countdownBox_);
    cancel_->setObjectName(QStringLiteral("signalCancel"));
    cancel_->setMinimumHeight(40);
    Enlarge(cancel_, 1.3, true);
    connect(cancel_, &QPushButton::clicked, this, [this] { CancelClick(); });
    auto* countdownColumn = new QVBoxLayout(countdownBox_);
    countdownColumn->addWidget(countdownCaption_);
    countdownColumn->addWidget(countdown_);
    countdownColumn->addWidget(cancel_);
    countdownBox_->hide();

    auto* records = new QPushButton(QStringLiteral("演练记录"), this);
    records->setObjectName(QStringLiteral("signalRecords"));
    connect(records, &QPushButton::clicked, this, [this] { RecordsClick(); });
    auto* close = new QPushButton(QStringLiteral("关闭"), this);
    close->setObjectName(QStringLiteral("signalClose"));
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    // Enter must never start a signal: no button is a default.
    records->setAutoDefault(false);
    close->setAutoDefault(false);
    cancel_->setAutoDefault(false);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(records);
    bottom->addStretch(1);
    bottom->addWidget(close);
    auto* column = new QVBoxLayout(this);
    column->addWidget(planBox_);
    column->addWidget(runningLine_);
    column->addWidget(countdownBox_);
    column->addLayout(bottom);
    setMinimumWidth(420);

    plans_ = std::move(plans);
    BuildPlans();
}

SignalWindow::~SignalWindow() { timer_->stop(); }

void SignalWindow::SetPlans(std::vector<DrillSignal> plans) {
    StopCountdown();
    plans_ = std::move(plans);
    BuildPlans();
}

void SignalWindow::BuildPlans() {
    buttons_.clear();
    qDeleteAll(planBox_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly));
    delete planBox_->layout();
    auto* grid = new QGridLayout(planBox_);
    grid->setSpacing(10);
    for (std::size_t i = 0; i < plans_.size(); ++i) {
        const DrillSignal& plan = plans_[i];
        auto* button = new QPushButton(Q(plan.name), planBox_);
        button->setObjectName(QStringLiteral("signal_%1").arg(i));
        button->setAutoDefault(false);
        button->setMinimumSize(180, 64);
        Enlarge(button, 1.4, true);
        const bool emergency = plan.kind == DrillKind::Emergency;
        button->setToolTip(QStringLiteral("%1：%2").arg(QString::fromUtf8(DrillKindText(plan.kind)), Q(plan.name)));
        button->setStyleSheet(
            emergency ? QStringLiteral("QPushButton { background-color: #c62828; color: white; border: 2px solid "
                                       "#8e0000; border-radius: 6px; }"
                                       "QPushButton:disabled { background-color: #d9a3a3; color: #f5e6e6; }")
                      : QStringLiteral("QPushButton { background-color: #e3ecf7; color: #17375e; border: 2px solid "
                                       "#7f9cc0; border-radius: 6px; }"
                                       "QPushButton:disabled { color: #9aa9bb; }"));
        connect(button, &QPushButton::clicked, this, [this, i] { PlanClick(i); });
        grid->addWidget(button, static_cast<int>(i / 2), static_cast<int>(i % 2));
        buttons_.push_back(button);
    }
    if (plans_.empty()) {
        auto* none = new QLabel(QStringLiteral("没有可用的预案"), planBox_);
        none->setObjectName(QStringLiteral("signalNoPlans"));
        grid->addWidget(none, 0, 0);
    }
    UpdateEnabled();
}

void SignalWindow::PlanClick(std::size_t index) {
    if (index >= plans_.size() || running_ || countingDown()) return;
    const std::string name = plans_[index].name;
    const MessageRequest ask{"确定要开始「" + name + "」吗？", "紧急与演练", MessageIcon::Question,
                             MessageButtons::OkCancel, 0};
    const QPointer<SignalWindow> self(this);
    const MessageAnswer answer = s_.dialogs.Message(ask);
    // The box runs its own event loop: the window may be gone, or a signal begun elsewhere, by now.
    if (!self || answer != MessageAnswer::Ok || running_ || countingDown()) return;
    pending_ = name;
    ticksLeft_ = kCountdownSteps;
    countdownCaption_->setText(QStringLiteral("即将开始「%1」").arg(Q(name)));
    countdown_->setText(QString::number(ticksLeft_));
    countdownBox_->show();
    UpdateEnabled();
    timer_->start(countdownMs_ / kCountdownSteps);
    cancel_->setFocus();
}

void SignalWindow::Tick() {
    if (!countingDown()) return;
    if (--ticksLeft_ > 0) {
        countdown_->setText(QString::number(ticksLeft_));
        return;
    }
    const std::string name = pending_;
    StopCountdown();
    if (s_.start) s_.start(name);
}

void SignalWindow::CancelClick() { StopCountdown(); }

void SignalWindow::StopCountdown() {
    timer_->stop();
    pending_.clear();
    ticksLeft_ = 0;
    countdownBox_->hide();
    UpdateEnabled();
}

void SignalWindow::hideEvent(QHideEvent* event) {
    // A countdown nobody sees could not be taken back: closing the window cancels it.
    StopCountdown();
    QDialog::hideEvent(event);
}

void SignalWindow::ShowState(const SignalView& view) {
    running_ = view.running;
    if (running_ && countingDown()) StopCountdown();  // one began elsewhere; ours would be refused
    runningLine_->setText(running_ ? QStringLiteral("正在进行：") + Describe(view) : QString());
    runningLine_->setVisible(running_);
    UpdateEnabled();
}

void SignalWindow::UpdateEnabled() {
    const bool free = !running_ && !countingDown();
    for (QPushButton* button : buttons_) button->setEnabled(free);
}

void SignalWindow::RecordsClick() {
    if (records_ == nullptr) {
        records_ = new SignalRecordsWindow(s_.appFolder, s_.dialogs, this);
        records_->setAttribute(Qt::WA_DeleteOnClose);
    } else {
        records_->Reload();
    }
    records_->show();
    records_->raise();
    records_->activateWindow();
}

SignalPanel::SignalPanel(Hooks hooks, Now now, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      hooks_(std::move(hooks)),
      now_(now ? std::move(now) : Now([] { return std::chrono::steady_clock::now(); })),
      timer_(new QTimer(this)) {
    setObjectName(QStringLiteral("signalPanel"));
    setWindowTitle(QStringLiteral("紧急与演练"));
    setAttribute(Qt::WA_StyledBackground);
    setStyleSheet(QStringLiteral("#signalPanel { background-color: #fff7f2; border: 2px solid #c62828; }"));
    timer_->setObjectName(QStringLiteral("signalElapsedTimer"));
    connect(timer_, &QTimer::timeout, this, [this] { UpdateElapsed(); });

    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("signalTitle"));
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("signalLabel"));
    label_->setWordWrap(true);
    Enlarge(label_, 1.6, true);
    elapsed_ = new QLabel(QStringLiteral("00:00"), this);
    elapsed_->setObjectName(QStringLiteral("signalElapsed"));
    elapsed_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    elapsed_->setStyleSheet(QStringLiteral("color: #c62828;"));
    Enlarge(elapsed_, 2.6, true);
    problem_ = new QLabel(this);
    problem_->setObjectName(QStringLiteral("signalProblem"));
    problem_->setStyleSheet(QStringLiteral("color: #c62828;"));
    problem_->setWordWrap(true);
    problem_->hide();
    next_ = new QPushButton(QStringLiteral("下一步"), this);
    next_->setObjectName(QStringLiteral("signalNext"));
    end_ = new QPushButton(QStringLiteral("结束"), this);
    end_->setObjectName(QStringLiteral("signalEnd"));
    connect(next_, &QPushButton::clicked, this, [this] {
        if (hooks_.next) hooks_.next();
    });
    connect(end_, &QPushButton::clicked, this, [this] {
        if (hooks_.end) hooks_.end();
    });

    auto* top = new QHBoxLayout;
    top->addWidget(label_, 1);
    top->addWidget(elapsed_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(next_);
    buttons->addWidget(end_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 8, 10, 8);
    column->setSpacing(4);
    column->addWidget(title_);
    column->addLayout(top);
    column->addWidget(problem_);
    column->addLayout(buttons);
    setMinimumWidth(300);
    hide();
}

void SignalPanel::ShowState(const SignalView& view) {
    view_ = view;
    if (!view.running) {
        timer_->stop();
        hide();
        return;
    }
    QString title = QStringLiteral("【%1】%2").arg(QString::fromUtf8(DrillKindText(view.kind)), Q(view.signal));
    if (view.ending) {
        title += QStringLiteral(" · 正在解除");
    } else if (view.steps > 0) {
        title += QStringLiteral(" · 第%1/%2步").arg(view.step).arg(view.steps);
    }
    title_->setText(title);
    label_->setText(Q(view.label.empty() ? view.signal : view.label));
    problem_->setText(Q(view.problem));
    problem_->setVisible(!view.problem.empty());
    next_->setEnabled(view.waitsForNext && !view.ending);
    // During the all-clear a second 结束 silences it at once.
    end_->setText(view.ending ? QStringLiteral("立即停止") : QStringLiteral("结束"));
    UpdateElapsed();
    if (!timer_->isActive()) timer_->start(1000);
    adjustSize();
    if (!isVisible()) show();
}

void SignalPanel::UpdateElapsed() {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now_() - view_.started);
    elapsed_->setText(ElapsedText(elapsed));
}

QString SignalPanel::ElapsedText(std::chrono::milliseconds elapsed) {
    const long long seconds = std::max<long long>(0, elapsed.count() / 1000);
    return QStringLiteral("%1:%2")
        .arg(seconds / 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void SignalPanel::Place(const QRect& clockGeometry) {
    adjustSize();
    const QScreen* screen = QGuiApplication::screenAt(clockGeometry.center());
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    constexpr int kGap = 4;
    int x = clockGeometry.center().x() - width() / 2;
    int y = clockGeometry.bottom() + 1 + kGap;
    // No room below (a clock at the screen's foot): above it instead.
    if (y + height() > area.bottom() + 1) y = clockGeometry.top() - kGap - height();
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - width()));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - height()));
    move(x, y);
}

}  // namespace lingchao
