// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QPair>
#include <QRect>
#include <QString>
#include <QStringList>

// One INI file with a current section; a call that leaves its section empty uses the current
// one. Reads never fail (missing file, section or key give the default), writes create what
// is missing. Values and sections are read whole, whatever their length.
class IniClass
{
public:
    using Table = QList<QPair<QString, QString>>; // key, value; empty stands for Empty

    // What FormSaveSetting needs of a window, in twips.
    struct FormState
    {
        QString name;
        bool maximized = false;
        QRect twips;
    };

    void SetFile(const QString &fileName) { m_fileName = fileName; }
    void SetSection(const QString &section) { m_section = section; }
    // A file that holds secrets: every write leaves it readable by its owner only.
    void SetOwnerOnly(bool on) { m_ownerOnly = on; }
    QString fileName() const { return m_fileName; }
    QString section() const { return m_section; }

    QString T_GetSetting(const QString &Key, const QString &Default = QString(),
                         const QString &Section = QString()) const;
    Table T_GetAllSettings(const QString &Section = QString()) const;
    bool T_SaveSetting(const QString &Key, const QString &Setting,
                       const QString &Section = QString());
    // Why the last T_SaveSetting failed, in Japanese.
    QString lastError() const { return m_lastError; }
    bool T_DeleteSetting(const QString &Key, const QString &Section = QString());
    void FormSaveSetting(const FormState &SaveForm, const QString &Section = QString());
    void ListGetSetting(const QString &Key, QStringList &DataList,
                        const QString &Section = QString()) const;
    void ListSaveSetting(const QString &Key, const QStringList &DataList,
                         const QString &Section = QString());

    // The section text parser: "key=value" entries to rows; entries without "=" are skipped.
    static Table ParseSection(const QStringList &entries);

private:
    QString sectionOr(const QString &Section) const
    {
        return Section.isEmpty() ? m_section : Section;
    }

    QString m_fileName;
    QString m_section;
    bool m_ownerOnly = false;
    QString m_lastError;
};
