// SPDX-License-Identifier: GPL-3.0-or-later
#include "cls_ConfigData.h"

#include "base/CheckedFile.h"
#include "base/Cp932.h"
#include "base/MessageSink.h"
#include "base/RunError.h"
#include "base/SystemError.h"
#include "cls_ImageData.h"
#include "cls_ImageSetData.h"
#include "page/cls_htmlcfg.h"
#include "settings/ProfileFile.h"
#include "settings/code_main.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace {

// A caption line longer than this is no caption line; the read stops there.
constexpr qint64 MaxFirstLine = 64 * 1024;

qint64 dataCount(const ProfileFile &list, const QString &section)
{
    bool ok = false;
    const qint64 n =
        list.value(section, u"DataCount"_qs).value_or(u"0"_qs).trimmed().toLongLong(&ok);
    return ok ? std::max<qint64>(n, 0) : 0;
}

// The number in a name made of a prefix and decimal digits ("Image_12"), or 0.
qint64 numberAfter(const QString &name, QStringView prefix)
{
    if (!name.startsWith(prefix, Qt::CaseInsensitive) || name.size() == prefix.size())
        return 0;
    for (const QChar c : QStringView(name).mid(prefix.size()))
        if (c < u'0' || c > u'9')
            return 0;
    bool ok = false;
    const qint64 n = QStringView(name).mid(prefix.size()).toLongLong(&ok);
    return ok ? n : 0;
}

// How many of a count of slots or sets to make: all that the list names up to the count, and
// past the last one named no more than MaxUnnamedCount.
int madeCount(qint64 count, const QStringList &names, QStringView prefix)
{
    qint64 last = std::min<qint64>(count, cls_ConfigData::MaxUnnamedCount);
    for (const QString &name : names) {
        const qint64 n = numberAfter(name, prefix);
        if (n > last && n <= count)
            last = n;
    }
    return int(std::min<qint64>(last, std::numeric_limits<int>::max()));
}

QString truthText(bool on)
{
    return on ? u"True"_qs : u"False"_qs;
}

} // namespace

cls_ConfigData::cls_ConfigData() = default;
cls_ConfigData::~cls_ConfigData() = default;

QString cls_ConfigData::BasePath() const
{
    return m_fileName.left(m_fileName.lastIndexOf(u'/') + 1);
}

std::shared_ptr<cls_ImageSetData> cls_ConfigData::ImageSet(int Index) const
{
    for (const auto &set : m_imageSets) {
        if (set->Index() == Index)
            return set;
    }
    return nullptr;
}

std::shared_ptr<cls_ImageData> cls_ConfigData::Image(int Index) const
{
    for (const auto &image : m_images) {
        if (image->Index() == Index)
            return image;
    }
    return nullptr;
}

