// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppTranslation.h"
#include "MessageBoxSink.h"
#include "UiTests.h"
#include "base/Cp932.h"
#include "base/MessageSink.h"
#include "cls_SystemMenu.h"
#include "code_SystemMenu.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ConfigDatas.h"
#include "frm_FTPConfig.h"
#include "frm_MakeHtml.h"
#include "frm_Version.h"
#include "frm_main.h"
#include "ftp/FtpConnections.h"
#include "ftp/TestServers.h"
#include "ftp/basftpservice.h"
#include "ftp/cls_FtpData.h"
#include "mSHBF.h"
#include "run/MakeHtmlProcess.h"
#include "settings/IniClass.h"
#include "settings/code_main.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <functional>
#include <pwd.h>

namespace {

const QString Rule = u"----------------------------"_qs;
const QString AboutItem = u"バージョン情報(&A)..."_qs;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A definition as users install them: code page 932, CR LF, a caption line, the four blocks
// of a page and, when given, one replaceable image.
void writeDefinition(const QString &path, const QString &caption, bool withImage)
{
    QString text = u"<!--"_qs + caption +
                   u"-->\n"_qs
                   u"<!--Header=Start-->\n<html><body>\n<!--Header=End-->\n"
                   u"<!--Folder=Start-->\n<div>**Parameter_1--**Parameter_2--</div>\n"
                   u"<!--Folder=End-->\n"
                   u"<!--Link=Start-->\n<a href=\"**Parameter_1--\">**Parameter_0--</a>\n"
                   u"<!--Link=End-->\n"
                   u"<!--Footer=Start-->\n</body></html>\n<!--Footer=End-->\n"_qs;
    if (withImage)
        text += u"<!--ImageConfig=Start-->\n[ImageList]\nDataCount=1\nImage_1=folder.png\n"
                u"[folder.png]\nName=フォルダの画像\nMask=*.png\n<!--ImageConfig=End-->\n"_qs;
    text += u"\n"_qs;
    text.replace(u"\n"_qs, u"\r\n"_qs);
    writeFile(path, Cp932::fromUnicode(text));
}

void writeShortcut(const QString &path, const QString &url)
{
    writeFile(path, Cp932::fromUnicode(u"[InternetShortcut]\r\nURL="_qs + url + u"\r\n"_qs));
}

class ListSink : public MessageSink
{
public:
    void information(const QString &text) override
    {
        const QMutexLocker lock(&mutex); // also from a run's thread
        messages.append(text);
    }
    QMutex mutex;
    QStringList messages;
};

// Runs check on the modal window that the next blocking call opens, then closes it.
void onNextModal(std::function<void(QWidget *)> check)
{
    QTimer::singleShot(0, [check] {
        QWidget *modal = QApplication::activeModalWidget();
        check(modal);
        if (modal)
            modal->close();
    });
}

template <class T> T *child(QWidget *window, const QString &name)
{
    T *found = window->findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

QAction *menuItem(QWidget *window, const QString &text)
{
    const auto actions = code_SystemMenu::GetSystemMenu(window)->actions();
    for (QAction *a : actions)
        if (a->text() == text)
            return a;
    return nullptr;
}

// Folders of shortcuts written straight to disk, quickly enough for 100,000.
void writeManyShortcuts(const QString &root, int folders, int perFolder)
{
    const QByteArray body = "[InternetShortcut]\r\nURL=https://example.jp/\r\n";
    for (int d = 0; d < folders; ++d) {
        const QString folder = root + u"/フォルダ"_qs + QString::number(d);
        QDir().mkpath(folder);
        for (int i = 0; i < perFolder; ++i)
            writeFile(folder + u"/リンク"_qs + QString::number(i) + u".url"_qs, body);
    }
}

// A program folder of its own for every test, the home folder (Favorites, Desktop) too.
class ProgramFolderFixture
{
public:
    void setUp(bool definitions = true)
    {
        dir = std::make_unique<QTemporaryDir>();
        program = dir->filePath(u"program"_qs);
        home = dir->filePath(u"home"_qs);
        QDir().mkpath(program);
        QDir().mkpath(home + u"/Favorites"_qs);
        QDir().mkpath(home + u"/Desktop"_qs);
        qputenv("HOME", QFile::encodeName(home));
        qunsetenv("XDG_CONFIG_HOME");
        if (definitions) {
            writeDefinition(program + u"/Config/a/画像あり.html"_qs, u"画像あり"_qs, true);
            writeDefinition(program + u"/Config/b/画像なし.html"_qs, u"画像なし"_qs, false);
        }
        code_main::setProgramFolder(program);
        run::Startup({});
        sink.messages.clear();
        MessageSink::install(&sink);
    }
    void tearDown()
    {
        MessageSink::install(nullptr);
        mSHBF::setFolderDialog({});
        code_main::setTestMode(false);
        dir.reset();
    }
    QString ini() const { return program + u"/Vellumdex.ini"_qs; }
    QString stored(const QString &key) const
    {
        IniClass file;
        file.SetFile(ini());
        return file.T_GetSetting(key, u"<absent>"_qs, u"System"_qs);
    }
    void store(const QString &key, const QString &value)
    {
        code_main::SettingsIni().T_SaveSetting(key, value, u"System"_qs);
    }
    void storeConnection(const QString &name, const QString &server, bool passive = true,
                         cls_FtpData::Protocol protocol = cls_FtpData::Protocol::Ftp,
                         const QString &user = u"user"_qs, const QString &keyFile = {})
    {
        auto c = QSharedPointer<cls_FtpData>::create();
        c->setViewName(name);
        c->setFtpSrv(server);
        c->setFtpUid(user);
        c->setFtpPwd(u"秘密のpass"_qs);
        c->setFtpPassive(passive);
        c->setFtpProtocol(protocol);
        c->setFtpKeyFile(keyFile);
        run::FtpConnections().append(c);
        QVERIFY(run::SaveFtpList());
    }
    // A favorites tree: two folders with shortcuts, one without.
    QString makeFavorites()
    {
        const QString root = dir->filePath(u"お気に入り"_qs);
        writeShortcut(root + u"/トップ.url"_qs, u"https://example.jp/"_qs);
        writeShortcut(root + u"/ニュース/天気.url"_qs, u"https://example.jp/tenki?a=1&b=2"_qs);
        writeShortcut(root + u"/ニュース/海外/World.url"_qs, u"https://example.com/world"_qs);
        QDir().mkpath(root + u"/空"_qs);
        return root;
    }
    std::unique_ptr<frm_main> start()
    {
        run::Startup(code_main::TestMode() ? QStringList{u"/TestMode"_qs} : QStringList{});
        auto window = std::make_unique<frm_main>();
        window->show();
        return window;
    }

    std::unique_ptr<QTemporaryDir> dir;
    QString program;
    QString home;
    ListSink sink;
};

// Clicks where the caption starts: an option takes clicks on its circle and caption only.
void click(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

void closeProcessingWindow(frm_main &window)
{
    frm_MakeHtml *form = window.makeForm();
    QVERIFY(form);
    QVERIFY(child<QPushButton>(form, u"cmd_close"_qs)->isEnabled());
    click(child<QPushButton>(form, u"cmd_close"_qs));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!window.makeForm());
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { opened.append(url); }

private slots:
    void init() { f.setUp(); }
    void cleanup() { f.tearDown(); }

    void settingsThatCannotBeSavedAreToldOnceWithTheCause()
    {
        auto w = f.start();
        // A folder where the settings file should be: every save fails.
        QFile::remove(f.ini());
        QVERIFY(QDir().mkpath(f.ini()));
        QCheckBox *encode = child<QCheckBox>(w.get(), u"chk_encode"_qs);
        encode->click();
        encode->click();
        const QStringList told = f.sink.messages.filter(u"に書き込めませんでした"_qs);
        QCOMPARE(told.size(), 1);
        QVERIFY2(
            told.first().startsWith(u"設定ファイル「"_qs + f.ini() +
                                    u"」に書き込めませんでした。設定は保存されていません。\r\n"_qs),
            qPrintable(told.first()));
        QVERIFY2(told.first().size() > told.first().indexOf(u"\r\n"_qs) + 2, "with its cause");
        f.sink.messages.clear();
    }

    void firstStartShowsEveryDefault()
    {
        f.storeConnection(u"社内"_qs, u"127.0.0.1:1"_qs);
        const QByteArray before = readFile(f.ini());
        QVERIFY(!before.contains("System"));

        auto w = f.start();
        QCOMPARE(w->windowTitle(), u"Vellumdex Ver.1.02a"_qs);
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_InputFolder"_qs)->text(),
                 f.home + u"/Favorites"_qs);
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_SaveFile"_qs)->text(),
                 f.program + u"/Favorites.html"_qs);
        QVERIFY(child<QRadioButton>(w.get(), u"opt_Output_0"_qs)->isChecked());
        for (const QString &name : {u"txt_FtpFile"_qs, u"cmb_FTP"_qs, u"cmd_FTP"_qs})
            QVERIFY2(!child<QWidget>(w.get(), name)->isEnabled(), qPrintable(name));
        QVERIFY(child<QWidget>(w.get(), u"cmd_SaveFile"_qs)->isEnabled());
        QVERIFY(!child<QCheckBox>(w.get(), u"chk_Sort"_qs)->isChecked());
        for (const QString &name :
             {u"opt_Order_0"_qs, u"opt_Order_1"_qs, u"opt_DESC_0"_qs, u"opt_DESC_1"_qs})
            QVERIFY2(!child<QWidget>(w.get(), name)->isEnabled(), qPrintable(name));
        QVERIFY(child<QRadioButton>(w.get(), u"opt_Order_0"_qs)->isChecked());
        QVERIFY(child<QRadioButton>(w.get(), u"opt_DESC_0"_qs)->isChecked());
        QVERIFY(!child<QCheckBox>(w.get(), u"chk_encode"_qs)->isChecked());
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_FtpFile"_qs)->text(), u"Favorites.html"_qs);
        QCOMPARE(child<QComboBox>(w.get(), u"cmb_Config"_qs)->currentText(), u"画像あり"_qs);
        QVERIFY(child<QPushButton>(w.get(), u"cmd_ConfigEdit"_qs)->isEnabled());
        QCOMPARE(child<QComboBox>(w.get(), u"cmb_FTP"_qs)->count(), 1);
        QCOMPARE(child<QComboBox>(w.get(), u"cmb_FTP"_qs)->currentIndex(), -1);
        QVERIFY(child<QPushButton>(w.get(), u"cmd_Run"_qs)->isEnabled());
        QCOMPARE(f.stored(u"DESC"_qs), u"<absent>"_qs); // loading changed nothing there
        QCOMPARE(f.stored(u"Output"_qs), u"0"_qs);
    }

