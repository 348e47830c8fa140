// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ftp/FtpConnectionData.h"

#include <QDialog>
#include <QList>
#include <QPair>
#include <QSharedPointer>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class cls_FtpData;

// "ＦＴＰ接続の設定": edits the records of run::FtpConnections in place. OK stores them;
// every way of closing rebuilds FtpConnections from the settings file, which is what throws
// the edits of a cancel away.
class frm_FTPConfig : public QDialog
{
    Q_OBJECT

public:
    explicit frm_FTPConfig(QWidget *parent = nullptr);

    // False only once the dialog was closed with OK; readable after it has closed.
    bool Cancel() const { return m_cancel; }
    // The name of the connection last added, when OK stored it; empty otherwise.
    QString AddedName() const { return m_addedName; }

    void done(int result) override;

private:
    void Form_Load();
    void ShowFtpData();
    void lst_Ftp_Click();
    void cmd_Add_Click();
    void cmd_Del_Click();
    void cmd_OK_Click();

    QLineEdit *addField(const char *name, const QString &label, const QString &tip, int top,
                        bool recordField = true);
    QPushButton *addButton(const char *name, const QString &caption, const QString &tip, int left,
                           int top, int width);

    QListWidget *lst_Ftp;
    QLineEdit *txt_Name;
    QLineEdit *txt_Ftpsvr;
    QLineEdit *txt_uid;
    QLineEdit *txt_pwd;
    QLineEdit *txt_Dir;
    QCheckBox *chk_FtpPassive;
    QComboBox *cmb_Protocol;
    QLineEdit *txt_KeyFile;
    QPushButton *cmd_Add;
    QPushButton *cmd_Del;
    QPushButton *cmd_OK;
    QPushButton *cmd_Cancel;
    QLabel *lbl_Status;

    QSharedPointer<cls_FtpData> CurrentFtpData;
    // Each connection as the dialog found it: OK stores only what differs.
    QList<QPair<QSharedPointer<cls_FtpData>, FtpConnectionData>> m_loaded;
    QWeakPointer<cls_FtpData> m_added;
    QString m_addedName;
    bool m_cancel = true;
};
