// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_ConfigEdit.h"

#include "FormControls.h"
#include "ImageSlotFrame.h"
#include "Twips.h"
#include "base/MessageSink.h"
#include "cls_ScrollFrame.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ImageData.h"
#include "definitions/cls_ImageSetData.h"
#include "settings/code_main.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace {

constexpr int ViewLeft = 120;
constexpr int ViewWidth = 7455;
constexpr int SlotLeft = 60;
constexpr int SlotGap = 120;
constexpr int ButtonWidth = 1455;
constexpr int ButtonHeight = 375;
constexpr int OkLeft = 4560;
constexpr int CancelLeft = 6120;

} // namespace

frm_ConfigEdit::frm_ConfigEdit(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frm_ConfigEdit"_qs);
    setWindowTitle(u"定義ファイル詳細設定"_qs);

    frame_ImageSet = new QGroupBox(u"画像ファイルセット"_qs, this);
    frame_ImageSet->setObjectName(u"frame_ImageSet"_qs);
    FormControls::setCaptionOnFrameLine(frame_ImageSet);
    Twips::place(frame_ImageSet, 120, 120, 7455, 855);
    Label1 = new QLabel(u"セット名"_qs, frame_ImageSet);
    Label1->setObjectName(u"Label1"_qs);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Twips::place(Label1, 2160, 360, 720, 315);
    cmb_ImageSet = new QComboBox(frame_ImageSet);
    cmb_ImageSet->setObjectName(u"cmb_ImageSet"_qs);
    Twips::place(cmb_ImageSet, 2880, 360, 4335, 315);
    Label1->setBuddy(cmb_ImageSet);

    pic_frame = new QFrame(this);
    pic_frame->setObjectName(u"pic_frame"_qs);
    pic_frame->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    Twips::place(pic_frame, ViewLeft, m_viewTop, ViewWidth, m_viewHeight);

    vsl_frame = new QScrollBar(Qt::Vertical, this);
    vsl_frame->setObjectName(u"vsl_frame"_qs);
    vsl_frame->resize(vsl_frame->sizeHint().width(), vsl_frame->sizeHint().height());
    vsl_frame->hide();

    // The design frame: never shown and never given a slot; the slot frames are made like it.
    frame_Image.append(new ImageSlotFrame(0, pic_frame));
    frame_Image.front()->hide();

    cmd_OK = new QPushButton(u"ＯＫ"_qs, this);
    cmd_OK->setObjectName(u"cmd_OK"_qs);
    cmd_Cancel = new QPushButton(u"キャンセル"_qs, this);
    cmd_Cancel->setObjectName(u"cmd_Cancel"_qs);
    cmd_OK->setDefault(true);
    placeButtons();

    const int width = Twips::toPixels(InnerWidth, this);
    setMinimumSize(width, Twips::toPixels(MinInnerHeight, this));
    setMaximumWidth(width);
    resize(width, Twips::toPixels(MinInnerHeight, this));

    m_focusWatch = connect(qApp, &QApplication::focusChanged, this,
                           [this](QWidget *, QWidget *now) { focusMovedTo(now); });
    connect(cmd_OK, &QPushButton::clicked, this, &frm_ConfigEdit::cmd_OK_Click);
    connect(cmd_Cancel, &QPushButton::clicked, this, &QDialog::reject);
}

frm_ConfigEdit::~frm_ConfigEdit()
{
    // Focus moves while the controls go; and the slots, which outlive this window, must stop
    // writing to its controls first.
    disconnect(m_focusWatch);
    qDeleteAll(frame_Image);
}

void frm_ConfigEdit::setConfigData(const std::shared_ptr<cls_ConfigData> &ConfigData)
{
    // Loaded once, as the window is laid out for one definition.
    if (m_configData || !ConfigData)
        return;
    m_configData = ConfigData;
    Form_Load();
}

void frm_ConfigEdit::Form_Load()
{
    m_scrollFrame = new cls_ScrollFrame(this);
    m_configData->GetStatus();
    SetImageSetList();
    LayoutImages();
    m_scrollFrame->setMoveStep(120);
    m_scrollFrame->SetFrame(pic_frame);
    m_scrollFrame->SetScrollBar(vsl_frame);
}

void frm_ConfigEdit::SetImageSetList()
{
    const auto &sets = m_configData->ImageSets();
    if (sets.isEmpty()) {
        frame_ImageSet->hide();
        return;
    }
    for (const auto &set : sets)
        cmb_ImageSet->addItem(set->Caption(), set->Index());
    cmb_ImageSet->setCurrentIndex(-1);
    connect(cmb_ImageSet, &QComboBox::activated, this, &frm_ConfigEdit::cmb_ImageSet_Click);
}

void frm_ConfigEdit::LayoutImages()
{
    if (m_configData->ImageSets().isEmpty()) {
        m_viewTop = 0;
        Twips::place(pic_frame, ViewLeft, m_viewTop, ViewWidth, m_viewHeight);
    }
    double top = 0;
    const auto &images = m_configData->Images();
    for (int i = 1; i <= images.size(); ++i) {
        AddImageFrame(i, int(top));
        top += ImageSlotFrame::FrameHeight + SlotGap;
        ImageSlotFrame *frame = frame_Image.at(i);
        frame->bind(images.at(i - 1));
        frame->setTitle(images.at(i - 1)->Caption());
    }
    m_scrollFrame->setHeight(int(std::lround(top)));
    QWidget *previous = cmb_ImageSet;
    for (qsizetype i = 1; i < frame_Image.size(); ++i) {
        setTabOrder(previous, frame_Image.at(i)->firstFocus());
        previous = frame_Image.at(i)->lastFocus();
    }
    setTabOrder(previous, cmd_OK);
    setTabOrder(cmd_OK, cmd_Cancel);
    placeButtons();
    resize(width(), Twips::toPixels(m_viewTop + m_viewHeight + SlotGap + ButtonHeight + 60, this));
    Form_Resize();
}