    // Tab follows the layout, top to bottom and left to right; each command button has its key.
    void tabFollowsTheLayoutAndButtonsHaveKeys()
    {
        f.store(u"Output"_qs, u"1"_qs);
        f.store(u"Sort"_qs, u"1"_qs);
        f.storeConnection(u"社内"_qs, u"127.0.0.1:1"_qs);
        auto w = f.start();
        QApplication::setActiveWindow(w.get());
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        // One stop for each option pair, as Qt gives an exclusive group.
        const QStringList layout{
            u"txt_InputFolder"_qs, u"cmd_Favorites"_qs, u"cmd_InputFolder"_qs, u"opt_Output_0"_qs,
            u"txt_FtpFile"_qs,     u"cmb_FTP"_qs,       u"cmd_FTP"_qs,         u"cmb_Config"_qs,
            u"cmd_ConfigEdit"_qs,  u"chk_Sort"_qs,      u"opt_Order_0"_qs,     u"opt_DESC_0"_qs,
            u"chk_encode"_qs,      u"cmd_Run"_qs,       u"cmd_decode"_qs,      u"cmd_End"_qs};
        child<QWidget>(w.get(), u"txt_InputFolder"_qs)->setFocus();
        QStringList walked;
        for (int i = 0; i < layout.size(); ++i) {
            walked << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(walked.join(u" "_qs), layout.join(u" "_qs));
        QCOMPARE(QApplication::focusWidget()->objectName(), layout.first()); // round again

        for (const auto &[name, key] :
             {std::pair{u"cmd_Run"_qs, u"H"_qs}, std::pair{u"cmd_decode"_qs, u"R"_qs},
              std::pair{u"cmd_End"_qs, u"X"_qs}})
            QCOMPARE(QKeySequence::mnemonic(child<QPushButton>(w.get(), name)->text()),
                     QKeySequence(u"Alt+"_qs + key));
    }

    void controlWritesItsSettingAndNextStartReadsIt_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("readBack"); // control that shows the value after a restart

        QTest::newRow("FTP output")
            << QStringList{u"opt_Output_1"_qs} << u"Output"_qs << u"1"_qs << u"opt_Output_1"_qs;
        QTest::newRow("restore code")
            << QStringList{u"chk_encode"_qs} << u"Decode"_qs << u"1"_qs << u"chk_encode"_qs;
        QTest::newRow("sorting") << QStringList{u"chk_Sort"_qs} << u"Sort"_qs << u"1"_qs
                                 << u"chk_Sort"_qs;
        QTest::newRow("by date") << QStringList{u"chk_Sort"_qs, u"opt_Order_1"_qs} << u"Order"_qs
                                 << u"1"_qs << u"opt_Order_1"_qs;
        QTest::newRow("descending") << QStringList{u"chk_Sort"_qs, u"opt_DESC_1"_qs} << u"DESC"_qs
                                    << u"1"_qs << u"opt_DESC_1"_qs;
        QTest::newRow("back to ascending")
            << QStringList{u"chk_Sort"_qs, u"opt_DESC_1"_qs, u"opt_DESC_0"_qs} << u"DESC"_qs
            << u"0"_qs << u"opt_DESC_0"_qs;
        QTest::newRow("sorting off again")
            << QStringList{u"chk_Sort"_qs, u"chk_Sort"_qs} << u"Sort"_qs << u"0"_qs << QString();
    }

