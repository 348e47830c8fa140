// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Keeps a stored FTP password from being read at a glance. It is undone with the key word
// alone (the server name), so it is no protection against anyone holding the settings file.
class cls_Pass
{
public:
    // Printable ASCII (32 to 126), three characters a byte of the code page 932 form. With
    // Avoid given, no group holds that character (each group is drawn again until none does),
    // so a text free of it comes out in one pass, however long the password.
    QString SetPass(const QString &KeyWord, const QString &PassWord, QChar Avoid = QChar()) const;
    // "" for an empty text; a wrong key word gives a wrong text, unreported.
    QString GetPass(const QString &KeyWord, const QString &PassWord) const;

private:
    static QByteArray keyStream(const QString &KeyWord, qsizetype length);
    QString EncodeBytes(const QByteArray &bytes, QChar avoid) const;
    QByteArray DecodeText(const QString &text) const;
};
