// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_main.h"

#include "FormControls.h"
#include "FtpFieldValidator.h"
#include "ProgramIcon.h"
#include "Twips.h"
#include "base/MessageSink.h"
#include "base/RunError.h"
#include "cls_SystemMenu.h"
#include "code_SystemMenu.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ConfigDatas.h"
#include "frm_ConfigEdit.h"
#include "frm_FTPConfig.h"
#include "frm_MakeHtml.h"
#include "frm_Version.h"
#include "ftp/FtpConnections.h"
#include "ftp/cls_FtpData.h"
#include "mSHBF.h"
#include "restore/BookmarkImport.h"
#include "run/MakeHtmlProcess.h"
#include "settings/code_main.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const QString System = u"System"_qs;
const QString Filter = u"HTMLファイル (*.html)|*.html|"_qs;
const QString BrowserFilter = u"ブラウザのブックマーク|places.sqlite;Bookmarks|"_qs;

QString setting(const QString &key, const QString &defaultValue)
{
    return code_main::SettingsIni().T_GetSetting(key, defaultValue, System);
}

// A setting that cannot be saved is told once a session, with its cause, not at every key.
void saveSetting(const QString &key, const QString &value)
{
    static bool told = false;
    IniClass &ini = code_main::SettingsIni();
    if (ini.T_SaveSetting(key, value, System) || told)
        return;
    told = true;
    MessageSink::show(u"設定ファイル「"_qs + ini.fileName() +
                      u"」に書き込めませんでした。設定は保存されていません。\r\n"_qs +
                      ini.lastError());
}

QString defaultSaveFile()
{
    return code_main::DefaultOutputFolder() + u"/Favorites.html"_qs;
}

// A stored option index: 0 or 1; anything else is taken as 0.
int optionIndex(const QString &key)
{
    return setting(key, u"0"_qs) == u"1"_qs ? 1 : 0;
}

using FormControls::setBoxColour;

} // namespace

frm_main::frm_main(QWidget *parent) : QWidget(parent), cdl_Main(this)
{
    setObjectName(u"frm_main"_qs);
    setWindowTitle(u"Vellumdex"_qs);
    setWindowIcon(ProgramIcon::icon());
    setFixedSize(QSize(Twips::toPixels(5895, this), Twips::toPixels(7560, this)));
    createControls();
    setTabOrder();
    Form_Load();
}

frm_main::~frm_main()
{
    Form_Unload();
}

