#include "ui/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace lingchao {

int TwipsToPixels(int twips, double logicalDpi) {
    return static_cast<int>(std::lround(twips / 15.0 * logicalDpi / 96.0));
}

QRect TwipsRect(int left, int top, int width, int height, double logicalDpi) {
    return {TwipsToPixels(left, logicalDpi), TwipsToPixels(top, logicalDpi), TwipsToPixels(width, logicalDpi),
            TwipsToPixels(height, logicalDpi)};
}

double LogicalDpiOf(const QWidget* widget) {
    const QScreen* screen = widget != nullptr ? widget->screen() : QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
}

}  // namespace lingchao
