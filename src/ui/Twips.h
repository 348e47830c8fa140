// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QRect;
class QWidget;

// Window layouts are designed in twips: 1440 to the inch, so 15 to a pixel at 96 DPI. The
// pixel figure follows the screen's logical DPI.
class Twips
{
public:
    // The logical DPI of the widget's screen (of the primary screen without a widget).
    static double dpi(const QWidget *widget);
    static int toPixels(int twips, const QWidget *widget);
    static int fromPixels(int pixels, const QWidget *widget);
    // Left, top, width and height in twips, relative to the widget's parent.
    static void place(QWidget *widget, int left, int top, int width, int height);
    static void move(QWidget *widget, int left, int top);
};
