// SPDX-License-Identifier: GPL-3.0-or-later
#include "Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <cmath>

double Twips::dpi(const QWidget *widget)
{
    if (widget)
        return widget->logicalDpiY();
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

int Twips::toPixels(int twips, const QWidget *widget)
{
    return int(std::lround(twips * dpi(widget) / 1440.0));
}

int Twips::fromPixels(int pixels, const QWidget *widget)
{
    return int(std::lround(pixels * 1440.0 / dpi(widget)));
}

void Twips::place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(toPixels(left, widget), toPixels(top, widget), toPixels(width, widget),
                        toPixels(height, widget));
}

void Twips::move(QWidget *widget, int left, int top)
{
    widget->move(toPixels(left, widget), toPixels(top, widget));
}
