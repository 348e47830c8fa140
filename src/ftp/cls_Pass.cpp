// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_Pass.h"

#include "base/Cp932.h"

#include <QDateTime>
#include <QRandomGenerator>

namespace {

// Below this many bytes a password is padded, so that its stored length gives nothing away.
constexpr qsizetype PadBelow = 10;

} // namespace

QByteArray cls_Pass::keyStream(const QString &KeyWord, qsizetype length)
{
    // The key word and a NUL, repeated; an empty key word leaves the data as it is.
    const QByteArray unit = Cp932::fromUnicode(KeyWord) + '\0';
    QByteArray key;
    while (key.size() < length)
        key += unit;
    return key;
}

QString cls_Pass::SetPass(const QString &KeyWord, const QString &PassWord, QChar Avoid) const
{
    QByteArray data = Cp932::fromUnicode(PassWord);
    if (data.size() < PadBelow) {
        data += '\0';
        data += Cp932::fromUnicode(QDateTime::currentDateTime().toString(u"yyyy/MM/dd H:mm:ss"_qs));
    }
    const QByteArray key = keyStream(KeyWord, data.size());
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(data.at(i) ^ key.at(i));
    return EncodeBytes(data, Avoid);
}

QString cls_Pass::GetPass(const QString &KeyWord, const QString &PassWord) const
{
    if (PassWord.isEmpty())
        return QString();
    QByteArray data = DecodeText(PassWord);
    const QByteArray key = keyStream(KeyWord, PassWord.size());
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(data.at(i) ^ key.at(i));
    const qsizetype nul = data.indexOf('\0');
    if (nul >= 0)
        data.truncate(nul);
    return Cp932::toUnicode(data);
}

QString cls_Pass::EncodeBytes(const QByteArray &bytes, QChar avoid) const
{
    QRandomGenerator *random = QRandomGenerator::global();
    QString text;
    text.reserve(bytes.size() * 3);
    const int avoided = avoid.isNull() ? -1 : avoid.unicode();
    for (const char b : bytes) {
        const int x = uchar(b);
        int r1, r2, c;
        do {
            r1 = int(random->generateDouble() * 95) + 32;
            r2 = int(random->generateDouble() * 95) + 32;
            c = (x - r1 - r2 + 512) % 256;
        } while (c < 32 || c > 126 || r1 == avoided || r2 == avoided || c == avoided);
        text += QChar(char16_t(r1));
        text += QChar(char16_t(r2));
        text += QChar(char16_t(c));
    }
    return text;
}

QByteArray cls_Pass::DecodeText(const QString &text) const
{
    // A hand-edited text may end in an incomplete group; it is left out.
    QByteArray bytes(text.size() / 3, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const int sum =
            text.at(3 * i).unicode() + text.at(3 * i + 1).unicode() + text.at(3 * i + 2).unicode();
        bytes[i] = char(sum % 256);
    }
    return bytes;
}
