#include "ui/clock_window.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <cmath>

#include "base/log.h"
#include "base/text.h"
#include "ui/twips.h"

namespace lingchao {
namespace {

constexpr int kLeftTwips = 3372;
constexpr int kTopTwips = 1500;
constexpr int kSizeTwips = 600;

int ButtonNumber(Qt::MouseButton button) {
    switch (button) {
        case Qt::LeftButton:
            return ClockWindow::kLeftButton;
        case Qt::RightButton:
            return ClockWindow::kRightButton;
        case Qt::MiddleButton:
            return ClockWindow::kMiddleButton;
        default:
            return 0;
    }
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& place, int pixelSize) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setAlignment(Qt::AlignCenter);
    label->setContentsMargins(0, 0, 0, 0);
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStretch(QFont::SemiCondensed);
    font.setBold(true);
    font.setPixelSize(pixelSize);
    label->setFont(font);
    return label;
}

// Each source's part of the warning (they are separated by a blank line) capped on its own, so that a long one
// cannot push the others out of the tooltip; and the whole, whatever blank lines the parts hold.
std::string CapParts(const std::string& text) {
    std::string out;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find("\n\n", pos);
        if (end == std::string::npos) end = text.size();
        out +=
            (out.empty() ? "" : "\n\n") + CapLines(std::string_view(text).substr(pos, end - pos), kShownProblemLines);
        pos = end + 2;
    }
    return CapLines(out, 3 * kShownProblemLines);
}

// The highest row any weekday code inks in its label, less a pixel's gap: the room left above it.
int InkTop(const QLabel* weekday) {
    const QFontMetrics metrics(weekday->font());
    const int lineTop = weekday->y() + (weekday->height() - metrics.height()) / 2;
    int top = weekday->y() + weekday->height();
    for (const char* code : {"MON", "TUS", "WES", "TRU", "FRI", "SAT", "SUN"})
        top = std::min(top, lineTop + metrics.ascent() + metrics.tightBoundingRect(QString::fromLatin1(code)).top());
    return std::max(0, top - 1);
}

}  // namespace

QRect ClockWindow::DesignGeometry(double logicalDpi) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint origin = screen != nullptr ? screen->geometry().topLeft() : QPoint();
    return TwipsRect(kLeftTwips, kTopTwips, kSizeTwips, kSizeTwips, logicalDpi).translated(origin);
}

QPixmap ClockWindow::PaintFace(QSize size, qreal devicePixelRatio) {
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(QColor(0x1e, 0x4f, 0x96));
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF outer(0, 0, size.width(), size.height());
    const qreal unit = size.width() / 40.0;
    const qreal radius = 7 * unit;

    // A small desk-calendar tile: a pale blue header for the weekday, a white page for the time.
    QPainterPath tile;
    tile.addRoundedRect(outer.adjusted(unit, unit, -unit, -unit), radius - unit, radius - unit);
    QLinearGradient page(0, 0, 0, size.height());
    page.setColorAt(0.0, QColor(0xff, 0xff, 0xff));
    page.setColorAt(1.0, QColor(0xe4, 0xee, 0xfa));
    p.fillPath(tile, page);
    p.save();
    p.setClipPath(tile);
    const qreal headerBottom = 20.5 * unit;
    QLinearGradient header(0, 0, 0, headerBottom);
    header.setColorAt(0.0, QColor(0xc6, 0xdc, 0xf7));
    header.setColorAt(1.0, QColor(0xa9, 0xc9, 0xf0));
    p.fillRect(QRectF(0, 0, size.width(), headerBottom), header);
    p.setPen(QPen(QColor(0x5b, 0x8f, 0xd6), unit * 0.8));
    p.drawLine(QPointF(0, headerBottom), QPointF(size.width(), headerBottom));
    p.restore();
    // Two binding rings on the header's edge, as on a paper calendar.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1e, 0x4f, 0x96));
    for (qreal x : {11.0, 29.0}) p.drawEllipse(QPointF(x * unit, 2.6 * unit), 1.6 * unit, 1.6 * unit);
    p.end();
    return pixmap;
}

ClockWindow::ClockWindow(Hooks hooks, QWidget* parent) : QWidget(parent), hooks_(std::move(hooks)) {
    setObjectName(QStringLiteral("Form1"));
    // The clock is never the active window, yet its warning must explain itself under the pointer.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    dpi_ = LogicalDpiOf(this);
    const QRect design = DesignGeometry(dpi_);
    setFixedSize(design.size());
    move(design.topLeft());

    const QRect whole(QPoint(0, 0), design.size());
    image2_ = new QLabel(this);
    image2_->setObjectName(QStringLiteral("Image2"));
    image2_->setGeometry(whole);
    image2_->setPixmap(PaintFace(design.size(), devicePixelRatioF()));
    const int fontPixels = std::max(8, TwipsToPixels(180, dpi_));
    label2_ = MakeLabel(this, "Label2", QStringLiteral("MON"), TwipsRect(0, 96, 600, 252, dpi_), fontPixels);
    label1_ = MakeLabel(this, "Label1", QStringLiteral("00:00"), TwipsRect(0, 312, 600, 252, dpi_), fontPixels);

    // A bell at risk, or advice: a mark in the corner, explained by the tooltip; its colour set when shown.
    warningMark_ = new QLabel(QStringLiteral("!"), this);
    warningMark_->setObjectName(QStringLiteral("warningMark"));
    markSize_ = std::max(9, design.width() / 3);
    warningMark_->setGeometry(design.width() - markSize_, 0, markSize_, markSize_);
    warningMark_->setAlignment(Qt::AlignCenter);
    warningMark_->hide();

    // Today's bells changed (silenced, skipped, shifted): a purple band on the calendar tile's top edge, above the
    // weekday's ink and left of the warning mark, so that neither text nor warning is ever covered.
    todayMark_ = new QLabel(this);
    todayMark_->setObjectName(QStringLiteral("todayMark"));
    const int bandLeft = std::max(2, design.width() / 20);
    const int bandRight = design.width() - markSize_ - 2;
    todayMark_->setGeometry(bandLeft, 0, bandRight - bandLeft, InkTop(label2_));
    todayMark_->setStyleSheet(QStringLiteral("background-color: #c03ce0; border: 1px solid #5c0a78; "
                                             "border-top: none; border-bottom-left-radius: %1px; "
                                             "border-bottom-right-radius: %1px;")
                                  .arg(todayMark_->height() / 3));
    todayMark_->hide();

    // Image1 lies over everything and takes every pointer event.
    image1_ = new QWidget(this);
    image1_->setObjectName(QStringLiteral("Image1"));
    image1_->setGeometry(whole);
    image1_->setAttribute(Qt::WA_NoSystemBackground);
    image1_->installEventFilter(this);
    image1_->raise();
}

