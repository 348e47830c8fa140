// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "definitions/ImageSlotView.h"

#include <QGroupBox>

#include <memory>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class cls_ImageData;

// One image slot's frame in the definition editor: the replace switch, the chosen file, the
// "参照" button and the preview. The slot writes to it; clicks go to the editor by slot number.
class ImageSlotFrame : public QGroupBox, public ImageSlotView
{
    Q_OBJECT

public:
    // Design size of a slot frame, in twips.
    static constexpr int FrameWidth = 7095;
    static constexpr int FrameHeight = 1215;

    ImageSlotFrame(int Index, QWidget *parent);
    ~ImageSlotFrame() override;

    int Index() const { return m_index; }
    // Binds the slot, which then shows its file, preview and switch here.
    void bind(const std::shared_ptr<cls_ImageData> &slot);

    void showFileText(const QString &text) override;
    void showPicture(const QString &file) override;
    void showCheckBox(bool checked) override;

    // The first and the last control that Tab reaches in this frame.
    QWidget *firstFocus() const;
    QWidget *lastFocus() const;

    // The preview picture of a file, by the preview rules; null when there is none.
    static QImage loadPicture(const QString &file);

signals:
    void selectFileClicked(int Index);
    void imageChangeClicked(int Index, bool checked);

private:
    int m_index;
    std::shared_ptr<cls_ImageData> m_slot;
    QCheckBox *chk_ImageChange;
    QLabel *lbl_FileName;
    QLineEdit *txt_FileName;
    QPushButton *cmd_SelectFile;
    QFrame *pic_ImageBase;
    QLabel *img_Image;
};
