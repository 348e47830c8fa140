// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The form in which the settings files keep a name or value that a plain INI line would not
// give back as it was: a character code page 932 cannot hold, a line break, blanks at the
// ends, or a character that ends the name ("]" in a section, "=" in a key). Everything else
// is stored as it stands, so the Windows program reads it as before.
//
// A value with blanks at its ends, or inside a pair of quotes, goes inside one more pair of
// double quotes, which every profile reader drops. Anything else that needs it becomes Marker
// followed by the text, with "&" written "&amp;" and each character that needs it written as
// "&#x" + its code point in hex + ";". Other programs read that form as plain text.
class ProfileEscape
{
public:
    enum class Kind
    {
        Value,
        Section,
        Key
    };

    static constexpr QStringView Marker = u"&#0;";

    // The text to write for a name or value.
    static QString encode(QStringView text, Kind kind);
    // The name or value that a stored text stands for (as read: trimmed, quotes dropped).
    static QString decode(QStringView stored);
};