void ClockWindow::ShowClock(const std::string& time, const std::string& weekdayCode) {
    label1_->setText(QString::fromStdString(time));
    label2_->setText(QString::fromStdString(weekdayCode));
}

void ClockWindow::ShowProblems(const std::string& text, WarningLevel level) {
    const WarningLevel before = level_;
    level_ = text.empty() ? WarningLevel::None : std::max(level, WarningLevel::Advice);
    if (level_ != before && level_ != WarningLevel::None) {
        // Red with a white sign for a bell at risk; amber with a dark one for advice (unlike the today band by its
        // place, colour and sign).
        const bool urgent = level_ == WarningLevel::Urgent;
        warningMark_->setStyleSheet(QStringLiteral("background-color: %1; color: %2; font-weight: bold; "
                                                   "border-radius: %3px; font-size: %4px;")
                                        .arg(urgent ? QStringLiteral("#d42020") : QStringLiteral("#f2b600"),
                                             urgent ? QStringLiteral("white") : QStringLiteral("#3a2800"))
                                        .arg(markSize_ / 2)
                                        .arg(markSize_ - 3));
    }
    warningMark_->setVisible(level_ != WarningLevel::None);
    problems_ = CapParts(text);
    UpdateToolTip();
}

bool ClockWindow::problemShown() const { return !warningMark_->isHidden(); }

void ClockWindow::ShowPlan(const std::string& plan, const std::string& todayChanges) {
    todayMark_->setVisible(!todayChanges.empty());
    todayMark_->setToolTip(QString::fromStdString(CapLines(todayChanges, kShownProblemLines)));
    // Today's skipped bells are listed one a line: a calendar can name thousands.
    const std::string shown = CapLines(plan + (todayChanges.empty() ? "" : "\n" + todayChanges), kShownProblemLines);
    // What the clock tells whoever looks is in the log too, once per change: "the clock said no bells today" can
    // be checked afterwards.
    if (shown != plan_) {
        LogLine("clock: tooltip plan: " +
                QString::fromStdString(shown).replace(QChar(u'\n'), QStringLiteral(" | ")).toStdString());
    }
    plan_ = shown;
    UpdateToolTip();
}

bool ClockWindow::todayChangeShown() const { return !todayMark_->isHidden(); }

void ClockWindow::UpdateToolTip() {
    const std::string both = problems_ + (problems_.empty() || plan_.empty() ? "" : "\n\n") + plan_;
    image1_->setToolTip(QString::fromStdString(both));
}

int ClockWindow::PixelsToTwips(double pixels) const {
    return static_cast<int>(std::lround(pixels * 15.0 * 96.0 / dpi_));
}

void ClockWindow::Form1_Image1_MouseDown(int button, int x, int y) {
    if (button != kLeftButton) return;
    dragging_ = true;
    grabX_ = x;
    grabY_ = y;
}

void ClockWindow::Form1_Image1_MouseMove(int, int x, int y) {
    if (!dragging_) return;
    // Nothing keeps the clock on the screen: it may be parked partly or wholly off it.
    move(pos() + QPoint(TwipsToPixels(x - grabX_, dpi_), TwipsToPixels(y - grabY_, dpi_)));
}

void ClockWindow::Form1_Image1_MouseUp(int button, int, int) {
    dragging_ = false;
    if (button == kRightButton && wenjian_ != nullptr) wenjian_->popup(QCursor::pos());
}

void ClockWindow::Form1_Image1_DblClick() {
    if (hooks_.showMainWindow) hooks_.showMainWindow();
}

bool ClockWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != image1_) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseMove:
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            // From the pointer on the screen and where the clock was last moved: the event's own position is
            // relative to where the X server had the window, which lags a drag on a busy machine.
            const QPointF at = image1_->mapFromGlobal(mouse->globalPosition());
            const int x = PixelsToTwips(at.x());
            const int y = PixelsToTwips(at.y());
            const int button = ButtonNumber(mouse->button());
            if (event->type() == QEvent::MouseButtonPress)
                Form1_Image1_MouseDown(button, x, y);
            else if (event->type() == QEvent::MouseMove)
                Form1_Image1_MouseMove(button, x, y);
            else
                Form1_Image1_MouseUp(button, x, y);
            return true;
        }
        case QEvent::MouseButtonDblClick:
            // The second press of a double-click starts no drag.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) Form1_Image1_DblClick();
            return true;
        default:
            return QWidget::eventFilter(watched, event);
    }
}

}  // namespace lingchao
