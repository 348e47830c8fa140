// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageSlotFrame.h"

#include "FormControls.h"
#include "PNGLoader.h"
#include "Twips.h"
#include "definitions/ImagePreview.h"
#include "definitions/cls_ImageData.h"

#include <QCheckBox>
#include <QFrame>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

namespace {

QImage readAs(const QString &file, const char *format)
{
    QImageReader reader(file, format);
    reader.setAutoDetectImageFormat(false);
    return reader.read(); // the first frame of an animation
}

} // namespace

ImageSlotFrame::ImageSlotFrame(int Index, QWidget *parent)
    : QGroupBox(u"画像名"_qs, parent), m_index(Index)
{
    setObjectName(u"frame_Image"_qs);
    FormControls::setCaptionOnFrameLine(this);
    Twips::place(this, 0, 0, FrameWidth, FrameHeight);

    chk_ImageChange = new QCheckBox(u"作成するHTML内の画像ファイル名を置き換える"_qs, this);
    chk_ImageChange->setObjectName(u"chk_ImageChange"_qs);
    Twips::place(chk_ImageChange, 240, 360, 5655, 255);

    lbl_FileName = new QLabel(u"ファイル名"_qs, this);
    lbl_FileName->setObjectName(u"lbl_FileName"_qs);
    // Designed at 480; right-aligned up to the text box so that a wider font never runs under it.
    lbl_FileName->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Twips::place(lbl_FileName, 360, 720, 915, 300);

    txt_FileName = new QLineEdit(this);
    txt_FileName->setObjectName(u"txt_FileName"_qs);
    txt_FileName->setReadOnly(true);
    Twips::place(txt_FileName, 1320, 720, 3615, 300);
    lbl_FileName->setBuddy(txt_FileName);

    cmd_SelectFile = new QPushButton(u"参照"_qs, this);
    cmd_SelectFile->setObjectName(u"cmd_SelectFile"_qs);
    Twips::place(cmd_SelectFile, 5040, 720, 855, 300);

    pic_ImageBase = new QFrame(this);
    pic_ImageBase->setObjectName(u"pic_ImageBase"_qs);
    pic_ImageBase->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Twips::place(pic_ImageBase, 6120, 240, 855, 855);

    // The picture is cut off at the frame's inner edge, never drawn over its border.
    auto *inner = new QWidget(pic_ImageBase);
    inner->setGeometry(pic_ImageBase->contentsRect());
    img_Image = new QLabel(inner);
    img_Image->setObjectName(u"img_Image"_qs);
    img_Image->resize(0, 0);

    connect(cmd_SelectFile, &QPushButton::clicked, this,
            [this] { emit selectFileClicked(m_index); });
    connect(chk_ImageChange, &QCheckBox::clicked, this,
            [this](bool checked) { emit imageChangeClicked(m_index, checked); });
}

ImageSlotFrame::~ImageSlotFrame()
{
    if (m_slot)
        m_slot->setView(nullptr);
}

void ImageSlotFrame::bind(const std::shared_ptr<cls_ImageData> &slot)
{
    if (m_slot)
        m_slot->setView(nullptr);
    m_slot = slot;
    if (m_slot)
        m_slot->setView(this);
}

QWidget *ImageSlotFrame::firstFocus() const
{
    return chk_ImageChange;
}

QWidget *ImageSlotFrame::lastFocus() const
{
    return cmd_SelectFile;
}

void ImageSlotFrame::showFileText(const QString &text)
{
    txt_FileName->setText(text);
    txt_FileName->setCursorPosition(0);
}

QImage ImageSlotFrame::loadPicture(const QString &file)
{
    if (file.isEmpty())
        return QImage();
    switch (ImagePreview::loaderFor(file)) {
    case ImagePreview::Loader::Png:
        return PNGLoader::LoadPNG(file);
    case ImagePreview::Loader::Jpeg:
        return readAs(file, "jpeg");
    case ImagePreview::Loader::Gif:
        return readAs(file, "gif");
    case ImagePreview::Loader::None:
        break;
    }
    return QImage();
}

void ImageSlotFrame::showPicture(const QString &file)
{
    const QImage picture = loadPicture(file);
    if (picture.isNull()) {
        img_Image->clear();
        img_Image->resize(0, 0);
    } else {
        img_Image->setPixmap(QPixmap::fromImage(picture));
        img_Image->resize(picture.size());
    }
    // Never stretched: a larger picture sits at the top left and is cut off by the frame.
    img_Image->move(
        ImagePreview::placement(img_Image->size(), pic_ImageBase->contentsRect().size()));
    img_Image->setVisible(!picture.isNull());
}

void ImageSlotFrame::showCheckBox(bool checked)
{
    chk_ImageChange->setChecked(checked);
}