void frm_main::createControls()
{
    using namespace FormControls;
    auto label = [this](QWidget *parent, int index, const QString &caption, int left, int top,
                        int width, int height) {
        Label1[index] = FormControls::label(parent, u"Label1_"_qs + QString::number(index), caption,
                                            left, top, width, height);
    };

    frame_Input = group(this, "frame_Input", u"入力"_qs, 120, 120, 5655, 1215);
    label(frame_Input, 0, u"対象フォルダ指定"_qs, 240, 240, 1935, 255);
    txt_InputFolder = textBox(frame_Input, "txt_InputFolder", u"変換元となるフォルダです"_qs, false,
                              360, 480, 5055, 270);
    cmd_Favorites = button(frame_Input, "cmd_Favorites", u"お気に入りﾌｫﾙﾀﾞ"_qs,
                           u"お気に入りフォルダを指定します"_qs, 2640, 840, 1695, 255);
    cmd_InputFolder = button(frame_Input, "cmd_InputFolder", u"参照"_qs,
                             u"フォルダの選択が出来ます"_qs, 4440, 840, 975, 255);

    frame_Output = group(this, "frame_Output", u"出力"_qs, 120, 1440, 5655, 3135);
    opt_Output[0] = option(frame_Output, u"opt_Output_0"_qs, u"ファイル出力"_qs,
                           u"お気に入りをファイルに変換します"_qs, 120, 360, 2775, 255);
    label(frame_Output, 1, u"出力ファイル指定"_qs, 240, 720, 1335, 255);
    txt_SaveFile = textBox(frame_Output, "txt_SaveFile", u"変換ファイルの名前とフォルダです"_qs,
                           false, 360, 960, 5055, 270);
    cmd_SaveFile = button(frame_Output, "cmd_SaveFile", u"参照"_qs, u"出力ファイルを指定します"_qs,
                          4440, 1320, 975, 255);
    opt_Output[1] = option(frame_Output, u"opt_Output_1"_qs, u"ＦＴＰ出力"_qs,
                           u"お気に入りをファイルに変換した後ＦＴＰサーバーに転送します"_qs, 120,
                           1440, 2775, 255);
    label(frame_Output, 3, u"出力ファイル名"_qs, 240, 1800, 1335, 255);
    txt_FtpFile =
        textBox(frame_Output, "txt_FtpFile", u"ＦＴＰサーバーに転送するファイル名を入力します"_qs,
                false, 360, 2040, 3015, 270);
    // The name goes to the server in code page 932: what it cannot hold is refused as typed.
    lbl_FtpFileStatus = new QLabel(frame_Output);
    lbl_FtpFileStatus->setObjectName(u"lbl_FtpFileStatus"_qs);
    lbl_FtpFileStatus->setWordWrap(true);
    Twips::place(lbl_FtpFileStatus, 3480, 1800, 2055, 780);
    auto *remoteName = new FtpFieldValidator(FtpFieldValidator::Field::RemoteName, txt_FtpFile);
    txt_FtpFile->setValidator(remoteName);
    connect(remoteName, &FtpFieldValidator::refused, lbl_FtpFileStatus, &QLabel::setText);
    connect(txt_FtpFile, &QLineEdit::textChanged, lbl_FtpFileStatus, &QLabel::clear);
    label(frame_Output, 4, u"ＦＴＰ接続"_qs, 240, 2400, 1335, 255);
    cmb_FTP = combo(frame_Output, "cmb_FTP", u"ＦＴＰ接続を選択します"_qs, 360, 2640, 3015, 300);
    cmd_FTP = button(frame_Output, "cmd_FTP", u"設定"_qs, u"ＦＴＰ接続の設定します"_qs, 3480, 2640,
                     975, 255);

    frame_Config = group(this, "frame_Config", u"設定"_qs, 120, 4680, 5655, 2295);
    label(frame_Config, 2, u"定義ファイル"_qs, 240, 240, 1335, 255);
    cmb_Config =
        combo(frame_Config, "cmb_Config", u"変換定義ファイルを選択します"_qs, 360, 480, 5055, 300);
    cmd_ConfigEdit =
        button(frame_Config, "cmd_ConfigEdit", u"詳細設定"_qs, QString(), 4320, 780, 1095, 375);
    cmd_ConfigEdit->setEnabled(false);
    chk_Sort = check(frame_Config, "chk_Sort", u"出力するお気に入りを並べ替える"_qs,
                     u"お気に入りを変換する時に並べ替えを行います"_qs, 360, 960, 3975, 255);
    Fram_Order = container(frame_Config, "Fram_Order", 1560, 1320, 1815, 495);
    opt_Order[0] = option(Fram_Order, u"opt_Order_0"_qs, u"名称順"_qs,
                          u"名称順に並べ替えを行います"_qs, 0, 0, 1575, 255);
    opt_Order[1] = option(Fram_Order, u"opt_Order_1"_qs, u"製作日順"_qs,
                          u"お気に入りの製作日で並べ替えを行います"_qs, 0, 240, 1575, 255);
    fram_DESC = container(frame_Config, "fram_DESC", 3360, 1320, 975, 495);
    opt_DESC[0] = option(fram_DESC, u"opt_DESC_0"_qs, u"昇順"_qs,
                         u"並べ替えを昇順「a→z」で行います"_qs, 0, 0, 735, 255);
    opt_DESC[1] = option(fram_DESC, u"opt_DESC_1"_qs, u"降順"_qs,
                         u"並べ替えを降順「z→a」で行います"_qs, 0, 240, 735, 255);
    opt_DESC[0]->setChecked(true);
    chk_encode = check(frame_Config, "chk_encode", u"復元するためのコードを付加する"_qs,
                       u"お気に入りを復元するためのコードを付加します"_qs, 360, 1920, 3975, 255);

    cmd_Run = button(this, "cmd_Run", u"HTML作成(&H)"_qs, u"お気に入りの変換を行います"_qs, 120,
                     7080, 1455, 375);
    cmd_decode = button(this, "cmd_decode", u"お気に入り 復元(&R)"_qs,
                        u"ＨＴＭＬファイルからお気に入りを復元します"_qs, 1680, 7080, 1455, 375);
    cmd_End = button(this, "cmd_End", u"終了(&X)"_qs, u"Ｖｅｌｌｕｍｄｅｘを終了します"_qs, 4320,
                     7080, 1455, 375);

    // The three option pairs: a reaction runs whenever an option becomes the chosen one,
    // by a click or by loading.
    auto pair = [this](QRadioButton *const options[2], void (frm_main::*reaction)(int)) {
        auto *buttons = new QButtonGroup(this);
        for (int i = 0; i < 2; ++i) {
            buttons->addButton(options[i], i);
            connect(options[i], &QRadioButton::toggled, this, [this, reaction, i](bool on) {
                if (on)
                    (this->*reaction)(i);
            });
        }
        buttons->setExclusive(true);
    };
    pair(opt_Output, &frm_main::opt_Output_Click);
    pair(opt_Order, &frm_main::opt_Order_Click);
    pair(opt_DESC, &frm_main::opt_DESC_Click);

    connect(chk_Sort, &QCheckBox::toggled, this, &frm_main::chk_Sort_Click);
    connect(chk_encode, &QCheckBox::toggled, this, &frm_main::chk_encode_Click);
    connect(txt_FtpFile, &QLineEdit::textChanged, this, &frm_main::txt_FtpFile_Change);
    // Typed or pasted paths are kept as the chosen ones are, and checked when a run starts.
    connect(txt_InputFolder, &QLineEdit::editingFinished, this,
            [this] { saveSetting(u"InputFolder"_qs, txt_InputFolder->text()); });
    connect(txt_SaveFile, &QLineEdit::editingFinished, this,
            [this] { saveSetting(u"SaveFile"_qs, txt_SaveFile->text()); });
    connect(cmb_Config, &QComboBox::currentIndexChanged, this, &frm_main::cmb_Config_Click);
    connect(cmd_Run, &QPushButton::clicked, this, &frm_main::cmd_Run_Click);
    connect(cmd_decode, &QPushButton::clicked, this, &frm_main::cmd_decode_Click);
    connect(cmd_End, &QPushButton::clicked, this, &QWidget::close);
    connect(cmd_InputFolder, &QPushButton::clicked, this, &frm_main::cmd_InputFolder_Click);
    connect(cmd_Favorites, &QPushButton::clicked, this, &frm_main::cmd_Favorites_Click);
    connect(cmd_SaveFile, &QPushButton::clicked, this, &frm_main::cmd_SaveFile_Click);
    connect(cmd_FTP, &QPushButton::clicked, this, &frm_main::cmd_FTP_Click);
    connect(cmd_ConfigEdit, &QPushButton::clicked, this, &frm_main::cmd_ConfigEdit_Click);
}

