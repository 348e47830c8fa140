#include "TwipsGeometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace TwipsGeometry {

namespace {

double logicalDpi(const QWidget *widget)
{
    const QScreen *screen = widget ? widget->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

} // namespace

int toPixels(int twips, const QWidget *widget)
{
    return int(std::lround(twips * logicalDpi(widget) / 1440.0));
}

QRect rect(int left, int top, int width, int height, const QWidget *widget)
{
    return QRect(toPixels(left, widget), toPixels(top, widget), toPixels(width, widget),
                 toPixels(height, widget));
}

QSize size(int width, int height, const QWidget *widget)
{
    return QSize(toPixels(width, widget), toPixels(height, widget));
}

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(rect(left, top, width, height, widget));
}

} // namespace TwipsGeometry
