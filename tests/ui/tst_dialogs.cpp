// SPDX-License-Identifier: GPL-3.0-or-later
#include "ImageSlotFrame.h"
#include "Twips.h"
#include "UiTests.h"
#include "base/Cp932.h"
#include "base/MessageSink.h"
#include "cls_ScrollFrame.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ImageData.h"
#include "frm_ConfigEdit.h"
#include "frm_FTPConfig.h"
#include "ftp/FtpConnections.h"
#include "ftp/cls_FtpData.h"
#include "settings/code_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

// Runs action on the next modal dialog once it is up.
void whenModal(const std::function<void(QWidget *)> &action)
{
    QTimer::singleShot(0, qApp, [action] {
        if (QWidget *modal = QApplication::activeModalWidget())
            action(modal);
        else
            whenModal(action);
    });
}

// Keystrokes, so that the validators see every character as a user's.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

template <typename T> T *child(QObject *parent, const QString &name)
{
    T *found = parent->findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

QLineEdit *field(QObject *parent, const char *name)
{
    return child<QLineEdit>(parent, QString::fromLatin1(name));
}

QPushButton *button(QObject *parent, const char *name)
{
    return child<QPushButton>(parent, QString::fromLatin1(name));
}

class RecordingSink : public MessageSink
{
public:
    RecordingSink() { MessageSink::install(this); }
    ~RecordingSink() override { MessageSink::install(nullptr); }
    void information(const QString &text) override { messages << text; }
    QStringList messages;
};

} // namespace

