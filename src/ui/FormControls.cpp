// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormControls.h"

#include "Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace FormControls {

QGroupBox *group(QWidget *parent, const char *name, const QString &caption, int left, int top,
                 int width, int height)
{
    auto *box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    setCaptionOnFrameLine(box);
    Twips::place(box, left, top, width, height);
    return box;
}

QWidget *container(QWidget *parent, const char *name, int left, int top, int width, int height)
{
    auto *box = new QWidget(parent);
    box->setObjectName(QString::fromLatin1(name));
    Twips::place(box, left, top, width, height);
    return box;
}

QLabel *label(QWidget *parent, const QString &name, const QString &caption, int left, int top,
              int width, int height)
{
    auto *l = new QLabel(caption, parent);
    l->setObjectName(name);
    Twips::place(l, left, top, width, height);
    // A Japanese font wider than the designed one must not cut the caption off.
    if (l->sizeHint().width() > l->width())
        l->resize(l->sizeHint().width(), l->height());
    return l;
}

QLineEdit *textBox(QWidget *parent, const char *name, const QString &tip, bool readOnly, int left,
                   int top, int width, int height)
{
    auto *t = new QLineEdit(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setToolTip(tip);
    t->setReadOnly(readOnly);
    Twips::place(t, left, top, width, height);
    return t;
}

QPushButton *button(QWidget *parent, const char *name, const QString &caption, const QString &tip,
                    int left, int top, int width, int height)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(tip);
    b->setAutoDefault(false);
    Twips::place(b, left, top, width, height);
    return b;
}

QRadioButton *option(QWidget *parent, const QString &name, const QString &caption,
                     const QString &tip, int left, int top, int width, int height)
{
    auto *o = new QRadioButton(caption, parent);
    o->setObjectName(name);
    o->setToolTip(tip);
    // Each pair is exclusive through a button group, which also allows "none chosen"
    // until loading selects one.
    o->setAutoExclusive(false);
    Twips::place(o, left, top, width, height);
    return o;
}

QComboBox *combo(QWidget *parent, const char *name, const QString &tip, int left, int top,
                 int width, int height)
{
    auto *c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setToolTip(tip);
    c->setEditable(false);
    Twips::place(c, left, top, width, height);
    return c;
}

QCheckBox *check(QWidget *parent, const char *name, const QString &caption, const QString &tip,
                 int left, int top, int width, int height)
{
    auto *c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setToolTip(tip);
    Twips::place(c, left, top, width, height);
    return c;
}

void setCaptionOnFrameLine(QGroupBox *box)
{
    box->setStyleSheet(u"QGroupBox { border: 1px solid palette(mid); border-radius: 2px;"
                       u" margin-top: 0.5em; }"
                       u" QGroupBox::title { subcontrol-origin: margin; left: 6px;"
                       u" padding: 0 2px; }"_qs);
}

void setCloseButtonOnly(QWidget *window)
{
    window->setWindowFlags((window->windowFlags() & Qt::WindowType_Mask) | Qt::CustomizeWindowHint |
                           Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint);
}

void setBoxColour(QWidget *box, bool enabled)
{
    QPalette palette = box->palette();
    const QPalette system = QApplication::palette(box);
    const QColor colour = enabled ? system.color(QPalette::Base) : system.color(QPalette::Button);
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, colour);
    box->setPalette(palette);
}

} // namespace FormControls
