// SPDX-License-Identifier: GPL-3.0-or-later
#include "BookmarkIcon.h"

#include <QCryptographicHash>

namespace {

struct Kind
{
    const char16_t *type;
    const char16_t *extension;
};

// The first type of an extension is the one written back.
constexpr Kind Kinds[] = {
    {u"png", u"png"},     {u"gif", u"gif"},    {u"jpeg", u"jpg"},
    {u"jpg", u"jpg"},     {u"x-icon", u"ico"}, {u"vnd.microsoft.icon", u"ico"},
    {u"svg+xml", u"svg"}, {u"webp", u"webp"},  {u"bmp", u"bmp"},
};

} // namespace

QString BookmarkIcon::fileFor(QStringView dataUri, QByteArray *image)
{
    const QStringView prefix = u"data:image/";
    if (dataUri.size() > MaxBytes || !dataUri.startsWith(prefix, Qt::CaseInsensitive))
        return QString();
    const qsizetype comma = dataUri.indexOf(u',');
    if (comma < 0)
        return QString();
    const QStringView type = dataUri.sliced(prefix.size(), comma - prefix.size());
    const QStringView base64 = u";base64";
    if (!type.endsWith(base64, Qt::CaseInsensitive))
        return QString();
    const QStringView subtype = type.chopped(base64.size());
    for (const Kind &k : Kinds) {
        if (subtype.compare(QStringView(k.type), Qt::CaseInsensitive) != 0)
            continue;
        const auto decoded = QByteArray::fromBase64Encoding(
            dataUri.sliced(comma + 1).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.isEmpty())
            return QString();
        *image = decoded.decoded;
        return QString::fromLatin1(
                   QCryptographicHash::hash(*image, QCryptographicHash::Sha1).toHex()) +
               u'.' + QString::fromUtf16(k.extension);
    }
    return QString();
}

QString BookmarkIcon::dataUri(QStringView fileName, const QByteArray &image)
{
    const QStringView extension = fileName.sliced(fileName.lastIndexOf(u'.') + 1);
    for (const Kind &k : Kinds) {
        if (extension == QStringView(k.extension))
            return u"data:image/"_qs + QString::fromUtf16(k.type) + u";base64,"_qs +
                   QString::fromLatin1(image.toBase64());
    }
    return QString();
}
