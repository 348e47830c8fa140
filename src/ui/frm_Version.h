// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;

// The About window: the program's icon, name, version, one line about it and the home page
// (when the build names one), which opens in the browser when clicked. Closed with the window's
// close box.
class frm_Version : public QDialog
{
    Q_OBJECT

public:
    explicit frm_Version(QWidget *parent = nullptr);

    // Empty when the build was given none.
    static QString homePage();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLabel *Image_Icon;
    QLabel *Label_Version[4] = {};
    QLabel *lbl_url;
};
