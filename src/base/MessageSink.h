// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the core's information messages go: a message box titled "Vellumdex" in the desktop
// program, a line on stderr in the command-line tool, a list in the tests.
class MessageSink
{
public:
    virtual ~MessageSink();
    virtual void information(const QString &text) = 0;

    // The sink in use; nullptr restores the default (stderr). The caller keeps ownership.
    static void install(MessageSink *sink);
    // The sink of this thread alone while the scope lasts, before the one installed.
    class ThreadScope
    {
    public:
        explicit ThreadScope(MessageSink *sink);
        ~ThreadScope();
        ThreadScope(const ThreadScope &) = delete;
        ThreadScope &operator=(const ThreadScope &) = delete;

    private:
        MessageSink *m_previous;
    };
    static void show(const QString &text);
};
