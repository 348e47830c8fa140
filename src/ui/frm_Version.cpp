// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_Version.h"

#include "AppFonts.h"
#include "FormControls.h"
#include "ProgramIcon.h"
#include "Twips.h"
#include "settings/code_main.h"

#include <QDesktopServices>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>

frm_Version::frm_Version(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frm_Version"_qs);
    setWindowTitle(u"ﾊﾞｰｼﾞｮﾝ情報"_qs);
    setWindowIcon(ProgramIcon::icon());
    setModal(true);
    setFixedSize(QSize(Twips::toPixels(5430, this), Twips::toPixels(2145, this)));
    FormControls::setCloseButtonOnly(this);

    Image_Icon = new QLabel(this);
    Image_Icon->setObjectName(u"Image_Icon"_qs);
    Twips::place(Image_Icon, 120, 360, 1440, 1440);
    Image_Icon->setPixmap(ProgramIcon::pixmap());
    Image_Icon->setScaledContents(true);

    auto makeLabel = [this](int index, const QString &text, int left, int top, int width,
                            int height, int points) {
        auto *label = new QLabel(text, this);
        label->setObjectName(u"Label_Version_"_qs + QString::number(index));
        label->setFont(AppFonts::mincho(points, true));
        Twips::place(label, left, top, width, height);
        Label_Version[index] = label;
    };
    makeLabel(0, u"Vellumdex"_qs, 1800, 240, 3495, 375, 18);
    makeLabel(1, u"Version 0.00"_qs, 1800, 600, 3495, 255, 12);
    makeLabel(3, u"お気に入りをHTMLに"_qs, 2040, 1440, 3375, 375, 12);

    lbl_url = new QLabel(homePage(), this);
    lbl_url->setObjectName(u"lbl_url"_qs);
    QFont urlFont = AppFonts::gothic(9, true);
    urlFont.setUnderline(true);
    lbl_url->setFont(urlFont);
    QPalette palette = lbl_url->palette();
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0xFF));
    lbl_url->setPalette(palette);
    lbl_url->setCursor(Qt::PointingHandCursor);
    Twips::place(lbl_url, 1320, 1800, 3975, 255);
    lbl_url->installEventFilter(this);
    lbl_url->setVisible(!homePage().isEmpty());

    Label_Version[1]->setText(code_main::GetVersionText(u"Version "_qs));
}

QString frm_Version::homePage()
{
    return QStringLiteral(VELLUMDEX_HOMEPAGE);
}

bool frm_Version::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lbl_url && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        // No browser, no network: the window simply stays open.
        QDesktopServices::openUrl(QUrl(homePage()));
        return true;
    }
    return QDialog::eventFilter(watched, event);
}