// Each test runs in a program folder of its own, which holds both settings files.
class DialogTest : public QObject
{
    Q_OBJECT

protected:
    void startAfresh()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        code_main::setProgramFolder(m_dir->path());
        run::Startup(QStringList());
    }
    QString file(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

class TestFtpConfigDialog : public DialogTest
{
    Q_OBJECT

private slots:
    void init() { startAfresh(); }
    void editsGoOnlyToTheSelectedConnection();
    void deleteRules();
    void closingWithoutOkLeavesFileAsItWas_data();
    void closingWithoutOkLeavesFileAsItWas();
    void okStoresWhatTheNextStartReads();
    void okThatCannotWriteKeepsTheEdits();
    void fieldsRefuseWhatTheFileCannotHold_data();
    void fieldsRefuseWhatTheFileCannotHold();

private:
    void storeTwo()
    {
        for (const QString &name : {u"社内"_qs, u"公開"_qs}) {
            auto c = QSharedPointer<cls_FtpData>::create();
            c->setViewName(name);
            c->setFtpSrv(name + u".example"_qs);
            c->setFtpPwd(u"pw,1"_qs);
            run::FtpConnections().append(c);
        }
        QVERIFY(run::SaveFtpList());
        run::Startup(QStringList());
    }
};

void TestFtpConfigDialog::editsGoOnlyToTheSelectedConnection()
{
    frm_FTPConfig dialog;
    auto *list = child<QListWidget>(&dialog, u"lst_Ftp"_qs);
    QCOMPARE(list->currentRow(), -1);
    typeText(field(&dialog, "txt_Name"), u"abc"_qs); // nothing to take it
    button(&dialog, "cmd_Del")->click();             // nothing to delete
    QCOMPARE(list->count(), 0);
    QVERIFY(run::FtpConnections().isEmpty());

    button(&dialog, "cmd_Add")->click();
    QCOMPARE(field(&dialog, "txt_Name")->text(), u"新しい接続"_qs);
    typeText(field(&dialog, "txt_Ftpsvr"), u"host1"_qs);
    button(&dialog, "cmd_Add")->click();
    QCOMPARE(field(&dialog, "txt_Ftpsvr")->text(), QString());
    field(&dialog, "txt_Name")->selectAll();
    typeText(field(&dialog, "txt_Name"), u"二番"_qs);
    QCOMPARE(list->item(0)->text(), u"新しい接続"_qs);
    QCOMPARE(list->item(1)->text(), u"二番"_qs);
    list->setCurrentRow(0);
    QCOMPARE(field(&dialog, "txt_Ftpsvr")->text(), u"host1"_qs);
    QCOMPARE(run::FtpConnections().at(1)->ViewName(), u"二番"_qs);
}

void TestFtpConfigDialog::deleteRules()
{
    storeTwo();
    frm_FTPConfig dialog;
    auto *list = child<QListWidget>(&dialog, u"lst_Ftp"_qs);
    list->setCurrentRow(1);
    button(&dialog, "cmd_Del")->click();
    // The first entry is selected and shown again, not left blank.
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(field(&dialog, "txt_Ftpsvr")->text(), u"社内.example"_qs);
    child<QComboBox>(&dialog, u"cmb_Protocol"_qs)->setCurrentIndex(2);
    button(&dialog, "cmd_Del")->click();
    QCOMPARE(list->count(), 0);
    QVERIFY(run::FtpConnections().isEmpty());
    for (const char *name : {"txt_Name", "txt_Ftpsvr", "txt_uid", "txt_pwd", "txt_Dir"})
        QCOMPARE(field(&dialog, name)->text(), QString());
    QCOMPARE(child<QComboBox>(&dialog, u"cmb_Protocol"_qs)->currentIndex(), 0);
}

void TestFtpConfigDialog::closingWithoutOkLeavesFileAsItWas_data()
{
    QTest::addColumn<int>("how");
    QTest::newRow("キャンセル") << 0;
    QTest::newRow("close box") << 1;
    QTest::newRow("Escape") << 2;
}

void TestFtpConfigDialog::closingWithoutOkLeavesFileAsItWas()
{
    QFETCH(int, how);
    storeTwo();
    const QByteArray before = readBytes(file(u"Vellumdex.ini"_qs));
    frm_FTPConfig dialog;
    whenModal([how](QWidget *modal) {
        typeText(field(modal, "txt_Ftpsvr"), u"changed"_qs);
        button(modal, "cmd_Add")->click();
        child<QListWidget>(modal, u"lst_Ftp"_qs)->setCurrentRow(1);
        button(modal, "cmd_Del")->click();
        if (how == 0)
            button(modal, "cmd_Cancel")->click();
        else if (how == 1)
            modal->close();
        else
            QTest::keyClick(modal, Qt::Key_Escape);
    });
    dialog.exec();
    QVERIFY(dialog.Cancel());
    QCOMPARE(readBytes(file(u"Vellumdex.ini"_qs)), before);
    const auto &list = run::FtpConnections();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0)->FtpSrv(), u"社内.example"_qs);
    QCOMPARE(list.at(1)->ViewName(), u"公開"_qs);
    // The main window finds its own section current again.
    QCOMPARE(code_main::SettingsIni().section(), u"System"_qs);
}