bool cls_ConfigData::ConfigCheck()
{
    QFile file(m_fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray line;
    char c = 0;
    while (file.getChar(&c) && c != '\r' && c != '\n') {
        if (line.size() >= MaxFirstLine)
            return false;
        line.append(c);
    }
    const QString text = Cp932::toUnicode(line);
    if (text.size() > 7 && text.startsWith(u"<!--"_qs) && text.endsWith(u"-->"_qs)) {
        m_caption = text.mid(4, text.size() - 7);
        return true;
    }
    return false;
}

bool cls_ConfigData::MakeImageConfig()
{
    cls_htmlcfg reader;
    reader.SetFileName(m_fileName);
    try {
        reader.HtmlStatusRead();
    } catch (const RunError &) {
        // Left without slots; the next GetStatus tries again.
        return false;
    }
    auto list = std::make_unique<ProfileFile>(QString());
    list->setText(reader.GetSetting(u"ImageConfig"_qs));
    m_imageList = std::move(list);
    return true;
}

void cls_ConfigData::GetStatus()
{
    if (!m_imageList && !MakeImageConfig())
        return;
    const ProfileFile &list = *m_imageList;

    ImageList images;
    const QString imageList = u"ImageList"_qs;
    QStringList keys;
    for (const auto &entry : list.entries(imageList))
        keys.append(entry.first);
    const int n = madeCount(dataCount(list, imageList), keys, u"Image_");
    for (int i = 1; i <= n; ++i) {
        auto image = std::make_shared<cls_ImageData>();
        image->setBaseName(
            list.value(imageList, u"Image_"_qs + QString::number(i)).value_or(QString()));
        image->setCaption(list.value(image->BaseName(), u"Name"_qs).value_or(QString()));
        image->setMask(list.value(image->BaseName(), u"Mask"_qs).value_or(QString()));
        image->setBasePath(BasePath());
        image->setIndex(i);
        images.append(image);
    }
    m_images = images;

    ImageSetList sets;
    const int m = madeCount(dataCount(list, u"ImageSetList"_qs), list.sectionNames(), u"ImageSet_");
    for (int j = 1; j <= m; ++j) {
        auto set = std::make_shared<cls_ImageSetData>();
        set->DataLoad(list, j, m_images);
        sets.append(set);
    }
    m_imageSets = sets;

    LoadSetting();
}

void cls_ConfigData::LoadSetting()
{
    IniClass &ini = code_main::ConfigIni();
    ini.SetSection(m_caption);
    ProfileFile settings(ini.fileName());
    settings.load();
    for (const auto &image : m_images) {
        const QString chosen = settings.value(m_caption, image->BaseName()).value_or(QString());
        // A full path is the user's own choice; a relative one must stay in the definition.
        const bool relative =
            !chosen.startsWith(u'/') && !(chosen.size() >= 2 && chosen.at(1) == u':');
        if (relative && !chosen.isEmpty() && !image->InsideDefinition(chosen)) {
            MessageSink::show(
                u"画像ファイルが定義ファイルのフォルダの外にあるため使用しません ["_qs + chosen +
                u"]"_qs);
            image->setSelectFile(QString());
        } else {
            image->setSelectFile(chosen);
        }
        const QString change =
            settings.value(m_caption, image->BaseName() + u"_ImageChange"_qs).value_or(u"False"_qs);
        // Anything but a true value (also a damaged one) leaves the image as the template has it.
        image->setImageChange(change.compare(u"True"_qs, Qt::CaseInsensitive) == 0);
    }
}

bool cls_ConfigData::SaveSetting()
{
    IniClass &ini = code_main::ConfigIni();
    ini.SetSection(m_caption);
    // One write for all slots; a file that exists but cannot be read is not replaced.
    ProfileFile settings(ini.fileName());
    if (!settings.loadForUpdate())
        return false;
    for (const auto &image : m_images) {
        settings.setValue(m_caption, image->BaseName(), image->SelectFile());
        settings.setValue(m_caption, image->BaseName() + u"_ImageChange"_qs,
                          truthText(image->ImageChange()));
    }
    return settings.save();
}

void cls_ConfigData::Htmlcfg_Open()
{
    auto reader = std::make_unique<cls_htmlcfg>();
    reader->SetFileName(m_fileName);
    reader->HtmlStatusRead();
    m_htmlcfg = std::move(reader);
    GetStatus();
    MakeCopyFileNames();
}

void cls_ConfigData::MakeCopyFileNames()
{
    for (const auto &image : m_images)
        image->MakeCopyFileName(0);
    // Of two different files with one name the earlier slot gets the suffix, since the later
    // ones still hold their plain names when it is resolved. A slot can meet at most one
    // clash per other slot, so this ends.
    for (const auto &current : m_images) {
        for (int n = 0;; ++n) {
            current->MakeCopyFileName(n);
            const bool clash =
                std::any_of(m_images.cbegin(), m_images.cend(), [&](const auto &other) {
                    return other->CopyFileName() == current->CopyFileName() &&
                           other->SelectFile() != current->SelectFile();
                });
            if (!clash)
                break;
        }
    }
}

void cls_ConfigData::Htmlcfg_Close()
{
    m_htmlcfg.reset();
}

void cls_ConfigData::Htmlcfg_SetParameter(const QStringList &Data)
{
    if (m_htmlcfg)
        m_htmlcfg->SetParameter(Data);
}

QString cls_ConfigData::Htmlcfg_GetSetting(const QString &Key) const
{
    if (!m_htmlcfg)
        return QString();
    QString text = m_htmlcfg->GetSetting(Key);
    for (const auto &image : ReplacedImages()) {
        if (!image->BaseName().isEmpty())
            text.replace(image->BaseName(), image->CopyFileName(), Qt::CaseSensitive);
    }
    return text;
}

bool cls_ConfigData::Htmlcfg_GetSettingAround(const QString &Key, qsizetype cut, QString &before,
                                              QString &after) const
{
    return m_htmlcfg && ReplacedImages().isEmpty() &&
           m_htmlcfg->GetSettingAround(Key, cut, before, after);
}

cls_ConfigData::ImageList cls_ConfigData::ReplacedImages() const
{
    ImageList replaced;
    for (const auto &image : m_images) {
        if (image->ImageChange())
            replaced.append(image);
    }
    return replaced;
}

bool cls_ConfigData::SendFtp(const ImagePut &put) const
{
    bool sent = true;
    for (const auto &image : ReplacedImages())
        sent = put(image->SelectFile(), image->CopyFileName()) && sent;
    return sent;
}

void cls_ConfigData::ImageFileCopy(const QString &CopyPath) const
{
    for (const auto &image : ReplacedImages()) {
        const QString target = CopyPath + image->CopyFileName();
        QFile source(image->SelectFile());
        // Written beside the target and renamed over it: a failed copy keeps the old file, and
        // a source that is the target itself is read whole before it is replaced.
        CheckedFile copy(target);
        QString cause;
        if (!source.open(QIODevice::ReadOnly)) {
            cause = SystemError::text(errno);
        } else if (!copy.open()) {
            cause = copy.errorString();
        } else {
            while (cause.isEmpty() && !source.atEnd()) {
                const QByteArray chunk = source.read(1 << 16);
                if (chunk.isEmpty())
                    cause = SystemError::text(EIO);
                else if (copy.write(chunk) != chunk.size())
                    cause = copy.errorString();
            }
            if (cause.isEmpty() && !copy.commit())
                cause = copy.errorString();
        }
        if (!cause.isEmpty())
            throw RunError(u"画像ファイルをコピー出来ません ["_qs + image->SelectFile() +
                           u"] → ["_qs + target + u"] "_qs + cause);
    }
}
