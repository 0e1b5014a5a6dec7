#include "ui/splash.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QScreen>
#include <QShortcut>
#include <QTimer>

#include "platform/window_hints.h"
#include "ui/twips.h"

namespace lingchao {
namespace {

// A hand bell: crown, flared body, lip, clapper; drawn in a 100 x 100 box.
QPainterPath BellPath() {
    QPainterPath bell;
    bell.moveTo(50, 14);
    bell.cubicTo(30, 14, 26, 34, 25, 52);
    bell.cubicTo(24, 66, 18, 72, 12, 78);
    bell.lineTo(88, 78);
    bell.cubicTo(82, 72, 76, 66, 75, 52);
    bell.cubicTo(74, 34, 70, 14, 50, 14);
    bell.closeSubpath();
    return bell;
}

}  // namespace

QPixmap Splash::PaintPicture(QSize size, qreal devicePixelRatio) {
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();

    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0.0, QColor(0x12, 0x3a, 0x7a));
    sky.setColorAt(1.0, QColor(0x1f, 0x78, 0xb4));
    p.fillRect(QRectF(0, 0, w, h), sky);

    // Sound spreading from the bell like a tide: the name's two halves, bell and tide.
    const qreal s = h / 260.0;
    const QPointF bellCentre(w * 0.27, h * 0.48);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= 3; ++i) {
        QColor ring(0xff, 0xff, 0xff, 100 - 25 * i);
        p.setPen(QPen(ring, 3 * s, Qt::SolidLine, Qt::RoundCap));
        const qreal r = (64 + 15 * i) * s;
        p.drawArc(QRectF(bellCentre.x() - r, bellCentre.y() - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
        p.drawArc(QRectF(bellCentre.x() - r, bellCentre.y() - r, 2 * r, 2 * r), 140 * 16, 80 * 16);
    }

    p.save();
    const qreal bellSize = 150 * s;
    p.translate(bellCentre.x() - bellSize / 2, bellCentre.y() - bellSize / 2);
    p.scale(bellSize / 100.0, bellSize / 100.0);
    p.rotate(-8);
    QRadialGradient gold(QPointF(40, 35), 60);
    gold.setColorAt(0.0, QColor(0xff, 0xf1, 0xa8));
    gold.setColorAt(0.6, QColor(0xf2, 0xb8, 0x2e));
    gold.setColorAt(1.0, QColor(0xb9, 0x7a, 0x10));
    p.setPen(QPen(QColor(0x8a, 0x5a, 0x08), 1.5));
    p.setBrush(QColor(0xb9, 0x7a, 0x10));
    p.drawRoundedRect(QRectF(44, 4, 12, 12), 4, 4);  // handle knob
    p.setBrush(gold);
    p.drawPath(BellPath());
    p.setBrush(QColor(0xd9, 0x96, 0x1c));
    p.drawRoundedRect(QRectF(9, 76, 82, 7), 3.5, 3.5);  // lip
    p.setBrush(QColor(0x8a, 0x5a, 0x08));
    p.drawEllipse(QPointF(50, 88), 7, 7);  // clapper
    p.restore();

    QFont title(QStringLiteral("WenQuanYi Micro Hei"));
    title.setPixelSize(static_cast<int>(84 * s));
    title.setBold(true);
    p.setFont(title);
    const QRectF textBox(w * 0.50, h * 0.22, w * 0.46, h * 0.46);
    p.setPen(QColor(0, 0, 0, 70));
    p.drawText(textBox.translated(3 * s, 3 * s), Qt::AlignCenter, QStringLiteral("铃潮"));
    p.setPen(Qt::white);
    p.drawText(textBox, Qt::AlignCenter, QStringLiteral("铃潮"));

    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(static_cast<int>(15 * s));
    p.setFont(small);
    p.setPen(QColor(0xdd, 0xea, 0xff));
    p.drawText(QRectF(w * 0.50, h * 0.66, w * 0.46, h * 0.12), Qt::AlignCenter, QStringLiteral("Lingchao 4.0"));
    p.end();
    return pixmap;
}

Splash::Splash(std::function<void()> handOver, QWidget* parent) : QWidget(parent), handOver_(std::move(handOver)) {
    setObjectName(QStringLiteral("Form7"));
    setWindowTitle(QStringLiteral("铃潮"));
    // A caption without a close box; closing it some other way still hands over.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    const double dpi = LogicalDpiOf(this);
    setFixedSize(TwipsToPixels(6300, dpi), TwipsToPixels(3900, dpi));
    picture_ = PaintPicture(size(), devicePixelRatioF());

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(8000);
    timer1_->setSingleShot(true);
    connect(timer1_, &QTimer::timeout, this, [this] {
        // The picture is on screen for its whole 8 s: a start held up before its first paint (a slow disk, a busy
        // machine) would otherwise close it unseen. Not for ever: a display that never paints it gets the clock.
        if (!painted_ && ++unpaintedWaits_ < kMaxUnpaintedWaits) {
            timer1_->start();
            return;
        }
        Form7_Form_Click();
    });

    // The cancel button lies outside the visible area: it is there for Esc.
    command1_ = new QPushButton(QStringLiteral("Command1"), this);
    command1_->setObjectName(QStringLiteral("Command1"));
    command1_->setGeometry(-200, -200, 80, 30);
    command1_->setFocusPolicy(Qt::NoFocus);
    connect(command1_, &QPushButton::clicked, this, &Splash::Form7_Command1_Click);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, command1_, &QPushButton::click);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void Splash::Load() {
    SkipTaskbarAndPager(*this);
    timer1_->start();
}

void Splash::Form7_Form_Click() {
    if (handedOver_) return;
    handedOver_ = true;
    timer1_->stop();
    if (handOver_) handOver_();
    close();
}

void Splash::Form7_Command1_Click() { Form7_Form_Click(); }

void Splash::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window manager need not give a new window the keyboard (openbox does not): without asking, Esc goes nowhere.
    activateWindow();
}

void Splash::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawPixmap(0, 0, picture_);
    if (!painted_) {
        painted_ = true;
        if (timer1_->isActive()) timer1_->start();  // its 8 s count from now
    }
}

void Splash::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Form7_Form_Click();
}

void Splash::closeEvent(QCloseEvent* event) {
    Form7_Form_Click();  // a splash closed by the window manager still leads to the clock
    event->accept();
}

}  // namespace lingchao