void TestFtpConfigDialog::okStoresWhatTheNextStartReads()
{
    frm_FTPConfig dialog;
    whenModal([](QWidget *modal) {
        button(modal, "cmd_Add")->click();
        field(modal, "txt_Name")->clear();
        typeText(field(modal, "txt_Name"), u"本番"_qs);
        typeText(field(modal, "txt_Ftpsvr"), u"ftp.example.jp"_qs);
        typeText(field(modal, "txt_uid"), u"user"_qs);
        typeText(field(modal, "txt_pwd"), u"p,ss"_qs);
        typeText(field(modal, "txt_Dir"), u"/www/日本"_qs);
        QCOMPARE(field(modal, "txt_pwd")->displayText(), u"****"_qs);
        child<QCheckBox>(modal, u"chk_FtpPassive"_qs)->click();
        child<QComboBox>(modal, u"cmb_Protocol"_qs)->setCurrentIndex(2);
        typeText(field(modal, "txt_KeyFile"), u"/home/鍵/id"_qs);
        button(modal, "cmd_OK")->click();
    });
    dialog.exec();
    QVERIFY(!dialog.Cancel());
    run::Startup(QStringList());
    QCOMPARE(run::FtpConnections().size(), 1);
    const cls_FtpData &c = *run::FtpConnections().at(0);
    QCOMPARE(
        QStringList({c.ViewName(), c.FtpSrv(), c.FtpUid(), c.FtpPwd(), c.FtpDir()}),
        QStringList({u"本番"_qs, u"ftp.example.jp"_qs, u"user"_qs, u"p,ss"_qs, u"/www/日本"_qs}));
    QVERIFY(c.FtpPassive());
    QCOMPARE(c.FtpProtocol(), cls_FtpData::Protocol::Sftp);
    QCOMPARE(c.FtpKeyFile(), u"/home/鍵/id"_qs);
    frm_FTPConfig again; // shows the stored choices
    QCOMPARE(child<QComboBox>(&again, u"cmb_Protocol"_qs)->currentIndex(), 2);
    QCOMPARE(field(&again, "txt_KeyFile")->text(), u"/home/鍵/id"_qs);

    // OK without a change still rewrites the section: the passwords are scrambled afresh.
    const QByteArray before = readBytes(file(u"Vellumdex.ini"_qs));
    button(&again, "cmd_OK")->click();
    QVERIFY(!again.Cancel());
    QVERIFY(readBytes(file(u"Vellumdex.ini"_qs)) != before);
    QCOMPARE(run::FtpConnections().at(0)->FtpPwd(), u"p,ss"_qs);
}

void TestFtpConfigDialog::okThatCannotWriteKeepsTheEdits()
{
    QVERIFY(QDir().mkpath(file(u"Vellumdex.ini"_qs))); // a folder where the file should be
    RecordingSink sink;
    frm_FTPConfig dialog;
    dialog.show();
    button(&dialog, "cmd_Add")->click();
    button(&dialog, "cmd_OK")->click();
    QCOMPARE(sink.messages.size(), 1);
    QVERIFY(sink.messages.at(0).contains(u"Vellumdex.ini"_qs));
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.Cancel());
    QCOMPARE(run::FtpConnections().size(), 1);
}

void TestFtpConfigDialog::fieldsRefuseWhatTheFileCannotHold_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("reason");
    const QString comma = u"「,」"_qs;
    QTest::newRow("comma in name") << u"txt_Name"_qs << QByteArray("ViewName") << u","_qs << comma;
    QTest::newRow("comma in server")
        << u"txt_Ftpsvr"_qs << QByteArray("FtpSrv") << u","_qs << comma;
    QTest::newRow("comma in folder") << u"txt_Dir"_qs << QByteArray("FtpDir") << u","_qs << comma;
    QTest::newRow("comma in user id") << u"txt_uid"_qs << QByteArray("FtpUid") << u","_qs << comma;
    QTest::newRow("not in code page 932, name")
        << u"txt_Name"_qs << QByteArray("ViewName") << u"\u00e9"_qs << u"保存できない"_qs;
    QTest::newRow("not in code page 932, password")
        << u"txt_pwd"_qs << QByteArray("FtpPwd") << u"\u00e9"_qs << u"保存できない"_qs;
}

void TestFtpConfigDialog::fieldsRefuseWhatTheFileCannotHold()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, property);
    QFETCH(QString, refused);
    QFETCH(QString, reason);
    frm_FTPConfig dialog;
    button(&dialog, "cmd_Add")->click();
    auto *edit = child<QLineEdit>(&dialog, name);
    edit->clear();
    typeText(edit, u"a"_qs + refused);
    auto *status = child<QLabel>(&dialog, u"lbl_Status"_qs);
    QVERIFY(status->text().contains(reason));
    // The whole reason shows, and goes once the input is good again.
    QVERIFY(status->minimumSizeHint().width() <= status->width());
    QVERIFY(status->heightForWidth(status->width()) <= status->height());
    typeText(edit, u"b"_qs);
    QCOMPARE(edit->text(), u"ab"_qs);
    QVERIFY(status->text().isEmpty());
    QApplication::clipboard()->setText(u"x"_qs + refused + u"y"_qs);
    edit->paste(); // refused whole
    typeText(edit, u"c"_qs);
    button(&dialog, "cmd_OK")->click();
    run::LoadFtpList();
    const cls_FtpData &c = *run::FtpConnections().at(0);
    const FtpConnectionData &d = c.data();
    const QHash<QByteArray, QString> fields{{"ViewName", d.viewName},
                                            {"FtpSrv", d.server},
                                            {"FtpDir", d.folder},
                                            {"FtpUid", d.user},
                                            {"FtpPwd", d.password}};
    QCOMPARE(fields.value(property), u"abc"_qs);
    QVERIFY(!c.FtpPassive()); // the record did not shift
}

