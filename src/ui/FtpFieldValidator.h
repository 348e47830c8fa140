#pragma once

#include <QValidator>

// Keeps out of a connection's name, server, folder and user id what its one-line record in
// the settings file cannot hold: a typed or pasted "," is refused as a whole.
class FtpFieldValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};
