// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One named block of a template.
struct cls_cfgData
{
    QString Key;
    QString Data;
};

// A template file read into its named blocks ("<!--Name=Start-->" … "<!--Name=End-->"); a
// block is handed out with its "**Parameter_N" markers replaced by the caller's texts.
class cls_htmlcfg
{
public:
    void SetFileName(const QString &HtmlFileName) { m_fileName = HtmlFileName; }
    // A marker with number N takes parameter N mod count (its position in the list).
    void SetParameter(const QStringList &Data) { m_parameters = Data; }
    QString GetSetting(const QString &name) const;
    // See TemplateBlocks::Htmlcfg_GetSettingAround.
    bool GetSettingAround(const QString &name, qsizetype cut, QString &before,
                          QString &after) const;
    // Throws RunError when the file cannot be read or names a block twice.
    void HtmlStatusRead();

    // The block reader on text already in memory (lines as the file holds them).
    void readLines(const QStringList &lines);
    // Marker substitution alone; the search goes on after each inserted text, so a parameter
    // that holds a marker is never expanded again.
    // With cuts given, parameter `cut` is left out and the places it would go are listed.
    static QString substitute(QStringView text, const QStringList &parameters, qsizetype cut = -1,
                              QList<qsizetype> *cuts = nullptr);

    const QList<cls_cfgData> &blocks() const { return m_blocks; }

private:
    QString m_fileName;
    QList<cls_cfgData> m_blocks;
    QHash<QString, qsizetype> m_index;       // block name as written
    QHash<QString, qsizetype> m_foldedIndex; // upper-cased, to refuse a second block of a name
    QStringList m_parameters{QString()};
};