// ---------------------------------------------------------------------------------------------

class TestScrollFrame : public QObject
{
    Q_OBJECT

private slots:
    void scrolling_data();
    void scrolling();
};

void TestScrollFrame::scrolling_data()
{
    // A 3000-twip container over content of the first height, scrolled, then refreshed for
    // content of the second height.
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("scrollTo");
    QTest::addColumn<int>("newHeight");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("shift");
    QTest::newRow("content as tall") << 3000 << 120 << 0 << 3000 << false << 0 << 0;
    QTest::newRow("1000 taller: 8 steps") << 4000 << 120 << 8 << 4000 << true << 8 << 960;
    QTest::newRow("half a step rounds to even 0") << 3060 << 120 << 0 << 3060 << true << 0 << 0;
    QTest::newRow("1.5 steps round to 2") << 3180 << 120 << 2 << 3180 << true << 2 << 240;
    QTest::newRow("2.5 steps round to 2") << 3300 << 120 << 2 << 3300 << true << 2 << 240;
    QTest::newRow("step 0 does not scroll") << 4000 << 0 << 0 << 4000 << false << 0 << 0;
    QTest::newRow("16-bit limit") << 3000 + 120 * 40000 << 120 << 0 << 3000 + 120 * 40000 << true
                                  << 32767 << 0;
    QTest::newRow("growth keeps the position") << 4000 << 120 << 5 << 9000 << true << 50 << 600;
    QTest::newRow("shrunk to fit keeps the shift") << 4000 << 120 << 4 << 2000 << false << 0 << 480;
    QTest::newRow("shrunk below the value") << 9000 << 120 << 40 << 4000 << true << 8 << 960;
}

void TestScrollFrame::scrolling()
{
    QFETCH(int, height);
    QFETCH(int, step);
    QFETCH(int, scrollTo);
    QFETCH(int, newHeight);
    QFETCH(bool, enabled);
    QFETCH(int, max);
    QFETCH(int, shift);
    QWidget window;
    auto *frame = new QWidget(&window);
    Twips::place(frame, 120, 1080, 7455, 3000);
    auto *bar = new QScrollBar(Qt::Vertical, &window);
    auto *a = new QWidget(frame);
    auto *b = new QWidget(frame);
    Twips::place(b, 60, 1335, 7095, 1215);
    cls_ScrollFrame scroll;
    scroll.MoveCtlAdd(a);
    scroll.MoveCtlAdd(b);
    scroll.setHeight(height);
    scroll.setMoveStep(step);
    scroll.SetFrame(frame);
    scroll.Refreash(); // no bar yet: nothing
    QCOMPARE(bar->maximum(), 99);
    scroll.SetScrollBar(bar);
    bar->setValue(scrollTo);
    scroll.setHeight(newHeight);
    scroll.Refreash();
    QVERIFY(!bar->isHidden());
    QCOMPARE(bar->isEnabled(), enabled);
    if (enabled)
        QCOMPARE(bar->maximum(), max);
    QCOMPARE(scroll.ScrollTop(), shift);
    QCOMPARE(a->y(), -Twips::toPixels(shift, a));
    QCOMPARE(b->y(), Twips::toPixels(1335, b) - Twips::toPixels(shift, b));

    // The bar follows the container when it is moved or resized.
    Twips::place(frame, 300, 600, 6000, 2400);
    scroll.Refreash();
    QCOMPARE(bar->geometry().top(), frame->geometry().top());
    QCOMPARE(bar->geometry().right(), frame->geometry().right());
    QCOMPARE(bar->height(), frame->height());
}

