#pragma once

#include <QWidget>
#include <functional>

class QPushButton;
class QTimer;

namespace lingchao {

// Form7: the start-up picture. It hands over to the clock on the first of its 8 s timer, a click or Esc.
class Splash final : public QWidget {
    Q_OBJECT
public:
    explicit Splash(std::function<void()> handOver, QWidget* parent = nullptr);

    // Starts Timer1; call once, before showing.
    void Load();

    void Form7_Form_Click();
    void Form7_Command1_Click();

    bool handedOver() const { return handedOver_; }
    // The splash picture at the given size in device-independent pixels.
    static QPixmap PaintPicture(QSize size, qreal devicePixelRatio);

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    std::function<void()> handOver_;
    QTimer* timer1_ = nullptr;
    static constexpr int kMaxUnpaintedWaits = 3;
    bool painted_ = false;
    int unpaintedWaits_ = 0;
    QPushButton* command1_ = nullptr;
    QPixmap picture_;
    bool handedOver_ = false;
};

}  // namespace lingchao
