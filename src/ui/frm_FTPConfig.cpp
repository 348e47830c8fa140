// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_FTPConfig.h"

#include "FormControls.h"
#include "FtpFieldValidator.h"
#include "Twips.h"
#include "base/MessageSink.h"
#include "ftp/FtpConnections.h"
#include "ftp/cls_FtpData.h"
#include "settings/code_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

// Client area and the columns of the layout, in twips.
constexpr int ClientWidth = 6615;
constexpr int ClientHeight = 4815;
constexpr int LabelLeft = 2535;
constexpr int FieldLeft = 3690;
constexpr int FieldWidth = 2805;
constexpr int RowHeight = 300;
constexpr int ButtonTop = 3615;
constexpr int ButtonHeight = 375;

const QString NewConnectionName = u"新しい接続"_qs;

} // namespace

frm_FTPConfig::frm_FTPConfig(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frm_FTPConfig"_qs);
    setWindowTitle(u"ＦＴＰ接続の設定"_qs);
    setFixedSize(Twips::toPixels(ClientWidth, this), Twips::toPixels(ClientHeight, this));
    FormControls::setCloseButtonOnly(this);

    lbl_Status = new QLabel(this);
    lbl_Status->setObjectName(u"lbl_Status"_qs);
    // Two lines: the longest reason does not fit in one.
    lbl_Status->setWordWrap(true);
    lbl_Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Twips::place(lbl_Status, 120, 4080, 6375, 615);

    lst_Ftp = new QListWidget(this);
    lst_Ftp->setObjectName(u"lst_Ftp"_qs);
    lst_Ftp->setToolTip(u"設定済みのＦＴＰ接続一覧です"_qs);
    Twips::place(lst_Ftp, 120, 120, 2295, 3375);

    txt_Name = addField("txt_Name", u"接続名称"_qs, u"接続設定の名称です"_qs, 120);
    txt_Ftpsvr =
        addField("txt_Ftpsvr", u"アドレス"_qs, u"接続先のＦＴＰサーバーを指定します"_qs, 540);
    txt_uid = addField("txt_uid", u"ユーザー名"_qs, u"接続用のUserIDを指定します"_qs, 960);
    // The password is stored scrambled, so it may hold a ",".
    txt_pwd =
        addField("txt_pwd", u"パスワード"_qs, u"接続用のパスワードを指定します"_qs, 1380, false);
    txt_Dir = addField("txt_Dir", u"転送先ﾌｫﾙﾀﾞ"_qs, u"転送先のフォルダを指定します"_qs, 1800);
    txt_pwd->setEchoMode(QLineEdit::Password);
    txt_pwd->setStyleSheet(u"lineedit-password-character: 42"_qs); // "*" for each character

    chk_FtpPassive = new QCheckBox(u"PASVモードを使用する"_qs, this);
    chk_FtpPassive->setObjectName(u"chk_FtpPassive"_qs);
    Twips::place(chk_FtpPassive, LabelLeft, 2280, 3960, 255);
    // In the order of cls_FtpData::Protocol.
    cmb_Protocol = new QComboBox(this);
    cmb_Protocol->setObjectName(u"cmb_Protocol"_qs);
    cmb_Protocol->addItems({u"FTP"_qs, u"FTPS（TLS で暗号化）"_qs, u"SFTP（SSH）"_qs});
    cmb_Protocol->setToolTip(
        u"接続方式を選びます。SFTP はポートの指定がなければ 22 番に接続します"_qs);
    Twips::place(cmb_Protocol, FieldLeft, 2580, FieldWidth, RowHeight);
    auto *protocolCaption = new QLabel(u"接続方式"_qs, this);
    protocolCaption->setBuddy(cmb_Protocol);
    Twips::place(protocolCaption, LabelLeft, 2610, FieldLeft - LabelLeft - 60, 255);
    txt_KeyFile =
        addField("txt_KeyFile", u"秘密鍵"_qs,
                 u"SFTP のログインに使う秘密鍵のファイルです。空なら ~/.ssh の鍵か"
                 "パスワードでログインします。鍵を使うときパスワードはそのパスフレーズです"_qs,
                 3000);
    txt_KeyFile->setEnabled(false); // FTP until a record says otherwise

    cmd_Add =
        addButton("cmd_Add", u"追加"_qs, u"新しいＦＴＰ接続を作成します"_qs, 120, ButtonTop, 1095);
    cmd_Del = addButton("cmd_Del", u"削除"_qs, u"選択中のＦＴＰ接続を削除します"_qs, 1320,
                        ButtonTop, 1095);
    cmd_OK = addButton("cmd_OK", u"ＯＫ"_qs, u"設定の編集を終了します"_qs, 3840, ButtonTop, 1215);
    cmd_Cancel =
        addButton("cmd_Cancel", u"キャンセル"_qs, u"編集を取り消します"_qs, 5280, ButtonTop, 1215);
    cmd_OK->setDefault(true);

    setTabOrder(lst_Ftp, txt_Name);
    setTabOrder(txt_Name, txt_Ftpsvr);
    setTabOrder(txt_Ftpsvr, txt_uid);
    setTabOrder(txt_uid, txt_pwd);
    setTabOrder(txt_pwd, txt_Dir);
    setTabOrder(txt_Dir, chk_FtpPassive);
    setTabOrder(chk_FtpPassive, cmb_Protocol);
    setTabOrder(cmb_Protocol, txt_KeyFile);
    setTabOrder(txt_KeyFile, cmd_Add);
    setTabOrder(cmd_Add, cmd_Del);
    setTabOrder(cmd_Del, cmd_OK);
    setTabOrder(cmd_OK, cmd_Cancel);

    // Every edit goes straight into the record shown; with none shown it goes nowhere.
    const auto edit = [this](QLineEdit *field, void (cls_FtpData::*store)(const QString &)) {
        connect(field, &QLineEdit::textChanged, this, [this, store](const QString &text) {
            if (CurrentFtpData)
                (CurrentFtpData.get()->*store)(text);
        });
    };
    edit(txt_Name, &cls_FtpData::setViewName);
    edit(txt_Ftpsvr, &cls_FtpData::setFtpSrv);
    edit(txt_uid, &cls_FtpData::setFtpUid);
    edit(txt_pwd, &cls_FtpData::setFtpPwd);
    edit(txt_Dir, &cls_FtpData::setFtpDir);
    edit(txt_KeyFile, &cls_FtpData::setFtpKeyFile);
    connect(txt_Name, &QLineEdit::textChanged, this, [this](const QString &text) {
        if (CurrentFtpData && lst_Ftp->currentItem())
            lst_Ftp->currentItem()->setText(text);
    });
    connect(chk_FtpPassive, &QCheckBox::toggled, this, [this](bool on) {
        if (CurrentFtpData)
            CurrentFtpData->setFtpPassive(on);
    });
    connect(cmb_Protocol, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto protocol = cls_FtpData::Protocol(std::max(index, 0));
        // Passive mode and the key file mean something for one kind of connection only.
        chk_FtpPassive->setEnabled(protocol != cls_FtpData::Protocol::Sftp);
        txt_KeyFile->setEnabled(protocol == cls_FtpData::Protocol::Sftp);
        if (CurrentFtpData)
            CurrentFtpData->setFtpProtocol(protocol);
    });
    connect(lst_Ftp, &QListWidget::currentRowChanged, this, [this] { lst_Ftp_Click(); });
    connect(cmd_Add, &QPushButton::clicked, this, &frm_FTPConfig::cmd_Add_Click);
    connect(cmd_Del, &QPushButton::clicked, this, &frm_FTPConfig::cmd_Del_Click);
    connect(cmd_OK, &QPushButton::clicked, this, &frm_FTPConfig::cmd_OK_Click);
    connect(cmd_Cancel, &QPushButton::clicked, this, &QDialog::reject);

    Form_Load();
}

