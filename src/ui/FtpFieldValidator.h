// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QValidator>

// Keeps out of a connection's fields, and of the remote file name, what cannot be stored or
// sent: a "," (or a line break) in the name, server, folder or user id would split the one-line
// record at the wrong place, and a character outside code page 932 would reach the server as
// "?". A typed or pasted text that brings one in is refused as a whole.
class FtpFieldValidator : public QValidator
{
    Q_OBJECT

public:
    enum class Field
    {
        Record,    // name, server, folder, user id: a field of the record text
        Password,  // stored scrambled: any character the code page holds
        RemoteName // a file name sent to the server in code page 932
    };

    explicit FtpFieldValidator(Field field, QObject *parent = nullptr);
    State validate(QString &input, int &pos) const override;

signals:
    // A change was refused; reason says why, for the user.
    void refused(const QString &reason) const;

private:
    Field m_field;
};