void frm_main::setTabOrder()
{
    // As the window reads: top to bottom, and left to right within a row.
    const std::vector<QWidget *> order{
        txt_InputFolder, cmd_Favorites,  cmd_InputFolder, opt_Output[0], txt_SaveFile,
        cmd_SaveFile,    opt_Output[1],  txt_FtpFile,     cmb_FTP,       cmd_FTP,
        cmb_Config,      cmd_ConfigEdit, chk_Sort,        opt_Order[0],  opt_Order[1],
        opt_DESC[0],     opt_DESC[1],    chk_encode,      cmd_Run,       cmd_decode,
        cmd_End,
    };
    for (size_t i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    cmd_Run->setFocus();
}

void frm_main::Form_Load()
{
    setWindowTitle(windowTitle() + u' ' + code_main::GetVersionText(u"Ver."_qs));
    code_main::SettingsIni().SetSection(System);
    txt_InputFolder->setText(
        code_main::SettingsIni().T_GetSetting(u"InputFolder"_qs, code_main::GetFavoritesFolder()));
    txt_SaveFile->setText(code_main::SettingsIni().T_GetSetting(u"SaveFile"_qs, defaultSaveFile()));
    // Neither output option is chosen yet, so this choice always runs its reaction.
    opt_Output[optionIndex(u"Output"_qs)]->setChecked(true);
    chk_encode->setChecked(setting(u"Decode"_qs, u"0"_qs) == u"1"_qs);
    chk_Sort->setChecked(setting(u"Sort"_qs, u"0"_qs) == u"1"_qs);
    opt_Order[optionIndex(u"Order"_qs)]->setChecked(true);
    opt_DESC[optionIndex(u"DESC"_qs)]->setChecked(true);
    // Run once whatever the stored value: the sort options' enabling follows the check box.
    chk_Sort_Click();
    LoadConfigList();
    if (loc_ConfigDatas->Items().isEmpty()) {
        cmd_Run->setEnabled(false);
    } else {
        if (cmb_Config->currentIndex() < 0) {
            const QSignalBlocker once(cmb_Config); // the reaction runs once, just below
            cmb_Config->setCurrentIndex(0);
        }
        cmb_Config_Click();
    }
    txt_FtpFile->setText(setting(u"FTPSaveFile"_qs, u"Favorites.html"_qs));
    LoadFtpList();
    ShowWindow();
}

void frm_main::LoadConfigList()
{
    const QString stored = setting(u"ConfigFile"_qs, QString());
    loc_ConfigDatas = std::make_unique<cls_ConfigDatas>();
    loc_ConfigDatas->setPaths(code_main::DefinitionFolders());
    // Filled quietly: the chosen definition is loaded once, after the list is complete.
    const QSignalBlocker quiet(cmb_Config);
    cmb_Config->clear();
    int chosen = -1;
    for (const auto &definition : loc_ConfigDatas->Items()) {
        cmb_Config->addItem(definition->Caption(), definition->Index());
        if (definition->Caption() == stored)
            chosen = cmb_Config->count() - 1;
    }
    cmb_Config->setCurrentIndex(chosen);
}

void frm_main::LoadFtpList()
{
    const QString stored = setting(u"FTPName"_qs, QString());
    cmb_FTP->clear();
    int chosen = -1;
    for (const auto &connection : run::FtpConnections()) {
        cmb_FTP->addItem(connection->ViewName());
        if (connection->ViewName() == stored)
            chosen = cmb_FTP->count() - 1;
    }
    cmb_FTP->setCurrentIndex(chosen);
}

std::shared_ptr<cls_ConfigData> frm_main::chosenConfigData() const
{
    if (!loc_ConfigDatas || cmb_Config->currentIndex() < 0)
        return nullptr;
    return loc_ConfigDatas->Item(cmb_Config->currentData().toInt());
}

void frm_main::ShowWindow()
{
    loc_SystemMenu = new cls_SystemMenu(this);
    connect(loc_SystemMenu, &cls_SystemMenu::Click, this, &frm_main::loc_SystemMenu_Click);
    code_SystemMenu::SetMenuEvent(loc_SystemMenu);
    code_SystemMenu::AppendSystemMenu(this, code_SystemMenu::MF_SEPARATOR, 0, QString());
    code_SystemMenu::AppendSystemMenu(this, code_SystemMenu::MF_STRING, 1,
                                      u"バージョン情報(&A)..."_qs);
    if (!code_main::TestMode())
        code_SystemMenu::HookWindow(this);
}

void frm_main::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frm_main::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    saveSetting(u"ConfigFile"_qs,
                cmb_Config->currentIndex() < 0 ? QString() : cmb_Config->currentText());
    saveSetting(u"FTPName"_qs, cmb_FTP->currentIndex() < 0 ? QString() : cmb_FTP->currentText());
    code_SystemMenu::UnhookWindow(this);
}

