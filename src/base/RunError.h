// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// A fault that ends a run (an unreadable folder, a template that cannot be read, a file that
// cannot be written). It travels up to the run, which logs its message and fails the run.
class RunError : public std::exception
{
public:
    explicit RunError(const QString &message) : m_message(message), m_utf8(message.toUtf8()) {}
    const QString &message() const { return m_message; }
    // The message, for whoever catches it as a std::exception.
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};
