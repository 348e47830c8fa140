// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

// The fonts the windows are designed for, with the Japanese fonts of a Linux desktop behind
// them: without an explicit Japanese family the fallback may pick Chinese glyph forms.
namespace AppFonts {

// "ＭＳ Ｐゴシック" 9 point as the application's font.
void install();
QFont gothic(int pointSize, bool bold = false);
QFont mincho(int pointSize, bool bold = false);

} // namespace AppFonts