void frm_main::opt_Output_Click(int Index)
{
    const bool file = Index == 0;
    txt_SaveFile->setEnabled(file);
    cmd_SaveFile->setEnabled(file);
    setBoxColour(txt_SaveFile, file);
    txt_FtpFile->setEnabled(!file);
    cmb_FTP->setEnabled(!file);
    cmd_FTP->setEnabled(!file);
    setBoxColour(txt_FtpFile, !file);
    setBoxColour(cmb_FTP, !file);
    saveSetting(u"Output"_qs, QString::number(Index));
}

void frm_main::chk_Sort_Click()
{
    const bool on = chk_Sort->isChecked();
    saveSetting(u"Sort"_qs, on ? u"1"_qs : u"0"_qs);
    for (QRadioButton *o : {opt_Order[0], opt_Order[1], opt_DESC[0], opt_DESC[1]})
        o->setEnabled(on);
}

void frm_main::opt_Order_Click(int Index)
{
    saveSetting(u"Order"_qs, QString::number(Index));
}

void frm_main::opt_DESC_Click(int Index)
{
    saveSetting(u"DESC"_qs, QString::number(Index));
}

void frm_main::chk_encode_Click()
{
    saveSetting(u"Decode"_qs, chk_encode->isChecked() ? u"1"_qs : u"0"_qs);
}

