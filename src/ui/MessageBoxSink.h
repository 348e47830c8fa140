// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "base/MessageSink.h"

// The core's information messages as message boxes titled "Vellumdex".
class MessageBoxSink : public MessageSink
{
public:
    void information(const QString &text) override;
};
