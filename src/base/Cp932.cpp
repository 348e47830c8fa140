// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <array>
#include <memory>

namespace {

constexpr char16_t NoChar = 0;

bool isLeadByte(uchar b)
{
    return (b >= 0x81 && b <= 0x9f) || (b >= 0xe0 && b <= 0xfc);
}

bool isTrailByte(uchar b)
{
    return (b >= 0x40 && b <= 0x7e) || (b >= 0x80 && b <= 0xfc);
}

// Both directions as tables built once from ICU's windows-31j converter. ICU writes FC FC
// for a character it cannot map and reads U+001A for bytes it cannot read, and it swaps
// some control codes; the tables keep ASCII as it is and mark the holes instead.
struct Tables
{
    std::array<quint16, 0x10000> encode{}; // 0 = not held; < 0x100 single byte
    std::array<char16_t, 256> single{};
    std::array<char16_t, 0x10000> pair{}; // indexed by lead << 8 | trail
    std::array<bool, 0x10000> held{};     // comes back unchanged from a trip through the code page

    Tables()
    {
        // Stateless: every call stands on its own, so one converter each way serves all.
        QStringDecoder decoder("windows-31j", QStringConverter::Flag::Stateless);
        QStringEncoder encoder("windows-31j", QStringConverter::Flag::Stateless);
        for (int c = 0; c < 0x80; ++c) {
            encode[c] = quint16(c);
            single[c] = char16_t(c);
        }
        for (int b = 0x80; b < 0x100; ++b) {
            if (isLeadByte(uchar(b)))
                continue;
            const char byte = char(b);
            const QString s = decoder.decode(QByteArrayView(&byte, 1));
            if (s.size() == 1 && s.at(0).unicode() != 0x1a && s.at(0).unicode() != 0xfffd)
                single[b] = s.at(0).unicode();
        }
        for (int lead = 0x81; lead <= 0xfc; ++lead) {
            if (!isLeadByte(uchar(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xfc; ++trail) {
                if (!isTrailByte(uchar(trail)))
                    continue;
                const char bytes[2] = {char(lead), char(trail)};
                const QString s = decoder.decode(QByteArrayView(bytes, 2));
                if (s.size() == 1 && s.at(0).unicode() != 0x1a && s.at(0).unicode() != 0xfffd)
                    pair[(lead << 8) | trail] = s.at(0).unicode();
            }
        }
        for (int c = 0x80; c < 0x10000; ++c) {
            if (c >= 0xd800 && c < 0xe000)
                continue;
            const QChar ch = QChar(char16_t(c));
            const QByteArray b = encoder.encode(QStringView(&ch, 1));
            if (b.size() == 1 && uchar(b[0]) >= 0x80) {
                encode[c] = uchar(b[0]);
            } else if (b.size() == 2 && !(uchar(b[0]) == 0xfc && uchar(b[1]) == 0xfc)) {
                encode[c] = quint16((uchar(b[0]) << 8) | uchar(b[1]));
            }
        }
        // Characters whose bytes read back as another (the duplicates of NEC and IBM) are
        // not held: what comes back is not what went in.
        for (int c = 0; c < 0x10000; ++c) {
            const quint16 code = encode[c];
            if (c < 0x80)
                held[c] = true;
            else if (code != 0)
                held[c] = (code < 0x100 ? single[code] : pair[code]) == char16_t(c);
        }
    }
};

const Tables &tables()
{
    static const std::unique_ptr<Tables> t = std::make_unique<Tables>();
    return *t;
}

} // namespace

QByteArray Cp932::fromUnicode(QStringView text)
{
    QByteArray out;
    append(out, text);
    return out;
}

void Cp932::append(QByteArray &out, QStringView text)
{
    const Tables &t = tables();
    const qsizetype n = text.size();
    const qsizetype start = out.size();
    // At most two bytes a code unit; written through a pointer, then cut to size.
    out.resize(start + n * 2);
    char *o = out.data() + start;
    const char16_t *in = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (c < 0x80) {
            *o++ = char(c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
            // No character outside the BMP is in the code page: one "?" for the pair.
            ++i;
            *o++ = '?';
            continue;
        }
        const quint16 code = t.encode[c];
        if (code == 0) {
            *o++ = '?';
        } else if (code < 0x100) {
            *o++ = char(code);
        } else {
            *o++ = char(code >> 8);
            *o++ = char(code & 0xff);
        }
    }
    out.truncate(o - out.constData());
}

QString Cp932::toUnicode(QByteArrayView bytes)
{
    const Tables &t = tables();
    const qsizetype n = bytes.size();
    // Never more characters than bytes.
    QString out(n, Qt::Uninitialized);
    char16_t *o = reinterpret_cast<char16_t *>(out.data());
    char16_t *const begin = o;
    const uchar *in = reinterpret_cast<const uchar *>(bytes.data());
    for (qsizetype i = 0; i < n; ++i) {
        const uchar b = in[i];
        if (b < 0x80) {
            *o++ = char16_t(b);
            continue;
        }
        if (isLeadByte(b)) {
            if (i + 1 < n && isTrailByte(in[i + 1])) {
                const char16_t c = t.pair[(b << 8) | in[i + 1]];
                *o++ = c == NoChar ? u'?' : c;
                ++i;
            } else {
                // A lead byte without its trail byte; the next byte is read on its own.
                *o++ = u'?';
            }
            continue;
        }
        const char16_t c = t.single[b];
        *o++ = c == NoChar ? u'?' : c;
    }
    out.truncate(o - begin);
    return out;
}

bool Cp932::canHold(QStringView text)
{
    // Titles and addresses are mostly ASCII, which code page 932 holds unchanged; no
    // character outside the BMP is in the code page, so a surrogate never is.
    const char16_t *in = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && in[i] < 0x80)
        ++i;
    if (i == n)
        return true;
    const Tables &t = tables();
    for (; i < n; ++i) {
        if (!t.held[in[i]])
            return false;
    }
    return true;
}