void frm_main::txt_FtpFile_Change()
{
    saveSetting(u"FTPSaveFile"_qs, txt_FtpFile->text());
}

void frm_main::cmb_Config_Click()
{
    cmd_ConfigEdit->setEnabled(false);
    const auto definition = chosenConfigData();
    if (!definition)
        return;
    definition->GetStatus();
    cmd_ConfigEdit->setEnabled(!definition->Images().isEmpty());
}

void frm_main::startProcessing()
{
    hide();
    // Once, so that the main window is gone before the long call starts.
    QCoreApplication::processEvents();
    loc_MakeForm->show();
}

void frm_main::cmd_Run_Click()
{
    // Refused before anything is read: the folder and the page are the user's choice.
    QString problem = MakeHtmlProcess::inputFolderProblem(txt_InputFolder->text());
    QLineEdit *wrong = txt_InputFolder;
    if (problem.isEmpty() && opt_Output[0]->isChecked()) {
        problem = MakeHtmlProcess::outputFileProblem(txt_SaveFile->text());
        wrong = txt_SaveFile;
    }
    if (!problem.isEmpty()) {
        MessageSink::show(problem);
        wrong->setFocus();
        return;
    }

    loc_FtpData.reset();
    if (cmb_FTP->currentIndex() >= 0) {
        for (const auto &connection : run::FtpConnections())
            if (connection->ViewName() == cmb_FTP->currentText())
                loc_FtpData = connection;
    }
    if (opt_Output[1]->isChecked() && !loc_FtpData) {
        askForConnection();
        return;
    }

    const auto definition = chosenConfigData();
    if (!definition)
        return;
    try {
        definition->Htmlcfg_Open();
    } catch (const RunError &e) {
        MessageSink::show(e.message());
        return;
    }

    auto *form = new frm_MakeHtml;
    loc_MakeForm = form;
    connect(form, &frm_MakeHtml::Unload, this, &frm_main::loc_MakeForm_Unload);
    form->setSort(chk_Sort->isChecked());
    form->setSortOrder(opt_Order[0]->isChecked() ? 1 : 2);
    form->setSortDESC(opt_DESC[1]->isChecked());
    form->setInputFolder(txt_InputFolder->text());
    form->setDecodeFlag(chk_encode->isChecked());
    startProcessing();
    if (opt_Output[0]->isChecked())
        form->MakeHtml(txt_SaveFile->text(), *definition);
    else
        form->SendFtp(*definition, *loc_FtpData, txt_FtpFile->text());
}

