#pragma once

#include <QRect>

class QWidget;

namespace lingchao {

// Forms are laid out in twips: 15 twips per pixel at 96 dpi, scaled with the screen's logical DPI.
int TwipsToPixels(int twips, double logicalDpi = 96.0);
QRect TwipsRect(int left, int top, int width, int height, double logicalDpi = 96.0);
// The logical DPI of the screen the widget is on (96 when unknown).
double LogicalDpiOf(const QWidget* widget);

}  // namespace lingchao
