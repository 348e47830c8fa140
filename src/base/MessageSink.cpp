// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageSink.h"

#include <cstdio>

namespace {

class StderrSink : public MessageSink
{
public:
    void information(const QString &text) override
    {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
    }
};

StderrSink defaultSink;
MessageSink *current = &defaultSink;
thread_local MessageSink *threadSink = nullptr;

} // namespace

MessageSink::~MessageSink() = default;

void MessageSink::install(MessageSink *sink)
{
    current = sink ? sink : &defaultSink;
}

MessageSink::ThreadScope::ThreadScope(MessageSink *sink) : m_previous(threadSink)
{
    threadSink = sink;
}

MessageSink::ThreadScope::~ThreadScope()
{
    threadSink = m_previous;
}

void MessageSink::show(const QString &text)
{
    (threadSink ? threadSink : current)->information(text);
}
