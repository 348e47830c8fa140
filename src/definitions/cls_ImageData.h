// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class ImageSlotView;

// One replaceable image of a conversion definition: the name the template writes, the
// user's replacement file, the replace switch and the name the replacement is placed under.
class cls_ImageData
{
public:
    // The definition's folder, ending in "/".
    void setBasePath(const QString &BasePath) { m_basePath = BasePath; }
    const QString &BaseName() const { return m_baseName; }
    void setBaseName(const QString &BaseName) { m_baseName = BaseName; }
    const QString &Caption() const { return m_caption; }
    void setCaption(const QString &Caption) { m_caption = Caption; }
    const QString &Mask() const { return m_mask; }
    void setMask(const QString &Mask) { m_mask = Mask; }
    int Index() const { return m_index; }
    void setIndex(int Index) { m_index = Index; }

    // Full path of the replacement, or empty: a file that does not exist is never kept.
    const QString &SelectFile() const { return m_selectFile; }
    // A path relative to the definition's folder ("\" taken as "/", as definitions made on
    // Windows write it), a full path, or empty.
    void setSelectFile(const QString &file);

    const QString &CopyFileName() const { return m_copyFileName; }
    // The file name of SelectFile; for n above 0 with "_n" before its extension.
    void MakeCopyFileName(int n);

    // Replaced only when the switch is on and a file is chosen.
    bool ImageChange() const { return m_imageChange && !m_selectFile.isEmpty(); }
    void setImageChange(bool on);

    // Binds the editor's controls (or unbinds them with nullptr) and shows the slot in them.
    void setView(ImageSlotView *view);

    QString FullPath(const QString &file) const;
    // Whether a file as a definition names it (an image set's) stays inside the definition's
    // folder or the program's "Config" tree: relative, and neither ".." nor a link leads out.
    // Definitions come from other people; only the user's own choice may lie elsewhere.
    bool InsideDefinition(const QString &file) const;

private:
    void ShowFileText();
    void ShowPicture();
    void ShowCheckBox();

    QString m_basePath;
    QString m_baseName;
    QString m_caption;
    QString m_mask;
    int m_index = 0;
    QString m_selectFile;
    QString m_copyFileName;
    bool m_imageChange = false;
    ImageSlotView *m_view = nullptr;
};
