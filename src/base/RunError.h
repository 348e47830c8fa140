#pragma once

#include <QString>

#include <exception>

// A fault that ends a run (an unreadable folder, a template that cannot be read, a file that
// cannot be written). It travels up to the run, which logs its message and fails the run.
class RunError : public std::exception
{
public:
    explicit RunError(const QString &message) : m_message(message) {}
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return "run error"; }

private:
    QString m_message;
};
