// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The restore block a page carries: the records of its folders and shortcuts between the
// block's comment lines, written by the conversion and read back by the restore.
class RestoreBlock
{
public:
    // A record's text as it was before "&", "<", ">" and '"' were written as entities.
    static QString decodeEntities(const QString &text);
};
