// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

class MakeHtmlProcess;
class QThread;

// Runs one action of a MakeHtmlProcess on a thread of its own, so that the thread that
// started it stays free to paint and to take input. What the run reports reaches the starting
// thread gathered: the log lines logged since the last delivery in one linesLogged, the latest
// progress in one progressed, and at the end the rest and finished. A report is delivered at
// once when the last delivery is 20 ms old, else by a 20 ms timer on the starting thread: a run
// logging a line for every one of many thousands of files wakes that thread 50 times a second,
// not thousands.
//
// The process is made on the run's thread and lives only there. What the action touches
// (the definition, the connection) belongs to the run until finished: the starting thread
// must leave it alone meanwhile.
class ProcessThread : public QObject
{
    Q_OBJECT

public:
    using Action = std::function<bool(MakeHtmlProcess &)>;

    explicit ProcessThread(QObject *parent = nullptr);
    // Waits for a run still going.
    ~ProcessThread() override;

    // One run at a time; an exception out of the action ends it with its text as a log line.
    // The core's messages during the run are log lines too: a message box for every file
    // skipped would stop a run over thousands.
    void start(Action action);
    bool isRunning() const { return m_thread != nullptr; }
    // Ends the run at the next file, as a fault would; finished follows.
    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }

signals:
    void linesLogged(const QStringList &lines);
    // maximum 0: busy, no count known.
    void progressed(qint64 value, qint64 maximum);
    void finished(bool ok);

private:
    void relayLine(const QString &line);
    void relayProgress(qint64 value, qint64 maximum);
    void postDeliveryLocked();
    void deliver();
    void end();

    std::unique_ptr<QThread> m_thread;
    QTimer m_gathered; // on the starting thread
    QMutex m_mutex;
    QStringList m_lines;
    qint64 m_value = 0;
    qint64 m_maximum = 0;
    bool m_progressChanged = false;
    bool m_deliveryPosted = false;
    QElapsedTimer m_sinceDelivery;
    bool m_ok = false;
    std::atomic_bool m_stop = false;
};