void frm_ConfigEdit::AddImageFrame(int Index, int top)
{
    auto *frame = new ImageSlotFrame(Index, pic_frame);
    frame_Image.append(frame);
    Twips::move(frame, SlotLeft, top);
    frame->show();
    connect(frame, &ImageSlotFrame::selectFileClicked, this, &frm_ConfigEdit::cmd_SelectFile_Click);
    connect(frame, &ImageSlotFrame::imageChangeClicked, this,
            &frm_ConfigEdit::chk_ImageChange_Click);
    m_scrollFrame->MoveCtlAdd(frame);
}

void frm_ConfigEdit::placeButtons()
{
    const int top = m_viewTop + m_viewHeight + SlotGap;
    Twips::place(cmd_OK, OkLeft, top, ButtonWidth, ButtonHeight);
    Twips::place(cmd_Cancel, CancelLeft, top, ButtonWidth, ButtonHeight);
}

void frm_ConfigEdit::wheelEvent(QWheelEvent *event)
{
    // The wheel over the slot frames turns the viewport's bar.
    if (vsl_frame->isEnabled() && pic_frame->geometry().contains(event->position().toPoint()))
        QCoreApplication::sendEvent(vsl_frame, event);
    else
        QDialog::wheelEvent(event);
}

void frm_ConfigEdit::focusMovedTo(QWidget *widget)
{
    // A control reached by Tab outside the viewport is scrolled into view, a step at a time.
    if (!widget || !vsl_frame->isEnabled() || !pic_frame->isAncestorOf(widget))
        return;
    const int step = Twips::toPixels(120, this);
    if (step <= 0)
        return;
    const QRect area = pic_frame->contentsRect();
    const QRect box(widget->mapTo(pic_frame, QPoint(0, 0)), widget->size());
    int value = vsl_frame->value();
    if (box.top() < area.top())
        value -= (area.top() - box.top() + step - 1) / step;
    else if (box.bottom() > area.bottom())
        value += (box.bottom() - area.bottom() + step - 1) / step;
    vsl_frame->setValue(value);
}

void frm_ConfigEdit::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frm_ConfigEdit::Form_Resize()
{
    const int fixedWidth = Twips::toPixels(InnerWidth, this);
    const int minHeight = Twips::toPixels(MinInnerHeight, this);
    // A visible window gets a resize event of its own for the corrected size; a hidden one
    // is laid out at once.
    if (width() != fixedWidth) {
        resize(fixedWidth, height());
        if (!isVisible() && width() == fixedWidth)
            Form_Resize();
        return;
    }
    if (height() < minHeight) {
        resize(width(), minHeight);
        if (!isVisible() && height() >= minHeight)
            Form_Resize();
        return;
    }
    m_viewHeight = Twips::fromPixels(height(), this) - m_viewTop - (ButtonHeight + 180);
    Twips::place(pic_frame, ViewLeft, m_viewTop, ViewWidth, m_viewHeight);
    placeButtons();
    if (m_scrollFrame)
        m_scrollFrame->Refreash();
}

void frm_ConfigEdit::cmd_SelectFile_Click(int Index)
{
    const auto slot = m_configData->Image(Index);
    if (!slot)
        return;
    const QString mask = slot->Mask().trimmed().isEmpty() ? u"*"_qs : slot->Mask();
    QFileDialog dialog(this);
    dialog.setObjectName(u"cdl_Main"_qs);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // The filter reads as the definition writes it, ";" and all; Qt's dialog takes patterns
    // apart at blanks only, so the patterns it filters by are handed to it apart.
    dialog.setNameFilter(u"画像ファイル ("_qs + mask + u')');
    const QStringList patterns = mask.split(QRegularExpression(u"[;\\s]+"_qs), Qt::SkipEmptyParts);
    auto filterByPatterns = [&dialog, patterns] {
        if (auto *files = dialog.findChild<QFileSystemModel *>())
            files->setNameFilters(patterns);
    };
    filterByPatterns();
    connect(&dialog, &QFileDialog::filterSelected, &dialog, filterByPatterns);
    dialog.setDirectory(m_configData->BasePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    slot->setSelectFile(dialog.selectedFiles().constFirst());
}

void frm_ConfigEdit::cmb_ImageSet_Click(int row)
{
    const auto set = m_configData->ImageSet(cmb_ImageSet->itemData(row).toInt());
    if (!set)
        return;
    QStringList refused;
    for (const auto &slot : m_configData->Images()) {
        const QString file = set->FileName(slot->BaseName());
        if (!file.isEmpty() && !slot->InsideDefinition(file)) {
            refused << file;
            continue;
        }
        slot->setSelectFile(file);
        slot->setImageChange(true);
    }
    if (!refused.isEmpty())
        MessageSink::show(
            u"画像セットのファイルが定義ファイルのフォルダの外を指しているため使用しません\r\n"_qs +
            refused.join(u"\r\n"_qs));
}

void frm_ConfigEdit::chk_ImageChange_Click(int Index, bool checked)
{
    if (const auto slot = m_configData->Image(Index))
        slot->setImageChange(checked);
}

void frm_ConfigEdit::cmd_OK_Click()
{
    if (!m_configData || !m_configData->SaveSetting()) {
        if (m_configData)
            MessageSink::show(u"設定ファイル「"_qs + code_main::ConfigIni().fileName() +
                              u"」に書き込めませんでした。画像の設定は保存されていません。"_qs);
        else
            reject();
        return;
    }
    accept();
}
