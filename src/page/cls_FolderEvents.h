// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// The relay through which every folder of a tree announces its progress to the run.
class cls_FolderEvents : public QObject
{
    Q_OBJECT

public:
    void raiseGetData(const QString &MsgString) { emit GetData(MsgString); }
    void raiseGetHtmlCode(const QString &MsgString) { emit GetHtmlCode(MsgString); }

signals:
    void GetData(const QString &MsgString);
    void GetHtmlCode(const QString &MsgString);
};