    void controlWritesItsSettingAndNextStartReadsIt()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, readBack);
        {
            auto w = f.start();
            for (const QString &name : clicks)
                click(child<QAbstractButton>(w.get(), name));
            QCOMPARE(f.stored(key), value);
        }
        auto w = f.start();
        if (!readBack.isEmpty())
            QVERIFY(child<QAbstractButton>(w.get(), readBack)->isChecked());
        QCOMPARE(f.stored(key), value);
    }

    void ftpFileNameIsWrittenAfterEveryKeystroke()
    {
        auto w = f.start();
        click(child<QRadioButton>(w.get(), u"opt_Output_1"_qs));
        auto *box = child<QLineEdit>(w.get(), u"txt_FtpFile"_qs);
        QVERIFY(box->isEnabled());
        box->clear();
        QTest::keyClick(box, Qt::Key_A);
        QCOMPARE(f.stored(u"FTPSaveFile"_qs), u"a"_qs);
        QTest::keyClick(box, Qt::Key_B);
        QCOMPARE(f.stored(u"FTPSaveFile"_qs), u"ab"_qs);
        // The name goes to the server in code page 932: "é" is refused, and the window says why.
        QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, u"é"_qs);
        QApplication::sendEvent(box, &typed);
        QCOMPARE(box->text(), u"ab"_qs);
        QCOMPARE(child<QLabel>(w.get(), u"lbl_FtpFileStatus"_qs)->text(),
                 u"ＦＴＰサーバーに送れない文字のため、入力できません"_qs);
        QCOMPARE(f.stored(u"FTPSaveFile"_qs), u"ab"_qs);
        w.reset();
        w = f.start();
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_FtpFile"_qs)->text(), u"ab"_qs);
    }

    void uncheckingSortKeepsOrderAndDirection()
    {
        auto w = f.start();
        click(child<QCheckBox>(w.get(), u"chk_Sort"_qs));
        click(child<QRadioButton>(w.get(), u"opt_Order_1"_qs));
        click(child<QRadioButton>(w.get(), u"opt_DESC_1"_qs));
        click(child<QCheckBox>(w.get(), u"chk_Sort"_qs));
        auto *byDate = child<QRadioButton>(w.get(), u"opt_Order_1"_qs);
        QVERIFY(!byDate->isEnabled());
        QVERIFY(byDate->isChecked());
        click(child<QCheckBox>(w.get(), u"chk_Sort"_qs));
        QVERIFY(byDate->isEnabled());
        QVERIFY(byDate->isChecked());
        QVERIFY(child<QRadioButton>(w.get(), u"opt_DESC_1"_qs)->isChecked());
    }

    void unloadStoresDefinitionAndConnection()
    {
        f.storeConnection(u"一"_qs, u"127.0.0.1:1"_qs);
        f.storeConnection(u"二"_qs, u"127.0.0.1:1"_qs);
        {
            auto w = f.start();
            child<QComboBox>(w.get(), u"cmb_Config"_qs)->setCurrentIndex(1);
            QVERIFY(!child<QPushButton>(w.get(), u"cmd_ConfigEdit"_qs)->isEnabled());
            child<QComboBox>(w.get(), u"cmb_FTP"_qs)->setCurrentIndex(1);
            click(child<QPushButton>(w.get(), u"cmd_End"_qs));
            QVERIFY(!w->isVisible());
            QCOMPARE(f.stored(u"ConfigFile"_qs), u"画像なし"_qs);
            QCOMPARE(f.stored(u"FTPName"_qs), u"二"_qs);
        }
        auto w = f.start();
        QCOMPARE(child<QComboBox>(w.get(), u"cmb_Config"_qs)->currentText(), u"画像なし"_qs);
        QCOMPARE(child<QComboBox>(w.get(), u"cmb_FTP"_qs)->currentText(), u"二"_qs);
    }

    void storedNamesThatNoLongerExist()
    {
        f.storeConnection(u"一"_qs, u"127.0.0.1:1"_qs);
        f.store(u"ConfigFile"_qs, u"消えた定義"_qs);
        f.store(u"FTPName"_qs, u"消えた接続"_qs);
        f.store(u"Output"_qs, u"1"_qs);
        auto w = f.start();
        QCOMPARE(child<QComboBox>(w.get(), u"cmb_Config"_qs)->currentIndex(), 0);
        QCOMPARE(child<QComboBox>(w.get(), u"cmb_FTP"_qs)->currentIndex(), -1);
        // An FTP run without a connection sends nothing; it says which one is missing and
        // offers the FTP dialog.
        QString asked;
        bool dialogShown = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, w.get(), [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (auto *box = qobject_cast<QMessageBox *>(modal); box && asked.isEmpty()) {
                asked = box->text();
                box->button(QMessageBox::Yes)->click();
            } else if (qobject_cast<frm_FTPConfig *>(modal)) {
                dialogShown = true;
                modal->close();
            }
        });
        poll.start(10);
        click(child<QPushButton>(w.get(), u"cmd_Run"_qs));
        QVERIFY2(asked.startsWith(u"ＦＴＰ接続が選択されていません。"_qs), qPrintable(asked));
        QVERIFY(dialogShown);
        QVERIFY(w->isVisible());
        QVERIFY(!w->makeForm());
    }

    void noDefinitionLeavesRunDisabled()
    {
        QDir(f.program + u"/Config"_qs).removeRecursively();
        auto w = f.start();
        QVERIFY(!child<QPushButton>(w.get(), u"cmd_Run"_qs)->isEnabled());
        QVERIFY(!child<QPushButton>(w.get(), u"cmd_ConfigEdit"_qs)->isEnabled());
        QCOMPARE(child<QComboBox>(w.get(), u"cmb_Config"_qs)->count(), 0);
    }

    void saveDialogProposesNameWithoutExtension_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("initDir");
        QTest::addColumn<QString>("proposed");
        QTest::newRow("page") << u"/srv/www/お気に入り.html"_qs << u"/srv/www"_qs
                              << u"お気に入り"_qs;
        QTest::newRow("last extension only") << u"/srv/a.b.html"_qs << u"/srv"_qs << u"a.b"_qs;
        QTest::newRow("no extension") << u"/srv/page"_qs << u"/srv"_qs << u"page"_qs;
    }

    void saveDialogProposesNameWithoutExtension()
    {
        QFETCH(QString, current);
        QFETCH(QString, initDir);
        QFETCH(QString, proposed);
        f.store(u"SaveFile"_qs, current);
        auto w = f.start();
        CommonDialog::Request asked;
        const QString chosen = f.dir->filePath(u"新しい名前"_qs);
        w->commonDialog().setChooser([&](const CommonDialog::Request &r) {
            asked = r;
            return chosen;
        });
        click(child<QPushButton>(w.get(), u"cmd_SaveFile"_qs));
        QVERIFY(asked.mode == CommonDialog::Mode::Save);
        QCOMPARE(asked.owner, w.get());
        QCOMPARE(asked.initDir, initDir);
        QCOMPARE(asked.fileName, proposed);
        QCOMPARE(asked.filter, u"HTMLファイル (*.html)"_qs);
        // No extension is added to a name typed without one.
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_SaveFile"_qs)->text(), chosen);
        QCOMPARE(f.stored(u"SaveFile"_qs), chosen);
        w.reset();
        w = f.start();
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_SaveFile"_qs)->text(), chosen);
    }

    void cancelledDialogsChangeNothing()
    {
        auto w = f.start();
        const QByteArray before = readFile(f.ini());
        const QString saveFile = child<QLineEdit>(w.get(), u"txt_SaveFile"_qs)->text();
        const QString input = child<QLineEdit>(w.get(), u"txt_InputFolder"_qs)->text();
        int folderAsked = 0;
        w->commonDialog().setChooser([](const CommonDialog::Request &) { return QString(); });
        mSHBF::setFolderDialog([&](QWidget *, const QString &, const QString &) {
            ++folderAsked;
            return QString();
        });
        click(child<QPushButton>(w.get(), u"cmd_SaveFile"_qs));
        click(child<QPushButton>(w.get(), u"cmd_InputFolder"_qs));
        click(child<QPushButton>(w.get(), u"cmd_decode"_qs));
        QCOMPARE(folderAsked, 1); // a cancelled page choice ends the restore at once
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_SaveFile"_qs)->text(), saveFile);
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_InputFolder"_qs)->text(), input);
        QCOMPARE(readFile(f.ini()), before);
        QVERIFY(w->isVisible());
        QVERIFY(!w->makeForm());
    }

    void folderPickerChoosesSourceFolder()
    {
        f.store(u"InputFolder"_qs, u"/元の/フォルダ"_qs);
        auto w = f.start();
        QString title, start;
        QWidget *owner = nullptr;
        mSHBF::setFolderDialog([&](QWidget *o, const QString &t, const QString &s) {
            owner = o;
            title = t;
            start = s;
            return u"/選んだ/フォルダ"_qs;
        });
        click(child<QPushButton>(w.get(), u"cmd_InputFolder"_qs));
        QCOMPARE(title, u"フォルダ選択"_qs);
        QCOMPARE(start, u"/元の/フォルダ"_qs);
        QCOMPARE(owner, w.get());
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_InputFolder"_qs)->text(), u"/選んだ/フォルダ"_qs);
        QCOMPARE(f.stored(u"InputFolder"_qs), u"/選んだ/フォルダ"_qs);

        click(child<QPushButton>(w.get(), u"cmd_Favorites"_qs));
        QCOMPARE(f.stored(u"InputFolder"_qs), f.home + u"/Favorites"_qs);
        w.reset();
        w = f.start();
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_InputFolder"_qs)->text(),
                 f.home + u"/Favorites"_qs);
    }

    void conversionAndRestoreFromMainWindow()
    {
        const QString favorites = f.makeFavorites();
        const QString page = f.dir->filePath(u"出力/page.html"_qs);
        QDir().mkpath(QFileInfo(page).path());
        f.store(u"InputFolder"_qs, f.home);
        f.store(u"SaveFile"_qs, page);
        f.store(u"Decode"_qs, u"1"_qs);
        f.store(u"ConfigFile"_qs, u"画像なし"_qs);
        auto w = f.start();
        // A path pasted into the field is taken and kept as a chosen one is.
        auto *source = child<QLineEdit>(w.get(), u"txt_InputFolder"_qs);
        source->clear();
        source->setFocus();
        QApplication::clipboard()->setText(favorites);
        QTest::keyClick(source, Qt::Key_V, Qt::ControlModifier);
        QTest::keyClick(source, Qt::Key_Return);
        QCOMPARE(f.stored(u"InputFolder"_qs), favorites);
        click(child<QPushButton>(w.get(), u"cmd_Run"_qs));

        frm_MakeHtml *form = w->makeForm();
        QVERIFY(form);
        QVERIFY(!w->isVisible());
        QVERIFY(form->isVisible());
        QCOMPARE(form->windowTitle(), u"Vellumdex 処理中..."_qs);
        const QStringList log =
            child<QPlainTextEdit>(form, u"txt_msg"_qs)->toPlainText().split(u'\n');
        QCOMPARE(log.filter(u"フォルダ情報読み出し ["_qs).size(), 4);
        QCOMPARE(log.filter(u"データ変換中 ["_qs).size(), 3); // the empty folder is left out
        QCOMPARE(log.mid(log.size() - 6),
                 QStringList({u"復元情報を作成しています"_qs, u"復元情報を作成しました"_qs,
                              u"ページを書き込みました ["_qs + page + u']', Rule,
                              u"  変換が終了しました。"_qs, Rule}));
        QVERIFY(readFile(page).contains("[encode]"));
        // The page and its folder, one click away, through the desktop's own handlers.
        QDesktopServices::setUrlHandler(u"file"_qs, this, "openUrl");
        click(child<QPushButton>(form, u"cmd_OpenPage"_qs));
        click(child<QPushButton>(form, u"cmd_OpenFolder"_qs));
        QDesktopServices::unsetUrlHandler(u"file"_qs);
        QCOMPARE(opened, QList<QUrl>({QUrl::fromLocalFile(page),
                                      QUrl::fromLocalFile(QFileInfo(page).path())}));
        auto *bar = child<QProgressBar>(form, u"prg_Progress"_qs);
        QCOMPARE(bar->maximum(), 3);
        QCOMPARE(bar->value(), 3);
        closeProcessingWindow(*w);
        QVERIFY(w->isVisible());

        // The restore proposes the stored page and starts the folder picker on the desktop.
        const QString target = f.dir->filePath(u"復元先"_qs);
        CommonDialog::Request asked;
        w->commonDialog().setChooser([&](const CommonDialog::Request &r) {
            asked = r;
            return page;
        });
        QString title, start;
        mSHBF::setFolderDialog([&](QWidget *, const QString &t, const QString &s) {
            title = t;
            start = s;
            return target;
        });
        child<QLineEdit>(w.get(), u"txt_SaveFile"_qs)->setText(u"/表示だけ.html"_qs);
        click(child<QPushButton>(w.get(), u"cmd_decode"_qs));
        QVERIFY(asked.mode == CommonDialog::Mode::Open);
        QCOMPARE(asked.initDir, QFileInfo(page).path());
        QCOMPARE(asked.fileName, u"page.html"_qs);
        QCOMPARE(title, u"復元場所フォルダ選択"_qs);
        QCOMPARE(start, f.home + u"/Desktop"_qs);
        form = w->makeForm();
        QVERIFY(form);
        QVERIFY(!w->isVisible());
        const QStringList restoreLog =
            child<QPlainTextEdit>(form, u"txt_msg"_qs)->toPlainText().split(u'\n');
        QVERIFY(restoreLog.contains(u"リンク復元[天気]"_qs));
        QVERIFY(child<QPushButton>(form, u"cmd_OpenFolder"_qs)->isVisible());
        QVERIFY(!child<QPushButton>(form, u"cmd_OpenPage"_qs)->isVisible());
        QCOMPARE(restoreLog.mid(restoreLog.size() - 3),
                 QStringList({Rule, u"  お気に入りを復元しました"_qs, Rule}));
        const QString folderName = QFileInfo(favorites).fileName();
        QCOMPARE(readFile(target + u'/' + folderName + u"/ニュース/天気.url"_qs),
                 readFile(favorites + u"/ニュース/天気.url"_qs));
        QVERIFY(!QFileInfo::exists(target + u'/' + folderName + u"/空"_qs));
        closeProcessingWindow(*w);
        QVERIFY(w->isVisible());
        // The chosen page is stored; the output box keeps its text until the next start.
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_SaveFile"_qs)->text(), u"/表示だけ.html"_qs);
        QCOMPARE(f.stored(u"SaveFile"_qs), page);
    }

    // A browser's own bookmarks chosen as the page are imported, and never become the page the
    // next conversion writes over.
    void restoreChooserImportsBrowserBookmarks()
    {
        const QString page = f.dir->filePath(u"page.html"_qs);
        f.store(u"SaveFile"_qs, page);
        auto w = f.start();
        CommonDialog::Request asked;
        w->commonDialog().setChooser([&](const CommonDialog::Request &r) {
            asked = r;
            return QStringLiteral(VELLUMDEX_TEST_DATA "/browsers/chromium/Default/Bookmarks");
        });
        const QString target = f.dir->filePath(u"復元先"_qs);
        mSHBF::setFolderDialog([&](QWidget *, const QString &, const QString &) { return target; });
        click(child<QPushButton>(w.get(), u"cmd_decode"_qs));
        QCOMPARE(asked.filter,
                 u"HTMLファイル (*.html);;ブラウザのブックマーク (places.sqlite Bookmarks)"_qs);
        QVERIFY(w->makeForm());
        QVERIFY(QFileInfo::exists(target + u"/その他のブックマーク/ニュース： 今日／明日.url"_qs));
        closeProcessingWindow(*w);
        QCOMPARE(f.stored(u"SaveFile"_qs), page);
    }

    void sortChoicesReachTheRun_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("order"); // of the links in the page
        QTest::newRow("by name") << QStringList{u"chk_Sort"_qs} << u"abc"_qs;
        QTest::newRow("by name, descending")
            << QStringList{u"chk_Sort"_qs, u"opt_DESC_1"_qs} << u"cba"_qs;
        QTest::newRow("by date") << QStringList{u"chk_Sort"_qs, u"opt_Order_1"_qs} << u"bca"_qs;
        QTest::newRow("by date, descending")
            << QStringList{u"chk_Sort"_qs, u"opt_Order_1"_qs, u"opt_DESC_1"_qs} << u"acb"_qs;
    }

    void sortChoicesReachTheRun()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, order);
        const QString root = f.dir->filePath(u"並べ替え"_qs);
        const QDateTime base(QDate(2020, 1, 1), QTime(12, 0));
        const QList<std::pair<QString, int>> links{{u"b"_qs, 0}, {u"a"_qs, 300}, {u"c"_qs, 100}};
        for (const auto &[name, age] : links) {
            const QString path = root + u'/' + name + u".url"_qs;
            writeShortcut(path, u"https://example.jp/"_qs + name);
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(base.addSecs(age), QFileDevice::FileModificationTime));
        }
        const QString page = f.dir->filePath(u"sorted.html"_qs);
        f.store(u"InputFolder"_qs, root);
        f.store(u"SaveFile"_qs, page);
        f.store(u"ConfigFile"_qs, u"画像なし"_qs);
        auto w = f.start();
        for (const QString &name : clicks)
            click(child<QAbstractButton>(w.get(), name));
        click(child<QPushButton>(w.get(), u"cmd_Run"_qs));
        QString seen;
        const QByteArray bytes = readFile(page);
        for (qsizetype at = bytes.indexOf("\">"); at >= 0; at = bytes.indexOf("\">", at + 1))
            seen += QLatin1Char(bytes.at(at + 2));
        QCOMPARE(seen, order);
        closeProcessingWindow(*w);
    }

    // Nothing is read until the source is a folder the user named and can read.
    void runRefusesSourceNotChosen_data()
    {
        QTest::addColumn<QString>("source"); // below the test folder; "" for none
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QString() << u"変換元のフォルダが指定されていません"_qs;
        QTest::newRow("missing") << u"無い"_qs << u"変換元のフォルダが見つかりません ["_qs;
        QTest::newRow("a file") << u"file.txt"_qs << u"フォルダではありません ["_qs;
        QTest::newRow("unreadable") << u"閉"_qs << u"変換元のフォルダを読み込めません ["_qs;
        QTest::newRow("relative") << u"./相対"_qs << u"絶対パスで指定してください"_qs;
    }

    void runRefusesSourceNotChosen()
    {
        QFETCH(QString, source);
        QFETCH(QString, message);
        writeFile(f.dir->filePath(u"file.txt"_qs), "x");
        const QString closed = f.dir->filePath(u"閉"_qs);
        QDir().mkpath(closed);
        QFile::setPermissions(closed, {});
        const auto reopen = qScopeGuard([&] {
            QFile::setPermissions(closed, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        if (source == u"閉"_qs && QFileInfo(closed).isReadable())
            QSKIP("permissions do not hold for this user", "");
        const QString path = source.isEmpty()          ? QString()
                             : source.startsWith(u'.') ? source
                                                       : f.dir->filePath(source);
        f.store(u"InputFolder"_qs, path);
        auto w = f.start();
        click(child<QPushButton>(w.get(), u"cmd_Run"_qs));
        QCOMPARE(f.sink.messages.size(), 1);
        QVERIFY2(f.sink.messages.first().contains(message), qPrintable(f.sink.messages.first()));
        QVERIFY(f.sink.messages.first().contains(path));
        QVERIFY(!w->makeForm());
        QVERIFY(w->isVisible());
        QVERIFY(!QFileInfo::exists(f.program + u"/Favorites.html"_qs));
    }

    void favoritesButtonWithoutFavoritesKeepsTheField()
    {
        QVERIFY(QDir(f.home + u"/Favorites"_qs).removeRecursively());
        f.store(u"InputFolder"_qs, f.dir->path());
        auto w = f.start();
        click(child<QPushButton>(w.get(), u"cmd_Favorites"_qs));
        QCOMPARE(f.sink.messages.size(), 1);
        QVERIFY(f.sink.messages.first().contains(f.home + u"/Favorites"_qs));
        QCOMPARE(child<QLineEdit>(w.get(), u"txt_InputFolder"_qs)->text(), f.dir->path());
        QCOMPARE(f.stored(u"InputFolder"_qs), f.dir->path());
    }

    void templateThatCannotBeReadIsReported()
    {
        f.store(u"ConfigFile"_qs, u"画像なし"_qs);
        auto w = f.start();
        QVERIFY(QFile::remove(f.program + u"/Config/b/画像なし.html"_qs));
        click(child<QPushButton>(w.get(), u"cmd_Run"_qs));
        QCOMPARE(f.sink.messages.size(), 1);
        QVERIFY(w->isVisible());
        QVERIFY(!w->makeForm());
    }

    // Each protocol as stored: the FTPS server takes nothing before TLS, and the SFTP one
    // speaks nothing but SSH.
    void ftpOutputReachesTheServer_data()
    {
        QTest::addColumn<cls_FtpData::Protocol>("protocol");
        QTest::newRow("FTP") << cls_FtpData::Protocol::Ftp;
        QTest::newRow("FTPS") << cls_FtpData::Protocol::Ftps;
        QTest::newRow("SFTP") << cls_FtpData::Protocol::Sftp;
    }

    void ftpOutputReachesTheServer()
    {
        QFETCH(cls_FtpData::Protocol, protocol);
        const QString root = f.dir->filePath(u"ftproot"_qs);
        QDir().mkpath(root);
        TestServer ftp;
        SshServer ssh;
        QString arrived = root + u"/fav.html"_qs;
        if (protocol == cls_FtpData::Protocol::Sftp) {
            // QTest::qSkip: QSKIP with one argument trips clang's pedantic check.
            if (!QFileInfo::exists(u"/usr/sbin/sshd"_qs)) {
                QTest::qSkip("no /usr/sbin/sshd (openssh-server)", __FILE__, __LINE__);
                return;
            }
            const QString key = f.home + u"/.ssh/id_ed25519"_qs;
            QByteArray known;
            QVERIFY(
                startSshWithKey(ssh, f.dir->filePath(u"ssh"_qs), key, u"秘密のpass"_qs, &known));
            writeBytes(basftpservice::KnownHostsFile(), known);
            f.storeConnection(u"テスト鯖"_qs, ssh.address(), true, protocol,
                              QString::fromLocal8Bit(getpwuid(geteuid())->pw_name), key);
            arrived = f.dir->filePath(u"ssh/root/fav.html"_qs);
        } else {
            QStringList arguments{u"--root"_qs, root, u"--log"_qs, root + u".log"_qs};
            if (protocol == cls_FtpData::Protocol::Ftps) {
                const QString certs = f.dir->filePath(u"certs"_qs);
                QDir().mkpath(certs);
                QCOMPARE(QProcess::execute(QStringLiteral(PYTHON3_SYSTEM),
                                           {TestServer::script(), u"--make-cert"_qs, certs}),
                         0);
                qputenv(basftpservice::CaFileVariable, QFile::encodeName(certs + u"/cert.pem"_qs));
                arguments << u"--tls"_qs << certs;
            }
            QVERIFY(ftp.start(arguments));
            f.storeConnection(u"テスト鯖"_qs, ftp.address(), true, protocol);
        }
        f.store(u"FTPName"_qs, u"テスト鯖"_qs);
        f.store(u"Output"_qs, u"1"_qs);
        f.store(u"FTPSaveFile"_qs, u"fav.html"_qs);
        f.store(u"InputFolder"_qs, f.makeFavorites());
        f.store(u"ConfigFile"_qs, u"画像なし"_qs);
        auto w = f.start();
        click(child<QPushButton>(w.get(), u"cmd_Run"_qs));
        qunsetenv(basftpservice::CaFileVariable);
        frm_MakeHtml *form = w->makeForm();
        QVERIFY(form);
        const QStringList log =
            child<QPlainTextEdit>(form, u"txt_msg"_qs)->toPlainText().split(u'\n');
        QVERIFY2(log.contains(u"転送開始 [fav.html]"_qs), qPrintable(log.join(u'|')));
        QVERIFY2(log.contains(u"○転送成功"_qs), qPrintable(log.join(u'|')));
        QCOMPARE(log.mid(log.size() - 3),
                 QStringList({Rule, u"  ファイルを転送しました。"_qs, Rule}));
        QVERIFY(!log.contains(u"  変換が終了しました。"_qs));
        QVERIFY(readFile(arrived).startsWith("<html><body>\r\n"));
        if (protocol != cls_FtpData::Protocol::Sftp) {
            const QByteArray commands = readBytes(root + u".log"_qs);
            QCOMPARE(commands.startsWith("AUTH TLS"), protocol == cls_FtpData::Protocol::Ftps);
            QCOMPARE(commands.contains("PROT P"), protocol == cls_FtpData::Protocol::Ftps);
        }
        closeProcessingWindow(*w);
    }

    // The run goes on its own thread: while the server keeps the transfer waiting, the window
    // shows the line of the transfer from the start of its lines, shows it busy and keeps
    // answering; the long line leaves no sideways scroll behind, after the run neither.
    void windowStaysAliveWhileServerIsSilent()
    {
        QProcess server; // takes the connection and says nothing until told to go
        server.start(QStringLiteral(PYTHON3_SYSTEM),
                     {u"-c"_qs, u"import socket, sys\n"
                                u"s = socket.create_server(('127.0.0.1', 0))\n"
                                u"print(s.getsockname()[1], flush=True)\n"
                                u"c = s.accept()\nsys.stdin.read()\n"_qs});
        QVERIFY(server.waitForStarted(10000));
        while (!server.canReadLine())
            QVERIFY(server.waitForReadyRead(10000));
        const QString port = QString::fromLatin1(server.readLine().trimmed());
        const QString remote = QString(300, u'長') + u".html"_qs;
        f.storeConnection(u"黙る鯖"_qs, u"127.0.0.1:"_qs + port);
        f.store(u"FTPName"_qs, u"黙る鯖"_qs);
        f.store(u"Output"_qs, u"1"_qs);
        f.store(u"FTPSaveFile"_qs, remote);
        f.store(u"InputFolder"_qs, f.makeFavorites());
        f.store(u"ConfigFile"_qs, u"画像なし"_qs);
        auto w = f.start();

        QElapsedTimer sinceTick;
        qint64 longestGap = 0;
        bool seen = false, busy = false, released = false;
        int scrolledWhileWaiting = -1;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        connect(&tick, &QTimer::timeout, w.get(), [&] {
            if (seen && !released) // while the transfer waits
                longestGap = qMax(longestGap, sinceTick.elapsed());
            sinceTick.start();
            frm_MakeHtml *form = w->makeForm();
            auto *log = form ? child<QPlainTextEdit>(form, u"txt_msg"_qs) : nullptr;
            if (seen || !log || !log->toPlainText().endsWith(u"転送開始 ["_qs + remote + u']'))
                return;
            seen = true;
            busy = child<QProgressBar>(form, u"prg_Progress"_qs)->maximum() == 0;
            QVERIFY(log->horizontalScrollBar()->maximum() > 0);
            scrolledWhileWaiting = log->horizontalScrollBar()->value();
            QTimer::singleShot(500, &server, [&] {
                released = true;
                server.closeWriteChannel();
            });
        });
        tick.start(10);
        click(child<QPushButton>(w.get(), u"cmd_Run"_qs));
        tick.stop();
        QVERIFY(seen);
        QVERIFY(busy);
        QCOMPARE(scrolledWhileWaiting, 0);
        QVERIFY2(longestGap < 100, qPrintable(QString::number(longestGap)));
        auto *log = child<QPlainTextEdit>(w->makeForm(), u"txt_msg"_qs);
        QVERIFY(log->toPlainText().contains(u"×転送失敗"_qs));
        QCOMPARE(log->horizontalScrollBar()->value(), 0);
        closeProcessingWindow(*w);
        server.waitForFinished(5000);
    }

    void confirmedFtpDialogKeepsTheChosenConnection()
    {
        f.storeConnection(u"一"_qs, u"127.0.0.1:1"_qs);
        f.storeConnection(u"二"_qs, u"127.0.0.1:1"_qs);
        f.store(u"FTPName"_qs, u"一"_qs);
        f.store(u"Output"_qs, u"1"_qs);
        auto w = f.start();
        auto *list = child<QComboBox>(w.get(), u"cmb_FTP"_qs);
        list->setCurrentIndex(1);
        QString shown;
        onNextModal([&](QWidget *modal) {
            QVERIFY(qobject_cast<frm_FTPConfig *>(modal));
            shown = modal->windowTitle();
            child<QPushButton>(modal, u"cmd_Cancel"_qs)->click();
        });
        click(child<QPushButton>(w.get(), u"cmd_FTP"_qs));
        QCOMPARE(shown, u"ＦＴＰ接続の設定"_qs);
        QCOMPARE(list->currentText(), u"二"_qs); // a cancel leaves the list alone

        // ＯＫ keeps the choice, and chooses a connection just added.
        onNextModal([](QWidget *modal) { child<QPushButton>(modal, u"cmd_OK"_qs)->click(); });
        click(child<QPushButton>(w.get(), u"cmd_FTP"_qs));
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->currentText(), u"二"_qs);
        onNextModal([](QWidget *modal) {
            child<QPushButton>(modal, u"cmd_Add"_qs)->click();
            child<QLineEdit>(modal, u"txt_Name"_qs)->setText(u"三"_qs);
            child<QPushButton>(modal, u"cmd_OK"_qs)->click();
        });
        click(child<QPushButton>(w.get(), u"cmd_FTP"_qs));
        QCOMPARE(list->count(), 3);
        QCOMPARE(list->currentText(), u"三"_qs);
    }

    void definitionEditorOpensForChosenDefinition()
    {
        auto w = f.start();
        QString title;
        onNextModal([&](QWidget *modal) {
            QVERIFY(modal);
            title = modal->windowTitle();
        });
        click(child<QPushButton>(w.get(), u"cmd_ConfigEdit"_qs));
        QCOMPARE(title, u"定義ファイル詳細設定"_qs);
    }

private:
    ProgramFolderFixture f;
    QList<QUrl> opened;
};

class TestSystemMenu : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { opened.append(url); }

private slots:
    void init() { f.setUp(); }
    void cleanup()
    {
        QDesktopServices::unsetUrlHandler(u"https"_qs);
        f.tearDown();
    }

    void aboutItemOpensVersionWindowModal()
    {
        auto w = f.start();
        QVERIFY(code_SystemMenu::IsHooked(w.get()));
        const auto actions = code_SystemMenu::GetSystemMenu(w.get())->actions();
        QVERIFY(actions.size() >= 2);
        QVERIFY(actions.at(actions.size() - 2)->isSeparator());
        QCOMPARE(actions.last()->text(), AboutItem);

        QDesktopServices::setUrlHandler(u"https"_qs, this, "openUrl");
        bool seen = false;
        onNextModal([&](QWidget *modal) {
            auto *about = qobject_cast<frm_Version *>(modal);
            QVERIFY(about);
            seen = true;
            QCOMPARE(about->parentWidget(), w.get());
            QCOMPARE(about->windowTitle(), u"ﾊﾞｰｼﾞｮﾝ情報"_qs);
            QCOMPARE(child<QLabel>(about, u"Label_Version_0"_qs)->text(), u"Vellumdex"_qs);
            QCOMPARE(child<QLabel>(about, u"Label_Version_1"_qs)->text(), u"Version 1.02a"_qs);
            QVERIFY(!child<QLabel>(about, u"Image_Icon"_qs)->pixmap().isNull());
            // A build given no home page shows no address.
            auto *url = child<QLabel>(about, u"lbl_url"_qs);
            QCOMPARE(url->isHidden(), frm_Version::homePage().isEmpty());
            if (!url->isHidden())
                QTest::mouseClick(url, Qt::LeftButton);
            QVERIFY(about->isVisible()); // the address opens, the window stays
        });
        actions.last()->trigger();
        QVERIFY(seen);
        QCOMPARE(opened, frm_Version::homePage().isEmpty()
                             ? QList<QUrl>{}
                             : QList<QUrl>{QUrl(frm_Version::homePage())});
    }

    void testModeShowsItemThatDoesNothing()
    {
        code_main::setTestMode(true);
        auto w = f.start();
        QVERIFY(code_main::TestMode());
        QVERIFY(!code_SystemMenu::IsHooked(w.get()));
        QAction *about = menuItem(w.get(), AboutItem);
        QVERIFY(about);
        about->trigger(); // would block in a modal window if it opened one
        QVERIFY(w->findChildren<frm_Version *>().isEmpty());
        // The window's own commands still work.
        menuItem(w.get(), u"閉じる(&C)"_qs)->trigger();
        QVERIFY(!w->isVisible());
    }

    void menuOpensOnRightClickAndAltSpace()
    {
        auto w = f.start();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QMenu *menu = code_SystemMenu::GetSystemMenu(w.get());
        // A right click on a label reaches the window.
        QLabel *label = child<QLabel>(w.get(), u"Label1_2"_qs);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2),
                                label->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(label, &click);
        QVERIFY(menu->isVisible());
        menu->hide();
        // A text box keeps its own menu.
        auto *box = child<QLineEdit>(w.get(), u"txt_FtpFile"_qs);
        box->setEnabled(true);
        QContextMenuEvent onBox(QContextMenuEvent::Mouse, QPoint(2, 2),
                                box->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(box, &onBox);
        QVERIFY(!menu->isVisible());
        QVERIFY(QApplication::activePopupWidget());
        QApplication::activePopupWidget()->close();

        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        QTest::keyClick(w.get(), Qt::Key_Space, Qt::AltModifier);
        QVERIFY(menu->isVisible());
        menu->hide();
    }

    void onlyProgramItemsReachTheRelay_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("hooked");
        QTest::addColumn<bool>("relayed");
        QTest::newRow("About item") << 1 << true << true;
        QTest::newRow("below 60000") << 59999 << true << true;
        QTest::newRow("60000") << 60000 << true << false;
        QTest::newRow("minimize") << code_SystemMenu::SC_MINIMIZE << true << false;
        QTest::newRow("not hooked") << 1 << false << false;
    }

    void onlyProgramItemsReachTheRelay()
    {
        QFETCH(int, command);
        QFETCH(bool, hooked);
        QFETCH(bool, relayed);
        QWidget window;
        cls_SystemMenu relay;
        QSignalSpy clicks(&relay, &cls_SystemMenu::Click);
        code_SystemMenu::SetMenuEvent(&relay);
        code_SystemMenu::AppendSystemMenu(&window, code_SystemMenu::MF_STRING, 1, AboutItem);
        code_SystemMenu::HookWindow(&window);
        if (!hooked)
            code_SystemMenu::UnhookWindow(&window);
        code_SystemMenu::SystemCommandEvent event(command);
        QApplication::sendEvent(&window, &event);
        QCOMPARE(clicks.size(), relayed ? 1 : 0);
        if (relayed)
            QCOMPARE(clicks.first().first().toInt(), command);
        code_SystemMenu::SetMenuEvent(nullptr);
    }

