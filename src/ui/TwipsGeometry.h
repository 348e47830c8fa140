#pragma once

#include <QRect>
#include <QSize>

class QWidget;

// Window layouts are designed in twips (1/1440 inch): 15 twips to a pixel at 96 DPI, more
// pixels on a screen of a higher logical DPI.
namespace TwipsGeometry {

int toPixels(int twips, const QWidget *widget = nullptr);
QRect rect(int left, int top, int width, int height, const QWidget *widget = nullptr);
QSize size(int width, int height, const QWidget *widget = nullptr);
// Places widget at the twips position inside its parent.
void place(QWidget *widget, int left, int top, int width, int height);

} // namespace TwipsGeometry
