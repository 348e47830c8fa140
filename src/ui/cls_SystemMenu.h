// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

// Turns a choice in the window menu into the Click event of the window that owns the entry.
class cls_SystemMenu : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    void SetClickEvent(int Index) { emit Click(Index); }

signals:
    void Click(int Index);
};
