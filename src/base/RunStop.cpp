// SPDX-License-Identifier: GPL-3.0-or-later
#include "RunStop.h"

#include "RunError.h"

namespace {

thread_local const std::atomic_bool *watched = nullptr;

} // namespace

RunStop::Scope::Scope(const std::atomic_bool &flag) : m_previous(watched)
{
    watched = &flag;
}

RunStop::Scope::~Scope()
{
    watched = m_previous;
}

bool RunStop::requested()
{
    return watched && watched->load(std::memory_order_relaxed);
}

void RunStop::check()
{
    if (requested())
        throw RunError(message());
}

QString RunStop::message()
{
    return u"中止の指示により処理を止めました"_qs;
}