// ---------------------------------------------------------------------------------------------

class TestConfigEdit : public DialogTest
{
    Q_OBJECT

private slots:
    void init()
    {
        m_editor.reset();
        startAfresh();
    }
    void withoutSetsThePanelGoesAndTheWindowKeepsItsSize();
    void manySlotsScrollAndTabBringsThemIntoView();
    void setTicksEveryBoxMissingFilesSaveUnticked();
    void chosenFileThenCancelLeavesConfigIni();
    void previews_data();
    void previews();

private:
    // Slots a<i>.gif captioned 画像<i>; the set "青" gives slot 1 img/blue.png and slot 2 a
    // missing file.
    std::shared_ptr<cls_ConfigData> makeDefinition(int count, bool withSet)
    {
        QString ini = u"[ImageList]\r\nDataCount=%1\r\n"_qs.arg(count);
        for (int i = 1; i <= count; ++i)
            ini +=
                u"Image_%1=a%1.gif\r\n[a%1.gif]\r\nName=画像%1\r\nMask=*.gif;*.png\r\n"_qs.arg(i);
        ini += u"[ImageSetList]\r\nDataCount=%1\r\n[ImageSet_1]\r\nName=青\r\n"
               u"a1.gif=img\\blue.png\r\na2.gif=img\\missing.png\r\n"_qs.arg(withSet ? 1 : 0);
        writeBytes(file(u"Config/テスト.html"_qs),
                   Cp932::fromUnicode(u"<!--テスト定義-->\r\n<!--ImageConfig=Start-->\r\n"_qs +
                                      ini + u"<!--ImageConfig=End-->\r\n\r\n"_qs));
        QImage blue(40, 30, QImage::Format_RGB32);
        blue.fill(Qt::blue);
        QDir().mkpath(file(u"Config/img"_qs));
        blue.save(file(u"Config/img/blue.png"_qs));
        auto definition = std::make_shared<cls_ConfigData>();
        definition->setFileName(file(u"Config/テスト.html"_qs));
        if (!definition->ConfigCheck())
            qFatal("no caption line");
        return definition;
    }
    frm_ConfigEdit *openEditor(const std::shared_ptr<cls_ConfigData> &definition)
    {
        m_editor = std::make_unique<frm_ConfigEdit>();
        m_editor->setConfigData(definition);
        m_editor->show();
        return m_editor.get();
    }
    QList<ImageSlotFrame *> frames() const
    {
        QList<ImageSlotFrame *> found = m_editor->findChildren<ImageSlotFrame *>();
        found.removeIf([](ImageSlotFrame *f) { return f->Index() == 0; }); // the design frame
        std::sort(found.begin(), found.end(),
                  [](auto *a, auto *b) { return a->Index() < b->Index(); });
        return found;
    }
    int px(int twips) const { return Twips::toPixels(twips, m_editor.get()); }

    std::unique_ptr<frm_ConfigEdit> m_editor;
};

void TestConfigEdit::withoutSetsThePanelGoesAndTheWindowKeepsItsSize()
{
    auto *editor = openEditor(makeDefinition(1, false));
    QVERIFY(child<QGroupBox>(editor, u"frame_ImageSet"_qs)->isHidden());
    auto *view = child<QFrame>(editor, u"pic_frame"_qs);
    QCOMPARE(view->y(), 0);
    QCOMPARE(editor->height(), px(frm_ConfigEdit::MinInnerHeight));
    QCOMPARE(view->height(), px(5460 - 555));
    QCOMPARE(frames().at(0)->title(), u"画像1"_qs);
    QVERIFY(!child<QScrollBar>(editor, u"vsl_frame"_qs)->isEnabled());
    editor->resize(editor->width() + 200, 100); // dragged wider and too short
    QCOMPARE(editor->width(), px(frm_ConfigEdit::InnerWidth));
    QCOMPARE(editor->height(), px(frm_ConfigEdit::MinInnerHeight));
}

