// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QList>

#include <memory>

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollBar;
class ImageSlotFrame;
class cls_ConfigData;
class cls_ScrollFrame;

// "定義ファイル詳細設定": the replacement images of one definition, a frame per image slot in
// a scrolling viewport, and a chooser that applies a whole image set. OK stores the choices in
// Config.ini; a cancel stores nothing and the next GetStatus brings the saved state back.
class frm_ConfigEdit : public QDialog
{
    Q_OBJECT

public:
    // Client width (fixed) and least client height, in twips.
    static constexpr int InnerWidth = 7695;
    static constexpr int MinInnerHeight = 5460;

    explicit frm_ConfigEdit(QWidget *parent = nullptr);
    ~frm_ConfigEdit() override;

    // The definition to edit; loads it (slots, sets and saved choices afresh) and lays out
    // its slots. Set it once, before the dialog is shown.
    void setConfigData(const std::shared_ptr<cls_ConfigData> &ConfigData);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void Form_Load();
    void Form_Resize();
    void SetImageSetList();
    void LayoutImages();
    void AddImageFrame(int Index, int top);
    void cmd_SelectFile_Click(int Index);
    void cmb_ImageSet_Click(int row);
    void chk_ImageChange_Click(int Index, bool checked);
    void cmd_OK_Click();
    void placeButtons();
    void focusMovedTo(QWidget *widget);

    std::shared_ptr<cls_ConfigData> m_configData;
    cls_ScrollFrame *m_scrollFrame = nullptr;
    QMetaObject::Connection m_focusWatch;

    QGroupBox *frame_ImageSet;
    QLabel *Label1;
    QComboBox *cmb_ImageSet;
    QFrame *pic_frame;
    QScrollBar *vsl_frame;
    QList<ImageSlotFrame *> frame_Image; // element 0 is the hidden design frame
    QPushButton *cmd_OK;
    QPushButton *cmd_Cancel;

    // The viewport's place in twips, kept so that no pixel rounding creeps into the layout.
    int m_viewTop = 1080;
    int m_viewHeight = 3975;
};