QLineEdit *frm_FTPConfig::addField(const char *name, const QString &label, const QString &tip,
                                   int top, bool recordField)
{
    auto *field = new QLineEdit(this);
    field->setObjectName(QString::fromLatin1(name));
    field->setToolTip(tip);
    auto *validator = new FtpFieldValidator(
        recordField ? FtpFieldValidator::Field::Record : FtpFieldValidator::Field::Password, field);
    connect(validator, &FtpFieldValidator::refused, lbl_Status, &QLabel::setText);
    // A change let in is good input: the reason of an earlier refusal no longer holds.
    connect(field, &QLineEdit::textEdited, lbl_Status, &QLabel::clear);
    field->setValidator(validator);
    Twips::place(field, FieldLeft, top, FieldWidth, RowHeight);
    auto *caption = new QLabel(label, this);
    caption->setBuddy(field);
    Twips::place(caption, LabelLeft, top + 30, FieldLeft - LabelLeft - 60, 255);
    return field;
}

QPushButton *frm_FTPConfig::addButton(const char *name, const QString &caption, const QString &tip,
                                      int left, int top, int width)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(tip);
    Twips::place(button, left, top, width, ButtonHeight);
    return button;
}

void frm_FTPConfig::Form_Load()
{
    CurrentFtpData.reset();
    m_loaded.clear();
    for (const auto &connection : run::FtpConnections()) {
        lst_Ftp->addItem(connection->ViewName());
        m_loaded.append({connection, connection->data()});
    }
    if (lst_Ftp->count() > 0)
        lst_Ftp->setCurrentRow(0);
    m_cancel = true;
}

