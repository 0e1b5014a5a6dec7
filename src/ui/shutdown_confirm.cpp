#include "ui/shutdown_confirm.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/twips.h"

namespace lingchao {

QtCountdownTimer::QtCountdownTimer(QObject* owner) : timer_(new QTimer(owner)) {
    timer_->setObjectName(QStringLiteral("Timer1"));
}

QtCountdownTimer::~QtCountdownTimer() { delete timer_; }

void QtCountdownTimer::Start(int intervalMs, std::function<void()> tick) {
    timer_->disconnect();
    QObject::connect(timer_, &QTimer::timeout, timer_, std::move(tick));
    timer_->start(intervalMs);
}

void QtCountdownTimer::Stop() { timer_->stop(); }

QPixmap PowerSymbolPixmap(int size, qreal devicePixelRatio) {
    const int px = std::max(1, qRound(size * devicePixelRatio));
    QPixmap pixmap(px, px);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = px;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(190, 30, 30));
    p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
    QPen pen(Qt::white, s * 0.1, Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    const QRectF ring(s * 0.27, s * 0.29, s * 0.46, s * 0.46);
    // Qt angles are in 1/16 degree from 3 o'clock, counter-clockwise; leave a gap at the top for the bar.
    p.drawArc(ring, 120 * 16, 300 * 16);
    p.drawLine(QPointF(s * 0.5, s * 0.2), QPointF(s * 0.5, s * 0.5));
    p.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

ShutdownConfirm::ShutdownConfirm(std::function<void()> shutdownSequence, std::unique_ptr<CountdownTimer> timer,
                                 QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      shutdown_(std::move(shutdownSequence)),
      timer_(timer ? std::move(timer) : std::make_unique<QtCountdownTimer>(this)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("SHUTDOWN"));
    setModal(true);

    const double dpi = LogicalDpiOf(parent);
    const int imageSide = TwipsToPixels(420, dpi);
    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image1"));
    image_->setFixedSize(imageSide, imageSide);
    image_->setPixmap(PowerSymbolPixmap(imageSide, devicePixelRatioF()));

    auto* label = new QLabel(QStringLiteral("是否关闭计算机？"), this);
    label->setObjectName(QStringLiteral("Label1"));

    // Created first so that it comes first in the tab order.
    no_ = new QPushButton(QStringLiteral("&NO"), this);
    no_->setObjectName(QStringLiteral("Command1_1"));
    yes_ = new QPushButton(QStringLiteral("&YES(10)"), this);
    yes_->setObjectName(QStringLiteral("Command1_0"));
    // NO holds the focus and is the default, so Enter right after opening refuses.
    no_->setDefault(true);
    yes_->setAutoDefault(true);
    connect(yes_, &QPushButton::clicked, this, [this] { Command1_Click(0); });
    connect(no_, &QPushButton::clicked, this, [this] { Command1_Click(1); });

    auto* top = new QHBoxLayout;
    top->setSpacing(TwipsToPixels(240, dpi));
    top->addWidget(image_);
    top->addWidget(label, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(yes_);
    bottom->addStretch(1);
    bottom->addWidget(no_);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(TwipsToPixels(360, dpi), TwipsToPixels(300, dpi), TwipsToPixels(360, dpi),
                               TwipsToPixels(240, dpi));
    column->setSpacing(TwipsToPixels(300, dpi));
    column->addLayout(top);
    column->addLayout(bottom);
    setMinimumWidth(TwipsToPixels(4200, dpi));
    setFixedSize(sizeHint().expandedTo(minimumSize()));
    no_->setFocus();

    timer_->Start(1000, [this] { Timer1_Timer(); });
}

ShutdownConfirm::~ShutdownConfirm() {
    if (timer_) timer_->Stop();
}

void ShutdownConfirm::showEvent(QShowEvent* event) {
    // Centred on the screen, not over the window that opened it.
    const QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) move(screen->availableGeometry().center() - rect().center());
    QDialog::showEvent(event);
    no_->setFocus();
}

void ShutdownConfirm::Timer1_Timer() {
    if (shuttingDown_) return;
    if (countdown_ < 1) {
        Shutdown();
        return;
    }
    --countdown_;
    yes_->setText(QStringLiteral("YES(%1)").arg(countdown_));
}

void ShutdownConfirm::Command1_Click(int index) {
    if (index == 0) {
        Shutdown();
    } else {
        reject();
    }
}

void ShutdownConfirm::Shutdown() {
    if (shuttingDown_) return;
    shuttingDown_ = true;
    timer_->Stop();
    yes_->setEnabled(false);
    no_->setEnabled(false);
    QPointer<ShutdownConfirm> self(this);
    if (shutdown_) shutdown_();
    // Back here only when the program goes on (a refused request, or an end that is queued).
    if (self) done(kShutdownRequested);
}

ShutdownConfirmHost::ShutdownConfirmHost(std::function<void()> shutdownSequence, TimerFactory timers)
    : shutdown_(std::move(shutdownSequence)), timers_(std::move(timers)) {}

void ShutdownConfirmHost::ConfirmShutdown() {
    if (open_ != nullptr) return;
    // Above whatever modal window is up (e.g. the settings dialog), so it is not hidden behind it.
    QPointer<ShutdownConfirm> dialog =
        new ShutdownConfirm(shutdown_, timers_ ? timers_() : nullptr, QApplication::activeModalWidget());
    open_ = dialog;
    ++openings_;
    dialog->exec();
    open_ = nullptr;
    delete dialog.data();
}

}  // namespace lingchao