private:
    ProgramFolderFixture f;
    QList<QUrl> opened;
};

class TestProcessingWindow : public QObject
{
    Q_OBJECT

private slots:
    void init() { f.setUp(); }
    void cleanup() { f.tearDown(); }
    void cleanupTestCase() { m_big.reset(); }

    void runShowsEveryLineAndCannotBeClosedUntilItEnds()
    {
        // Enough folders that the log is painted in several batches.
        const QString root = f.dir->filePath(u"多い"_qs);
        for (int i = 0; i < 400; ++i)
            writeShortcut(root + u"/フォルダ"_qs + QString::number(i) + u"/リンク.url"_qs,
                          u"https://example.jp/"_qs + QString::number(i));
        const QString page = f.dir->filePath(u"page.html"_qs);

        auto *form = new frm_MakeHtml;
        QPointer<frm_MakeHtml> guard(form);
        QSignalSpy unloads(form, &frm_MakeHtml::Unload);
        form->setInputFolder(root);
        form->show();
        bool closeEnabledDuringRun = true;
        bool stayedOpen = false;
        bool busySeen = false;
        bool logShownDuringRun = false;
        QTimer during;
        during.start(0); // every turn of the loop: a quick run must not end unseen
        connect(&during, &QTimer::timeout, form, [&] {
            auto *log = child<QPlainTextEdit>(form, u"txt_msg"_qs);
            if (!during.isActive() || (log->toPlainText().isEmpty() && form->isRunning()))
                return;
            during.stop();
            closeEnabledDuringRun = child<QPushButton>(form, u"cmd_close"_qs)->isEnabled();
            busySeen = child<QProgressBar>(form, u"prg_Progress"_qs)->maximum() == 0;
            logShownDuringRun = !log->toPlainText().isEmpty();
            click(child<QPushButton>(form, u"cmd_close"_qs)); // dropped, not kept for later
            QTimer::singleShot(0, [] { // closing asks; "いいえ" lets the run go on
                auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                QVERIFY(box);
                box->button(QMessageBox::No)->click();
            });
            form->close();
            stayedOpen = form->isVisible() && form->isRunning();
        });
        cls_ConfigDatas catalogue;
        catalogue.setPath(f.program);
        std::shared_ptr<cls_ConfigData> definition;
        for (const auto &d : catalogue.Items())
            if (d->Caption() == u"画像なし"_qs)
                definition = d;
        QVERIFY(definition);
        definition->Htmlcfg_Open();
        QVERIFY(form->MakeHtml(page, *definition));
        QVERIFY(!closeEnabledDuringRun);
        QVERIFY(stayedOpen);
        QVERIFY(busySeen);
        QVERIFY(logShownDuringRun);
        QCOMPARE(unloads.size(), 0);

        const QStringList log =
            child<QPlainTextEdit>(form, u"txt_msg"_qs)->toPlainText().split(u'\n');
        QCOMPARE(log, form->logLines());
        QCOMPARE(log.filter(u"フォルダ情報読み出し ["_qs).size(), 401);
        QCOMPARE(log.filter(u"データ変換中 ["_qs).size(), 401);
        QCOMPARE(log.last(), Rule);
        QCOMPARE(child<QProgressBar>(form, u"prg_Progress"_qs)->value(), 401);
        QVERIFY(child<QPushButton>(form, u"cmd_close"_qs)->isEnabled());
        form->close();
        QCOMPARE(unloads.size(), 1);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!guard);
    }

    // "中止" or Esc ends a run over 100,000 shortcuts at the next file, as a fault does: the
    // previous page stays, every shortcut made is whole, and nothing reaches the server.
    void stopEndsTheRunAtTheNextFile_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QString>("summary");
        QTest::newRow("conversion") << u"convert"_qs << false << u"  変換を中止しました。"_qs;
        QTest::newRow("conversion, Esc") << u"convert"_qs << true << u"  変換を中止しました。"_qs;
        QTest::newRow("restore") << u"restore"_qs << false << u"  復元を中止しました。"_qs;
        QTest::newRow("import") << u"import"_qs << true << u"  インポートを中止しました。"_qs;
        QTest::newRow("upload") << u"upload"_qs << false << u"  転送を中止しました。"_qs;
    }

    void stopEndsTheRunAtTheNextFile()
    {
        QFETCH(QString, action);
        QFETCH(bool, byKey);
        QFETCH(QString, summary);
        const QString tree = bigTree();
        QString page = f.dir->filePath(u"page.html"_qs);
        const QString target = f.dir->filePath(u"復元先"_qs);
        auto definition = openDefinition(u"画像なし"_qs);
        QVERIFY(definition);
        const QString root = f.dir->filePath(u"ftproot"_qs);
        TestServer ftp;
        cls_FtpData server;
        if (action == u"restore"_qs) {
            page = m_big->filePath(u"page.html"_qs);
            if (!QFileInfo::exists(page)) {
                definition->Htmlcfg_Open();
                MakeHtmlProcess whole;
                whole.setInputFolder(tree);
                whole.setDecodeFlag(true);
                QVERIFY(whole.MakeHtml(page, *definition));
            }
        } else if (action == u"import"_qs) {
            QByteArray html = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n"
                              "<DT><H3>インポート</H3>\n<DL><p>\n";
            for (int i = 0; i < 100000; ++i)
                html += "<DT><A HREF=\"https://example.jp/" + QByteArray::number(i) + "\">リンク" +
                        QByteArray::number(i) + "</A>\n";
            writeFile(page, html + "</DL><p>\n</DL><p>\n");
        } else {
            writeFile(page, "previous page");
            QDir().mkpath(root);
            writeFile(root + u"/fav.html"_qs, "previous page");
            if (action == u"upload"_qs) {
                QVERIFY(
                    ftp.start({u"--root"_qs, root, u"--log"_qs, m_big->filePath(u"ftp.log"_qs)}));
                server.setFtpSrv(ftp.address());
                server.setFtpUid(u"user"_qs);
                server.setFtpPwd(u"秘密のpass"_qs);
                server.setFtpPassive(true);
            }
        }
        if (action != u"restore"_qs)
            definition->Htmlcfg_Open();

        frm_MakeHtml form;
        form.setAttribute(Qt::WA_DeleteOnClose, false);
        form.setInputFolder(tree);
        form.show();
        QElapsedTimer sinceStop;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &form, [&] {
            if (sinceStop.isValid() || form.logLines().size() < 50)
                return;
            sinceStop.start();
            if (byKey)
                QTest::keyClick(&form, Qt::Key_Escape);
            else
                click(child<QPushButton>(&form, u"cmd_Stop"_qs));
        });
        poll.start(5);
        bool ok = true;
        if (action == u"convert"_qs)
            ok = form.MakeHtml(page, *definition);
        else if (action == u"upload"_qs)
            ok = form.SendFtp(*definition, server, u"fav.html"_qs);
        else
            ok = form.DecodeStart(page, target);
        poll.stop();
        QVERIFY(sinceStop.isValid());
        qInfo("stopped %lld ms after the request", sinceStop.elapsed());
        QVERIFY(!ok);
        const QStringList log = form.logLines();
        QCOMPARE(log.last(), Rule);
        QVERIFY(log.mid(log.size() - 4).contains(summary));
        QVERIFY(log.contains(u"中止の指示により処理を止めました"_qs));
        QVERIFY(!child<QPushButton>(&form, u"cmd_Stop"_qs)->isEnabled());
        QVERIFY(child<QPushButton>(&form, u"cmd_close"_qs)->isEnabled());
        if (action == u"convert"_qs || action == u"upload"_qs) {
            QCOMPARE(readFile(action == u"convert"_qs ? page : root + u"/fav.html"_qs),
                     QByteArray("previous page"));
            QCOMPARE(QDir(f.dir->path()).entryList(QDir::Files | QDir::Hidden),
                     QStringList{u"page.html"_qs});
            QVERIFY(!log.contains(u"転送開始 [fav.html]"_qs));
        } else {
            qint64 made = 0;
            for (QDirIterator it(target, {u"*.url"_qs}, QDir::Files, QDirIterator::Subdirectories);
                 it.hasNext(); ++made)
                QVERIFY(readFile(it.next()).startsWith("[InternetShortcut]\r\nURL=https://"));
            QVERIFY2(made < 100000, qPrintable(QString::number(made)));
        }
    }

    // Closing the window during a run asks first; "はい" stops the run and the window closes
    // once it has ended, "いいえ" lets the run go on.
    void closingDuringARunAsksThenStops()
    {
        auto definition = openDefinition(u"画像なし"_qs);
        QVERIFY(definition);
        definition->Htmlcfg_Open();
        auto *form = new frm_MakeHtml;
        QPointer<frm_MakeHtml> guard(form);
        QSignalSpy unloads(form, &frm_MakeHtml::Unload);
        form->setInputFolder(bigTree());
        form->show();
        QStringList asked;
        bool runningAfterNo = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, form, [&] {
            if (!asked.isEmpty() || form->logLines().size() < 50)
                return;
            poll.stop();
            for (auto answer : {QMessageBox::No, QMessageBox::Yes}) {
                QTimer::singleShot(0, [&asked, answer] {
                    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
                    QVERIFY(box);
                    asked << box->text();
                    box->button(answer)->click();
                });
                form->close();
                if (answer == QMessageBox::No)
                    runningAfterNo = form->isVisible() && form->isRunning();
            }
        });
        poll.start(5);
        QVERIFY(!form->MakeHtml(f.dir->filePath(u"page.html"_qs), *definition));
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.first(), u"処理の途中です。中止して閉じますか？"_qs);
        QVERIFY(runningAfterNo);
        QCOMPARE(unloads.size(), 1);
        QVERIFY(!QFileInfo::exists(f.dir->filePath(u"page.html"_qs)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!guard);
    }

    void hostKeyQuestionShowsTheFingerprintAndIsAskedOnce()
    {
        frm_MakeHtml form;
        form.setAttribute(Qt::WA_DeleteOnClose, false);
        const basftpservice::HostKey key{u"[127.0.0.1]:2222"_qs, "ssh-ed25519", "blob", {}};
        QString shown;
        int boxes = 0;
        const auto answerYes = [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ++boxes;
                shown = box->text();
                box->button(QMessageBox::Yes)->click();
            }
        };
        QTimer::singleShot(0, answerYes);
        QVERIFY(form.TrustHostKey(key));
        QVERIFY2(shown.contains(key.Fingerprint()) && shown.contains(key.host), qPrintable(shown));
        // The page and each image ask alike; the user is asked once a run.
        QTimer::singleShot(0, answerYes);
        QVERIFY(form.TrustHostKey(key));
        QCOMPARE(boxes, 1);
    }

    void restoreWithoutBlockSaysSoAndCanBeClosed()
    {
        const QString page = f.dir->filePath(u"plain.html"_qs);
        writeFile(page, "<html>\r\n<body></body>\r\n</html>\r\n");
        frm_MakeHtml form;
        form.setAttribute(Qt::WA_DeleteOnClose, false);
        form.show();
        QVERIFY(!form.DecodeStart(page, f.dir->filePath(u"target"_qs)));
        QCOMPARE(form.logLines(), QStringList({u"復元情報が見つかりません"_qs, Rule,
                                               u"  復元に失敗しました。"_qs, Rule}));
        QVERIFY(child<QPushButton>(&form, u"cmd_close"_qs)->isEnabled());
        QVERIFY(!QFileInfo::exists(f.dir->filePath(u"target"_qs)));
    }