void TestConfigEdit::manySlotsScrollAndTabBringsThemIntoView()
{
    auto *editor = openEditor(makeDefinition(10, true));
    auto *view = child<QFrame>(editor, u"pic_frame"_qs);
    auto *bar = child<QScrollBar>(editor, u"vsl_frame"_qs);
    QCOMPARE(view->y(), px(1080));
    QCOMPARE(editor->height(), px(5610));
    QCOMPARE(bar->maximum(), 78); // (10 * 1335 - 3975) / 120 = 78.1
    QCOMPARE(frames().at(9)->y(), px(9 * 1335));
    bar->setValue(11);
    QCOMPARE(frames().at(1)->y(), px(1335) - px(1320));
    editor->resize(editor->width(), editor->height() + px(1200));
    QCOMPARE(button(editor, "cmd_OK")->y(), view->geometry().bottom() + 1 + px(120));
    QCOMPARE(bar->maximum(), 68);
    QCOMPARE(bar->value(), 11);

    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    child<QComboBox>(editor, u"cmb_ImageSet"_qs)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), frames().at(0)->firstFocus());
    QWidget *last = frames().at(9)->lastFocus();
    last->setFocus();
    QVERIFY(view->contentsRect().contains(QRect(last->mapTo(view, QPoint(0, 0)), last->size())));
    QTest::keyClick(last, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(editor, "cmd_OK"));
}

void TestConfigEdit::setTicksEveryBoxMissingFilesSaveUnticked()
{
    auto definition = makeDefinition(3, true);
    auto *sets = child<QComboBox>(openEditor(definition), u"cmb_ImageSet"_qs);
    QCOMPARE(sets->currentIndex(), -1);
    QTest::keyClick(sets, Qt::Key_Down);
    for (ImageSlotFrame *frame : frames())
        QVERIFY(child<QCheckBox>(frame, u"chk_ImageChange"_qs)->isChecked());
    QCOMPARE(field(frames().at(0), "txt_FileName")->text(), u"img/blue.png"_qs);
    QCOMPARE(field(frames().at(1), "txt_FileName")->text(), QString());
    button(m_editor.get(), "cmd_OK")->click();
    QCOMPARE(m_editor->result(), int(QDialog::Accepted));

    openEditor(definition);
    QVERIFY(child<QCheckBox>(frames().at(0), u"chk_ImageChange"_qs)->isChecked());
    QVERIFY(!child<QCheckBox>(frames().at(1), u"chk_ImageChange"_qs)->isChecked());
}

void TestConfigEdit::chosenFileThenCancelLeavesConfigIni()
{
    auto definition = makeDefinition(2, true);
    definition->GetStatus();
    definition->Image(1)->setSelectFile(u"img/blue.png"_qs);
    QVERIFY(definition->SaveSetting());
    const QByteArray before = readBytes(file(u"Config.ini"_qs));
    QImage(10, 10, QImage::Format_RGB32).save(file(u"red.png"_qs));

    openEditor(definition);
    auto *frame = frames().at(0);
    whenModal([](QWidget *modal) { static_cast<QDialog *>(modal)->reject(); });
    button(frame, "cmd_SelectFile")->click(); // cancelled: nothing changes
    QCOMPARE(field(frame, "txt_FileName")->text(), u"img/blue.png"_qs);
    QStringList filters;
    QString folder;
    whenModal([&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        filters = dialog->nameFilters() + dialog->findChild<QFileSystemModel *>()->nameFilters();
        folder = dialog->directory().absolutePath();
        dialog->selectFile(file(u"red.png"_qs));
        static_cast<QDialog *>(dialog)->accept();
    });
    button(frame, "cmd_SelectFile")->click();
    // Shown as the definition writes it, and still filtering by each pattern.
    QCOMPARE(filters, QStringList({u"画像ファイル (*.gif;*.png)"_qs, u"*.gif"_qs, u"*.png"_qs}));
    QCOMPARE(folder, QDir(file(u"Config"_qs)).absolutePath());
    QCOMPARE(field(frame, "txt_FileName")->text(), file(u"red.png"_qs)); // outside: shown whole
    QVERIFY(!child<QCheckBox>(frame, u"chk_ImageChange"_qs)->isChecked());
    button(m_editor.get(), "cmd_Cancel")->click();
    QCOMPARE(readBytes(file(u"Config.ini"_qs)), before);

    openEditor(definition);
    QCOMPARE(field(frames().at(0), "txt_FileName")->text(), u"img/blue.png"_qs);
}