// FTP output with no connection to send over: nothing is sent; the user is told which one is
// missing and offered the dialog that makes or chooses one.
void frm_main::askForConnection()
{
    const QString missing =
        cmb_FTP->count() == 0 ? u"ＦＴＰ接続がまだ設定されていません。"_qs
        : cmb_FTP->currentIndex() < 0
            ? u"ＦＴＰ接続が選択されていません。"_qs
            : u"ＦＴＰ接続「"_qs + cmb_FTP->currentText() + u"」が見つかりません。"_qs;
    const auto answer = QMessageBox::question(this, u"Vellumdex"_qs,
                                              missing + u"\n\nＦＴＰ接続の設定を開きますか？"_qs,
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        cmd_FTP_Click();
    cmb_FTP->setFocus();
}

QString frm_main::SelectDecodeFile()
{
    cdl_Main.setFilter(Filter + BrowserFilter);
    const QString saveFile = setting(u"SaveFile"_qs, defaultSaveFile());
    const qsizetype slash = saveFile.lastIndexOf(u'/');
    cdl_Main.setInitDir(slash < 0 ? QString() : saveFile.left(slash));
    cdl_Main.setFileName(saveFile.mid(slash + 1));
    if (!cdl_Main.ShowOpen())
        return QString();
    // A browser's database never becomes the page the next conversion writes over.
    if (BookmarkImport::sourceOf(cdl_Main.FileName()) == BookmarkImport::Source::BookmarkFile)
        saveSetting(u"SaveFile"_qs, cdl_Main.FileName());
    return cdl_Main.FileName();
}

void frm_main::cmd_decode_Click()
{
    const QString page = SelectDecodeFile();
    if (page.isEmpty())
        return;
    mSHBF::SetTitle(u"復元場所フォルダ選択"_qs);
    mSHBF::SetOwner(this);
    mSHBF::SetStartFolder(code_main::GetDesktopFolder());
    const QString folder = mSHBF::BrowseFolder();
    if (folder.isEmpty())
        return;
    auto *form = new frm_MakeHtml;
    loc_MakeForm = form;
    connect(form, &frm_MakeHtml::Unload, this, &frm_main::loc_MakeForm_Unload);
    startProcessing();
    form->DecodeStart(page, folder);
}

void frm_main::cmd_InputFolder_Click()
{
    mSHBF::SetTitle(u"フォルダ選択"_qs);
    mSHBF::SetOwner(this);
    mSHBF::SetStartFolder(txt_InputFolder->text());
    const QString folder = mSHBF::BrowseFolder();
    // A cancelled picker leaves the source folder as it was.
    if (folder.isEmpty())
        return;
    txt_InputFolder->setText(folder);
    saveSetting(u"InputFolder"_qs, folder);
}

void frm_main::cmd_Favorites_Click()
{
    const QString favorites = code_main::GetFavoritesFolder();
    if (favorites.isEmpty()) {
        MessageSink::show(u"お気に入りフォルダが見つかりません ["_qs + QDir::homePath() +
                          u"/Favorites]\r\n変換元のフォルダは「参照」で指定してください"_qs);
        return;
    }
    txt_InputFolder->setText(favorites);
    saveSetting(u"InputFolder"_qs, txt_InputFolder->text());
}

void frm_main::cmd_SaveFile_Click()
{
    const QString current = txt_SaveFile->text();
    const qsizetype slash = current.lastIndexOf(u'/');
    QString name = current.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    cdl_Main.setFilter(Filter);
    cdl_Main.setInitDir(slash < 0 ? QString() : current.left(slash));
    cdl_Main.setFileName(name);
    if (!cdl_Main.ShowSave())
        return;
    saveSetting(u"SaveFile"_qs, cdl_Main.FileName());
    txt_SaveFile->setText(cdl_Main.FileName());
}

void frm_main::cmd_FTP_Click()
{
    const QString chosen = cmb_FTP->currentIndex() < 0 ? QString() : cmb_FTP->currentText();
    frm_FTPConfig dialog(this);
    dialog.exec();
    if (dialog.Cancel())
        return;
    // The connection just added is the one wanted next; else the choice made before stays, and
    // only when it is gone does the list fall back to the name in the settings file.
    LoadFtpList();
    for (const QString &name : {dialog.AddedName(), chosen}) {
        const int row = name.isEmpty() ? -1 : cmb_FTP->findText(name, Qt::MatchExactly);
        if (row >= 0) {
            cmb_FTP->setCurrentIndex(row);
            break;
        }
    }
}

void frm_main::cmd_ConfigEdit_Click()
{
    const auto definition = chosenConfigData();
    if (!definition)
        return;
    frm_ConfigEdit dialog(this);
    dialog.setConfigData(definition);
    dialog.exec();
}

void frm_main::loc_MakeForm_Unload()
{
    show();
    activateWindow();
}

void frm_main::loc_SystemMenu_Click(int Index)
{
    if (Index != 1)
        return;
    frm_Version about(this);
    about.exec();
}

frm_MakeHtml *frm_main::makeForm() const
{
    return loc_MakeForm.data();
}
