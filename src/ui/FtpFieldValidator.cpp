// SPDX-License-Identifier: GPL-3.0-or-later
#include "FtpFieldValidator.h"

#include "base/Cp932.h"
#include "ftp/cls_FtpData.h"

FtpFieldValidator::FtpFieldValidator(Field field, QObject *parent)
    : QValidator(parent), m_field(field)
{
}

QValidator::State FtpFieldValidator::validate(QString &input, int &) const
{
    if (m_field == Field::Record && !cls_FtpData::IsStorableField(input)) {
        emit refused(
            u"「,」は設定の区切り文字のため、名称・アドレス・ユーザー名・フォルダには使えません"_qs);
        return Invalid;
    }
    if (!Cp932::canHold(input)) {
        emit refused(m_field == Field::RemoteName
                         ? u"ＦＴＰサーバーに送れない文字のため、入力できません"_qs
                         : u"設定ファイルに保存できない文字のため、入力できません"_qs);
        return Invalid;
    }
    return Acceptable;
}
