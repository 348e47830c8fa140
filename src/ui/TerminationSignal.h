// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGINT (the session ending, a kill, Ctrl+C in a terminal) reach the event loop as
// a signal of their own, so that the windows can close as the user would close them and keep
// what they keep on closing. One instance, made after the application object.
class TerminationSignal : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignal(QObject *parent = nullptr);
    ~TerminationSignal() override;

signals:
    void received();

private:
    QSocketNotifier *m_notifier = nullptr;
};
