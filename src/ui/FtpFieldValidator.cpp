#include "FtpFieldValidator.h"

#include "ftp/cls_FtpData.h"

QValidator::State FtpFieldValidator::validate(QString &input, int &) const
{
    if (cls_FtpData::IsStorableField(input))
        return Acceptable;
    emit refused();
    return Invalid;
}