void frm_FTPConfig::ShowFtpData()
{
    lbl_Status->clear();
    txt_Name->setText(CurrentFtpData->ViewName());
    txt_Ftpsvr->setText(CurrentFtpData->FtpSrv());
    txt_uid->setText(CurrentFtpData->FtpUid());
    txt_pwd->setText(CurrentFtpData->FtpPwd());
    txt_Dir->setText(CurrentFtpData->FtpDir());
    const bool passive = CurrentFtpData->FtpPassive();
    const auto protocol = CurrentFtpData->FtpProtocol();
    const QString keyFile = CurrentFtpData->FtpKeyFile();
    chk_FtpPassive->setChecked(passive);
    cmb_Protocol->setCurrentIndex(int(protocol));
    txt_KeyFile->setText(keyFile);
}

void frm_FTPConfig::lst_Ftp_Click()
{
    const int row = lst_Ftp->currentRow();
    const auto &connections = run::FtpConnections();
    if (row < 0 || row >= connections.size())
        return;
    // List row i is collection position i: the list is never sorted.
    CurrentFtpData = connections.at(row);
    ShowFtpData();
}

void frm_FTPConfig::cmd_Add_Click()
{
    lst_Ftp->addItem(NewConnectionName);
    auto connection = QSharedPointer<cls_FtpData>::create();
    connection->setViewName(NewConnectionName);
    run::FtpConnections().append(connection);
    CurrentFtpData = connection;
    m_added = connection;
    const int row = lst_Ftp->count() - 1;
    {
        const QSignalBlocker blocker(lst_Ftp);
        lst_Ftp->setCurrentRow(row);
    }
    lst_Ftp_Click();
}

void frm_FTPConfig::cmd_Del_Click()
{
    if (!CurrentFtpData)
        return;
    const int row = lst_Ftp->currentRow();
    auto &connections = run::FtpConnections();
    {
        // Removing the current entry moves the selection; that must not show a neighbour.
        const QSignalBlocker blocker(lst_Ftp);
        if (row >= 0 && row < connections.size()) {
            connections.removeAt(row);
            delete lst_Ftp->takeItem(row);
        }
        lst_Ftp->setCurrentRow(-1);
    }
    CurrentFtpData.reset();
    txt_Name->clear();
    txt_Ftpsvr->clear();
    txt_uid->clear();
    txt_pwd->clear();
    txt_Dir->clear();
    chk_FtpPassive->setChecked(false);
    cmb_Protocol->setCurrentIndex(0);
    txt_KeyFile->clear();
    if (lst_Ftp->count() > 0) {
        {
            const QSignalBlocker blocker(lst_Ftp);
            lst_Ftp->setCurrentRow(0);
        }
        lst_Ftp_Click();
    }
}

void frm_FTPConfig::cmd_OK_Click()
{
    // Only this dialog's edits, onto the list as the file holds it now: another window's
    // connections saved meanwhile stay.
    QList<run::FtpListChange> changes;
    const auto &connections = run::FtpConnections();
    for (const auto &[connection, data] : std::as_const(m_loaded)) {
        if (!connections.contains(connection))
            changes.append({data, std::nullopt});
        else if (connection->data() != data)
            changes.append({data, connection->data()});
    }
    for (const auto &connection : connections) {
        const bool loaded = std::any_of(m_loaded.cbegin(), m_loaded.cend(),
                                        [&](const auto &l) { return l.first == connection; });
        if (!loaded)
            changes.append({std::nullopt, connection->data()});
    }
    const QString section = code_main::SettingsIni().section();
    QString cause;
    const run::FtpConnectionList shown = connections;
    // The list is read again from the file as it is saved: the one just added is known by name.
    const auto added = m_added.toStrongRef();
    const QString addedName = added && shown.contains(added) ? added->ViewName() : QString();
    const bool saved = run::SaveFtpChanges(changes, &cause);
    code_main::SettingsIni().SetSection(section);
    if (!saved) {
        run::FtpConnections() = shown;
        // The dialog stays open with every edit, so nothing typed is lost.
        MessageSink::show(u"設定ファイル「"_qs + code_main::SettingsIni().fileName() +
                          u"」に書き込めませんでした（"_qs + cause +
                          u"）。ＦＴＰ接続の設定は保存されていません。"_qs);
        return;
    }
    m_cancel = false;
    m_addedName = addedName;
    accept();
}

void frm_FTPConfig::done(int result)
{
    // Rebuilding from the file is how a cancel throws the edits away; the records shown here
    // are detached from then on.
    CurrentFtpData.reset();
    const QString section = code_main::SettingsIni().section();
    run::LoadFtpList();
    code_main::SettingsIni().SetSection(section);
    QDialog::done(result);
}