private:
    // 100,000 shortcuts in 100 folders, made once, in memory where there is a file system
    // there: this disk takes minutes to remove as many files.
    QString bigTree()
    {
        if (!m_big) {
            const QString shm = u"/dev/shm"_qs;
            m_big = std::make_unique<QTemporaryDir>(
                (QFileInfo(shm).isWritable() ? shm : QDir::tempPath()) + u"/test_ui-XXXXXX"_qs);
            writeManyShortcuts(m_big->filePath(u"多い"_qs), 100, 1000);
        }
        return m_big->filePath(u"多い"_qs);
    }

    std::shared_ptr<cls_ConfigData> openDefinition(const QString &caption)
    {
        m_catalogue = std::make_unique<cls_ConfigDatas>();
        m_catalogue->setPath(f.program);
        for (const auto &d : m_catalogue->Items())
            if (d->Caption() == caption)
                return d;
        return nullptr;
    }

    ProgramFolderFixture f;
    std::unique_ptr<cls_ConfigDatas> m_catalogue;
    std::unique_ptr<QTemporaryDir> m_big;
};

namespace {

// The texts a person sees in a window: captions, titles, tooltips, menu entries and column
// headers of the visible controls.
QStringList visibleTexts(QWidget *window)
{
    QStringList texts{window->windowTitle()};
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (QWidget *w : std::as_const(widgets)) {
        if (w != window && !w->isVisibleTo(window) && !qobject_cast<QMenu *>(window))
            continue;
        texts << w->toolTip();
        if (auto *b = qobject_cast<QAbstractButton *>(w))
            texts << b->text();
        else if (auto *l = qobject_cast<QLabel *>(w))
            texts << l->text();
        else if (auto *g = qobject_cast<QGroupBox *>(w))
            texts << g->title();
        else if (auto *e = qobject_cast<QLineEdit *>(w))
            texts << e->placeholderText();
        else if (auto *h = qobject_cast<QHeaderView *>(w); h && h->model())
            for (int i = 0; i < h->count(); ++i)
                texts << h->model()->headerData(i, h->orientation()).toString();
        for (QAction *a : w->actions())
            texts << a->text() << a->toolTip();
    }
    return texts;
}

// The texts of the modal window that open brings up; inside may look further (a window it
// opens in turn) before the window is closed.
QStringList modalTexts(const std::function<void()> &open,
                       const std::function<QStringList(QWidget *)> &inside = {})
{
    QStringList texts;
    QWidget *before = QApplication::activeModalWidget();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal == before)
            return;
        poll.stop();
        texts = visibleTexts(modal);
        if (inside)
            texts += inside(modal);
        modal->close();
    });
    poll.start(10);
    open();
    return texts;
}

