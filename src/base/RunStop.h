// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <atomic>

// A request to end a run at the next file. The run's thread watches one flag, set from
// another thread or from a signal handler (a lock-free atomic); the parts of a run ask between
// files and end as on any fault, so that no file is left half-written.
class RunStop
{
public:
    // This thread watches flag until the scope ends.
    class Scope
    {
    public:
        explicit Scope(const std::atomic_bool &flag);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;

    private:
        const std::atomic_bool *m_previous;
    };

    static bool requested();
    // Throws RunError with message() once a stop is requested.
    static void check();
    static QString message();
};
