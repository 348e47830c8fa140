// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "page/TemplateBlocks.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class ProfileFile;
class cls_htmlcfg;
class cls_ImageData;
class cls_ImageSetData;

// One conversion definition: a template file whose first line names it and whose
// "ImageConfig" block lists the replaceable images and the ready-made image sets. It keeps the
// user's image choices in ConfigIni, hands the run its template blocks with the replaced image
// names rewritten, and places the replacement images beside the page.
class cls_ConfigData : public TemplateBlocks
{
public:
    using ImageList = QList<std::shared_ptr<cls_ImageData>>;
    using ImageSetList = QList<std::shared_ptr<cls_ImageSetData>>;

    // A "DataCount" past the slots or sets that the image list names makes empty ones up to
    // this many, no more; every one it names is made.
    static constexpr int MaxUnnamedCount = 100;

    cls_ConfigData();
    ~cls_ConfigData() override;
    cls_ConfigData(const cls_ConfigData &) = delete;
    cls_ConfigData &operator=(const cls_ConfigData &) = delete;

    const QString &FileName() const { return m_fileName; }
    void setFileName(const QString &FileName) { m_fileName = FileName; }
    int Index() const { return m_index; }
    void setIndex(int Index) { m_index = Index; }
    const QString &Caption() const { return m_caption; }

    // Slots, sets and the saved choices, afresh; slots from before are dropped.
    void GetStatus();
    // The definition's folder, ending in "/".
    QString BasePath() const;
    const ImageSetList &ImageSets() const { return m_imageSets; }
    std::shared_ptr<cls_ImageSetData> ImageSet(int Index) const;
    const ImageList &Images() const { return m_images; }
    std::shared_ptr<cls_ImageData> Image(int Index) const;

    // True when the first line is "<!--" caption "-->"; then Caption holds the caption.
    bool ConfigCheck();
    // False when Config.ini could not be written (it is then left as it was).
    bool SaveSetting();
    void LoadSetting();

    // Reads the template for a run and names the replacement copies; throws RunError when
    // the template cannot be read.
    void Htmlcfg_Open();
    void Htmlcfg_Close();
    bool Htmlcfg_IsOpen() const { return m_htmlcfg != nullptr; }
    void Htmlcfg_SetParameter(const QStringList &Data) override;
    // The block with every replaced image's BaseName turned into its CopyFileName.
    QString Htmlcfg_GetSetting(const QString &Key) const override;
    // Only while no image is replaced: a replacement rewrites the whole block's text.
    bool Htmlcfg_GetSettingAround(const QString &Key, qsizetype cut, QString &before,
                                  QString &after) const override;

    // The slots whose replacement is on, in slot order: what is renamed, copied and sent.
    ImageList ReplacedImages() const;
    // CopyPath is the page's folder ending in "/". Overwrites; throws RunError naming the
    // file when a copy fails.
    void ImageFileCopy(const QString &CopyPath) const;
    // Hands every replaced image (its file, then its copy name) to put, which uploads it;
    // one failure does not stop the rest.
    using ImagePut = std::function<bool(const QString &file, const QString &copyName)>;
    bool SendFtp(const ImagePut &put) const;

private:
    bool MakeImageConfig();
    void MakeCopyFileNames();

    QString m_fileName;
    int m_index = 0;
    QString m_caption;
    std::unique_ptr<ProfileFile> m_imageList; // the "ImageConfig" block, read once
    ImageList m_images;
    ImageSetList m_imageSets;
    std::unique_ptr<cls_htmlcfg> m_htmlcfg;
};
