#pragma once

#include <QByteArray>
#include <QString>

// One internet shortcut file of a favorites folder: its title (the file name less ".url"),
// its address, and its lines for the restore block.
class cls_URL
{
public:
    cls_URL() = default;
    ~cls_URL();
    cls_URL(const cls_URL &) = delete;
    cls_URL &operator=(const cls_URL &) = delete;

    // Off: the file's lines are not kept for DecodeCode (a page without the restore block).
    void setKeepContent(bool keep) { m_keepContent = keep; }
    // folderPath ends in "/". Throws RunError when the file cannot be read.
    void SetFileName(const QString &folderPath, const QString &fileName);
    const QString &Title() const { return m_title; }
    const QString &URL() const { return m_url; }
    QString DecodeCode(int ParentID) const;

    // "&", "<", ">" and the double quote as entities, so a title or address cannot leave
    // the attribute or element it is put into.
    static QString EscapeHtml(const QString &text);
    // The name as the code page can hold it: each character it cannot hold becomes a blank.
    static QString CodePageSafe(const QString &text);

    // The file the address is read from: the shortcut, or its temporary copy. Once read, only
    // the copy is still known.
    QString fullPath() const { return m_tempCopy ? m_tempPath : m_folderPath + m_fileName; }

private:
    bool CopyToTempFile();

    // A tree holds one of these per shortcut: only what the page and the restore block need
    // is kept (the folder path is the folder's own text, shared).
    QString m_url;
    QString m_fileName;
    QString m_title;
    QString m_folderPath;
    QString m_tempPath;
    bool m_tempCopy = false;
    bool m_keepContent = true;
    QByteArray m_content; // the file as read, for the restore block
};
