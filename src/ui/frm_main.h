// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CommonDialog.h"

#include <QPointer>
#include <QSharedPointer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class cls_ConfigData;
class cls_ConfigDatas;
class cls_FtpData;
class cls_SystemMenu;
class frm_MakeHtml;

// The main window: the options of a run, each kept in section "System" of the settings file,
// and the commands that start a conversion, an FTP publication or a restore in a processing
// window. The window hides itself while that window is up.
class frm_main : public QWidget
{
    Q_OBJECT

public:
    explicit frm_main(QWidget *parent = nullptr);
    ~frm_main() override;

    // Adds the window menu entry that opens the About window; called at the end of loading.
    void ShowWindow();

    // The open and save dialogs of the window.
    CommonDialog &commonDialog() { return cdl_Main; }
    // The processing window of the latest run, while it is open.
    frm_MakeHtml *makeForm() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void setTabOrder();
    void Form_Load();
    void Form_Unload();
    void LoadConfigList();
    void LoadFtpList();
    std::shared_ptr<cls_ConfigData> chosenConfigData() const;
    QString SelectDecodeFile();
    void startProcessing();
    void askForConnection();

    void opt_Output_Click(int Index);
    void chk_Sort_Click();
    void opt_Order_Click(int Index);
    void opt_DESC_Click(int Index);
    void chk_encode_Click();
    void txt_FtpFile_Change();
    void cmb_Config_Click();
    void cmd_Run_Click();
    void cmd_decode_Click();
    void cmd_InputFolder_Click();
    void cmd_Favorites_Click();
    void cmd_SaveFile_Click();
    void cmd_FTP_Click();
    void cmd_ConfigEdit_Click();
    void loc_MakeForm_Unload();
    void loc_SystemMenu_Click(int Index);

    QGroupBox *frame_Input;
    QGroupBox *frame_Output;
    QGroupBox *frame_Config;
    QWidget *Fram_Order;
    QWidget *fram_DESC;
    QLabel *Label1[5] = {};
    QLineEdit *txt_InputFolder;
    QLineEdit *txt_SaveFile;
    QLineEdit *txt_FtpFile;
    QLabel *lbl_FtpFileStatus;
    QPushButton *cmd_Favorites;
    QPushButton *cmd_InputFolder;
    QPushButton *cmd_SaveFile;
    QPushButton *cmd_FTP;
    QPushButton *cmd_ConfigEdit;
    QPushButton *cmd_Run;
    QPushButton *cmd_decode;
    QPushButton *cmd_End;
    QRadioButton *opt_Output[2] = {};
    QRadioButton *opt_Order[2] = {};
    QRadioButton *opt_DESC[2] = {};
    QComboBox *cmb_FTP;
    QComboBox *cmb_Config;
    QCheckBox *chk_Sort;
    QCheckBox *chk_encode;
    CommonDialog cdl_Main;

    QPointer<frm_MakeHtml> loc_MakeForm;
    cls_SystemMenu *loc_SystemMenu = nullptr;
    std::unique_ptr<cls_ConfigDatas> loc_ConfigDatas;
    QSharedPointer<cls_FtpData> loc_FtpData;
    bool m_unloaded = false;
};