using TextsOf = std::function<QStringList(frm_main &)>;

} // namespace

Q_DECLARE_METATYPE(TextsOf)

class TestJapaneseTexts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(AppTranslation::install()); }
    void init() { f.setUp(); }
    void cleanup() { f.tearDown(); }

    void noEnglishWhereJapaneseExists_data()
    {
        QTest::addColumn<TextsOf>("texts");
        auto clicked = [](const char *name, std::function<QStringList(QWidget *)> inside = {}) {
            return [name, inside](frm_main &w) {
                return modalTexts(
                    [&] { child<QPushButton>(&w, QString::fromLatin1(name))->click(); }, inside);
            };
        };
        QTest::newRow("main window") << TextsOf([](frm_main &w) { return visibleTexts(&w); });
        QTest::newRow("window menu") << TextsOf(
            [](frm_main &w) { return visibleTexts(code_SystemMenu::GetSystemMenu(&w)); });
        QTest::newRow("text box menu") << TextsOf([](frm_main &w) {
            std::unique_ptr<QMenu> menu(
                child<QLineEdit>(&w, u"txt_FtpFile"_qs)->createStandardContextMenu());
            return visibleTexts(menu.get());
        });
        QTest::newRow("processing window and its log's menu") << TextsOf([](frm_main &w) {
            child<QPushButton>(&w, u"cmd_Run"_qs)->click();
            auto *log = child<QPlainTextEdit>(w.makeForm(), u"txt_msg"_qs);
            std::unique_ptr<QMenu> menu(log->createStandardContextMenu());
            const QStringList texts = visibleTexts(w.makeForm()) + visibleTexts(menu.get());
            w.makeForm()->close();
            return texts;
        });
        QTest::newRow("FTP dialog") << TextsOf([](frm_main &w) {
            frm_FTPConfig dialog(&w);
            return modalTexts([&] { dialog.exec(); });
        });
        QTest::newRow("definition editor and its file dialog")
            << TextsOf(clicked("cmd_ConfigEdit", [](QWidget *editor) {
                   return modalTexts([editor] {
                       for (auto *b : editor->findChildren<QPushButton *>(u"cmd_SelectFile"_qs))
                           if (b->isVisibleTo(editor))
                               return b->click();
                   });
               }));
        QTest::newRow("About window") << TextsOf([](frm_main &w) {
            frm_Version about(&w);
            return visibleTexts(&about);
        });
        QTest::newRow("open dialog, file not found")
            << TextsOf(clicked("cmd_decode", [](QWidget *dialog) {
                   return modalTexts([dialog] {
                       dialog->findChild<QLineEdit *>(u"fileNameEdit"_qs)->setText(u"無い.html"_qs);
                       static_cast<QDialog *>(dialog)->accept();
                   });
               }));
        QTest::newRow("save dialog") << TextsOf(clicked("cmd_SaveFile"));
        QTest::newRow("folder dialog") << TextsOf(clicked("cmd_InputFolder"));
        QTest::newRow("message box") << TextsOf([](frm_main &) {
            return modalTexts([] { MessageBoxSink().information(u"お知らせ"_qs); });
        });
    }

    void noEnglishWhereJapaneseExists()
    {
        QFETCH(TextsOf, texts);
        f.store(u"ConfigFile"_qs, u"画像あり"_qs);
        f.store(u"SaveFile"_qs, f.dir->filePath(u"page.html"_qs));
        auto w = f.start();
        const QStringList seen = texts(*w);
        QVERIFY(seen.size() > 3);
        QStringList english;
        for (QString text : seen.join(u'\n').split(u'\n')) {
            text.remove(u'&');
            if (text.contains(u"://"_qs) || text.startsWith(u"Version "_qs) ||
                text.startsWith(u"Vellumdex"_qs) || text == u"OK"_qs)
                continue;
            if (std::all_of(text.cbegin(), text.cend(),
                            [](QChar c) { return c.unicode() < 0x80; }) &&
                text.contains(QRegularExpression(u"[A-Za-z]{2}"_qs)))
                english << text;
        }
        QVERIFY2(english.isEmpty(), qPrintable(english.join(u" | "_qs)));
    }

private:
    ProgramFolderFixture f;
};

int runMainWindowTests(int argc, char **argv)
{
    int failures = 0;
    {
        TestMainWindow t;
        failures += QTest::qExec(&t, argc, argv);
    }
    {
        TestSystemMenu t;
        failures += QTest::qExec(&t, argc, argv);
    }
    {
        TestProcessingWindow t;
        failures += QTest::qExec(&t, argc, argv);
    }
    {
        TestJapaneseTexts t;
        failures += QTest::qExec(&t, argc, argv);
    }
    return failures;
}

#include "tst_mainwindow.moc"
