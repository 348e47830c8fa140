// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What the folder tree needs of a conversion definition: blocks of its template filled with
// the parameters last handed in.
class TemplateBlocks
{
public:
    virtual ~TemplateBlocks() = default;
    virtual void Htmlcfg_SetParameter(const QStringList &parameters) = 0;
    virtual QString Htmlcfg_GetSetting(const QString &Key) const = 0;
    // The block as Htmlcfg_GetSetting fills it, cut where parameter `cut` goes, so that
    // before + that parameter + after is the whole block: a caller can then write a long
    // parameter in pieces. False when the block cannot be cut that way (the parameter not in
    // it exactly once, its end not the block's own, or the definition rewriting the whole text).
    virtual bool Htmlcfg_GetSettingAround(const QString & /*Key*/, qsizetype /*cut*/,
                                          QString & /*before*/, QString & /*after*/) const
    {
        return false;
    }

    // The page goes out in UTF-8, as the definition's "Encoding" block declares; set by the
    // run before the tree is written. Without the block the page is in code page 932.
    void setPageUtf8(bool on) { m_pageUtf8 = on; }
    bool pageUtf8() const { return m_pageUtf8; }

private:
    bool m_pageUtf8 = false;
};
