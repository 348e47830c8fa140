// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

void MessageBoxSink::information(const QString &text)
{
    // A run on a thread of its own waits while the window's thread asks.
    if (QThread::currentThread() != qApp->thread()) {
        QMetaObject::invokeMethod(
            qApp, [this, text] { information(text); }, Qt::BlockingQueuedConnection);
        return;
    }
    QMessageBox::information(QApplication::activeWindow(), u"Vellumdex"_qs, text);
}
