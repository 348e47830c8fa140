#include "MessageBoxSink.h"

#include <QApplication>
#include <QMessageBox>

void MessageBoxSink::information(const QString &text)
{
    QMessageBox::information(QApplication::activeWindow(), u"Vellumdex"_qs, text);
}
