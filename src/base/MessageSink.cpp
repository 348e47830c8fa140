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

} // namespace

MessageSink::~MessageSink() = default;

void MessageSink::install(MessageSink *sink)
{
    current = sink ? sink : &defaultSink;
}

void MessageSink::show(const QString &text)
{
    current->information(text);
}