void TestConfigEdit::previews_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format"); // empty: a damaged PNG
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("shown");
    QTest::newRow("png") << u"p.png"_qs << QByteArray("png") << QSize(20, 10) << true;
    QTest::newRow("jpg") << u"p.jpg"_qs << QByteArray("jpeg") << QSize(20, 10) << true;
    QTest::newRow("JPEG") << u"p.JPEG"_qs << QByteArray("jpeg") << QSize(20, 10) << true;
    QTest::newRow("gif") << u"p.gif"_qs << QByteArray("gif") << QSize(1, 1) << true;
    QTest::newRow("wider than the frame")
        << u"w.png"_qs << QByteArray("png") << QSize(200, 30) << true;
    QTest::newRow("damaged png") << u"d.png"_qs << QByteArray() << QSize() << false;
    QTest::newRow("jpeg named png") << u"j.png"_qs << QByteArray("jpeg") << QSize(20, 10) << false;
    QTest::newRow("bmp") << u"p.bmp"_qs << QByteArray("bmp") << QSize(20, 10) << false;
}

void TestConfigEdit::previews()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(bool, shown);
    auto definition = makeDefinition(1, false);
    const QString path = file(u"Config/"_qs + name);
    if (format.isEmpty()) {
        writeBytes(path, QByteArray("\x89PNG\r\n\x1a\n damaged", 17));
    } else if (format == "gif") { // Qt reads GIF but does not write it
        writeBytes(path,
                   QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00!\xf9\x04"
                              "\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02"
                              "D\x01\x00;",
                              43));
    } else {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::green);
        QVERIFY(image.save(path, format.constData()));
    }
    openEditor(definition);
    auto *picture = child<QLabel>(frames().at(0), u"img_Image"_qs);
    definition->Image(1)->setSelectFile(name);
    QCOMPARE(field(frames().at(0), "txt_FileName")->text(), name);
    QCOMPARE(picture->isVisible(), shown);
    QCOMPARE(picture->pixmap().isNull(), !shown);
    if (!shown)
        return;
    QCOMPARE(picture->size(), size);
    // Never stretched: centred when smaller than the frame, at its top or left when larger.
    const QSize inner = child<QFrame>(frames().at(0), u"pic_ImageBase"_qs)->contentsRect().size();
    const auto at = [](int picture, int frame) {
        return picture >= frame ? 0 : (frame - picture) / 2;
    };
    QCOMPARE(picture->pos(),
             QPoint(at(size.width(), inner.width()), at(size.height(), inner.height())));
}

// ---------------------------------------------------------------------------------------------

int runDialogTests(int argc, char **argv)
{
    int failures = 0;
    TestFtpConfigDialog ftp;
    failures += QTest::qExec(&ftp, argc, argv);
    TestScrollFrame scroll;
    failures += QTest::qExec(&scroll, argc, argv);
    TestConfigEdit edit;
    failures += QTest::qExec(&edit, argc, argv);
    return failures;
}

#include "tst_dialogs.moc"
