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
    // A sink for the calling thread only (a run's log while it lasts), over the one installed;
    // answers the one it replaces, nullptr for none.
    static MessageSink *installForThread(MessageSink *sink);
    static void show(const QString &text);
};
