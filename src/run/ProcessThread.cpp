// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessThread.h"

#include "MakeHtmlProcess.h"
#include "base/MessageSink.h"
#include "base/RunStop.h"

#include <QMutexLocker>
#include <QThread>

#include <exception>

namespace {

// A message of several lines (the path, what went wrong, what the run does about it) as one
// line of the log.
class LogLineSink : public MessageSink
{
public:
    explicit LogLineSink(std::function<void(const QString &)> log) : m_log(std::move(log)) {}
    void information(const QString &text) override
    {
        QStringList parts = text.split(u'\n');
        for (QString &part : parts)
            part = part.trimmed();
        parts.removeAll(QString());
        m_log(parts.join(u' '));
    }

private:
    std::function<void(const QString &)> m_log;
};

} // namespace

ProcessThread::ProcessThread(QObject *parent) : QObject(parent)
{
    m_gathered.setInterval(20);
    connect(&m_gathered, &QTimer::timeout, this, &ProcessThread::deliver);
}

ProcessThread::~ProcessThread()
{
    if (m_thread)
        m_thread->wait();
}

void ProcessThread::start(Action action)
{
    if (m_thread)
        return;
    m_ok = false;
    m_stop = false;
    m_sinceDelivery.invalidate();
    m_thread.reset(QThread::create([this, action = std::move(action)] {
        const RunStop::Scope stop(m_stop);
        LogLineSink messages([this](const QString &line) { relayLine(line); });
        const MessageSink::ThreadScope toLog(&messages);
        MakeHtmlProcess process;
        connect(&process, &MakeHtmlProcess::logLine, &process,
                [this](const QString &line) { relayLine(line); });
        connect(&process, &MakeHtmlProcess::progress, &process,
                [this](qint64 value, qint64 maximum) { relayProgress(value, maximum); });
        bool ok = false;
        try {
            ok = action(process);
        } catch (const std::exception &e) {
            relayLine(QString::fromUtf8(e.what()));
        }
        m_ok = ok;
    }));
    // Emitted on the run's thread, handled on this one once every line before it is there.
    connect(m_thread.get(), &QThread::finished, this, &ProcessThread::end, Qt::QueuedConnection);
    m_thread->start();
    m_gathered.start();
}

void ProcessThread::relayLine(const QString &line)
{
    const QMutexLocker lock(&m_mutex);
    m_lines.append(line);
    postDeliveryLocked();
}

void ProcessThread::relayProgress(qint64 value, qint64 maximum)
{
    const QMutexLocker lock(&m_mutex);
    m_value = value;
    m_maximum = maximum;
    m_progressChanged = true;
    postDeliveryLocked();
}

void ProcessThread::postDeliveryLocked()
{
    if (m_deliveryPosted || (m_sinceDelivery.isValid() && m_sinceDelivery.elapsed() < 20))
        return; // the timer takes it
    m_deliveryPosted = true;
    QMetaObject::invokeMethod(this, &ProcessThread::deliver, Qt::QueuedConnection);
}

void ProcessThread::deliver()
{
    QStringList lines;
    bool progressChanged = false;
    qint64 value = 0;
    qint64 maximum = 0;
    {
        const QMutexLocker lock(&m_mutex);
        lines.swap(m_lines);
        progressChanged = m_progressChanged;
        m_progressChanged = false;
        value = m_value;
        maximum = m_maximum;
        m_deliveryPosted = false;
        m_sinceDelivery.start();
    }
    if (!lines.isEmpty())
        emit linesLogged(lines);
    if (progressChanged)
        emit progressed(value, maximum);
}

void ProcessThread::end()
{
    m_gathered.stop();
    m_thread->wait();
    m_thread.reset();
    deliver();
    emit finished(m_ok);
}
