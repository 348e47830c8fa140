#include "FtpFieldValidator.h"

#include "ftp/cls_FtpData.h"

QValidator::State FtpFieldValidator::validate(QString &input, int &) const
{
    return cls_FtpData::IsStorableField(input) ? Acceptable : Invalid;
}
