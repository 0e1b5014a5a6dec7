#include "ui/window_placement.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QWidget>

namespace lingchao {
namespace {

// Moves the window before QDialog places it over its parent: a moved window keeps its place.
class CentreWhenOpenerHidden final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show || event->spontaneous()) return false;
        auto* window = static_cast<QWidget*>(watched);
        const QWidget* opener = window->parentWidget() != nullptr ? window->parentWidget()->window() : nullptr;
        if (opener != nullptr && opener->isVisible()) return false;
        const QScreen* screen = opener != nullptr ? opener->screen() : QGuiApplication::primaryScreen();
        if (screen == nullptr) return false;
        window->move(screen->availableGeometry().center() - QPoint(window->width() / 2, window->height() / 2));
        return false;
    }
};

}  // namespace

void OpenOverOpener(QWidget* window) {
    window->setWindowModality(Qt::WindowModal);
    window->installEventFilter(new CentreWhenOpenerHidden(window));
}

QWidget* VisibleOpener(QWidget* origin) {
    QWidget* top = origin != nullptr ? origin->window() : nullptr;
    return top != nullptr && top->isVisible() ? top : nullptr;
}

QAction* ItemBefore(QMenu* menu, const QString& objectName) {
    const auto actions = menu->actions();
    for (qsizetype i = 1; i < actions.size(); ++i) {
        if (actions[i]->objectName() == objectName) return actions[i - 1];
    }
    return nullptr;
}

}  // namespace lingchao
