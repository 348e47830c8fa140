// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// The controls of the designed windows, each named and placed as the design has it: left,
// top, width and height in twips, relative to the parent.
namespace FormControls {

// A group box whose caption sits on its top line.
QGroupBox *group(QWidget *parent, const char *name, const QString &caption, int left, int top,
                 int width, int height);
// A borderless, captionless container.
QWidget *container(QWidget *parent, const char *name, int left, int top, int width, int height);
QLabel *label(QWidget *parent, const QString &name, const QString &caption, int left, int top,
              int width, int height);
QLineEdit *textBox(QWidget *parent, const char *name, const QString &tip, bool readOnly, int left,
                   int top, int width, int height);
QPushButton *button(QWidget *parent, const char *name, const QString &caption, const QString &tip,
                    int left, int top, int width, int height);
QRadioButton *option(QWidget *parent, const QString &name, const QString &caption,
                     const QString &tip, int left, int top, int width, int height);
QComboBox *combo(QWidget *parent, const char *name, const QString &tip, int left, int top,
                 int width, int height);
QCheckBox *check(QWidget *parent, const char *name, const QString &caption, const QString &tip,
                 int left, int top, int width, int height);

// The caption on the top line of the frame, as the designs place the controls below it; the
// usual style puts the caption above the frame instead.
void setCaptionOnFrameLine(QGroupBox *box);
// A window of fixed size: a title bar with the close button only.
void setCloseButtonOnly(QWidget *window);

// Enabled boxes have the window colour, disabled ones the colour of a button face.
void setBoxColour(QWidget *box, bool enabled);
} // namespace FormControls
