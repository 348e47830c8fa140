// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CheckedFile.h"

#include <QString>
#include <QStringList>

// Text files of the system: code page 932 on disk, lines ended by CR LF, a lone LF or a
// lone CR when read (files edited elsewhere or fetched back from a server), CR LF when written.
class TextLines
{
public:
    // Lines of the text; a final line counts whether or not a line break follows it, and an
    // empty text has no lines.
    static QStringList split(QStringView text);
    // The same lines handed to line one by one, as views into text.
    template <typename Line> static void forEachLine(QStringView text, Line line)
    {
        const qsizetype n = text.size();
        qsizetype start = 0;
        for (qsizetype i = 0; i < n; ++i) {
            const QChar c = text[i];
            if (c == u'\r' || c == u'\n') {
                line(text.mid(start, i - start));
                if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                    ++i;
                start = i + 1;
            }
        }
        if (start < n)
            line(text.mid(start));
    }

    // Reads a whole file. Answers false (and sets *error) when it cannot be opened or read.
    // The bytes alone take one open and one read for a small file: a favorites tree is read
    // one such file at a time, many thousands of them.
    static bool readBytes(const QString &path, QByteArray *bytes, QString *error = nullptr);
    static bool readFile(const QString &path, QString *text, QString *error = nullptr);
    static bool readLines(const QString &path, QStringList *lines, QString *error = nullptr);

    // Writes the file in one step (CheckedFile), so a failure leaves what was there before.
    using Permissions = CheckedFile::Permissions;
    static bool writeFileAtomic(const QString &path, const QByteArray &bytes,
                                QString *error = nullptr,
                                Permissions permissions = Permissions::Default);
};
