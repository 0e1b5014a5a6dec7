#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "base/warning_board.h"

class QLabel;
class QMenu;

namespace lingchao {

// The floating clock (Form1): weekday and time on a small picture, dragged with the left button,
// double-clicked for the main window, right-clicked for its menu.
class ClockWindow final : public QWidget {
    Q_OBJECT
public:
    // Pointer buttons as the handlers number them.
    static constexpr int kLeftButton = 1;
    static constexpr int kRightButton = 2;
    static constexpr int kMiddleButton = 4;

    struct Hooks {
        std::function<void()> showMainWindow;
    };

    explicit ClockWindow(Hooks hooks, QWidget* parent = nullptr);

    // The menu popped up by the right button (owned elsewhere; may be null).
    void SetPopupMenu(QMenu* menu) { wenjian_ = menu; }

    // Label1 (time, "8:05") and Label2 (weekday code, "MON").
    void ShowClock(const std::string& time, const std::string& weekdayCode);
    // A small warning mark on the face, with `text` as the clock's tooltip; "" clears both. The mark is red for
    // an urgent warning, amber when all is advice: an unsynchronised clock must not hide a bell that fails.
    void ShowProblems(const std::string& text, WarningLevel level = WarningLevel::Urgent);
    bool problemShown() const;
    WarningLevel problemLevel() const { return level_; }
    // Today's and tomorrow's plan, added to the tooltip; a band on the face's top edge while today-only changes
    // (`todayChanges`, also in the tooltip) are in force.
    void ShowPlan(const std::string& plan, const std::string& todayChanges);
    bool todayChangeShown() const;

    // Pointer handlers of Image1; x and y in twips within the clock.
    void Form1_Image1_MouseDown(int button, int x, int y);
    void Form1_Image1_MouseMove(int button, int x, int y);
    void Form1_Image1_MouseUp(int button, int x, int y);
    void Form1_Image1_DblClick();

    bool dragging() const { return dragging_; }
    // Design position and size in pixels on the primary screen, for the DPI in use.
    static QRect DesignGeometry(double logicalDpi);
    // The clock's background picture at the given size in device-independent pixels.
    static QPixmap PaintFace(QSize size, qreal devicePixelRatio);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int PixelsToTwips(double pixels) const;
    void UpdateToolTip();

    Hooks hooks_;
    double dpi_ = 96.0;
    QLabel* image2_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QWidget* image1_ = nullptr;
    QLabel* warningMark_ = nullptr;
    QLabel* todayMark_ = nullptr;
    std::string problems_;
    WarningLevel level_ = WarningLevel::None;
    int markSize_ = 0;
    std::string plan_;
    QMenu* wenjian_ = nullptr;
    bool dragging_ = false;
    int grabX_ = 0;
    int grabY_ = 0;
};

}  // namespace lingchao
