#include "UiTests.h"

#include "ImageSlotFrame.h"
#include "Twips.h"
#include "cls_ScrollFrame.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ImageData.h"
#include "frm_ConfigEdit.h"
#include "frm_FTPConfig.h"
#include "ftp/cls_FtpData.h"
#include "startup/Cp932.h"
#include "startup/MessageSink.h"
#include "startup/code_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

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
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

// A program folder of its own: both settings files live there, nothing else is touched.
void startIn(const QTemporaryDir &dir)
{
    code_main::setProgramFolder(dir.path());
    code_main::Startup(QStringList());
}

// Runs action on the next modal dialog once it is up (exec() returns after it acts).
void whenModal(const std::function<void(QWidget *)> &action)
{
    QTimer::singleShot(0, qApp, [action] {
        if (QWidget *modal = QApplication::activeModalWidget())
            action(modal);
        else
            whenModal(action);
    });
}

// Types text as keystrokes, so that validators see each character as a user's.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Collects the information messages that would go to message boxes.
class RecordingSink : public MessageSink
{
public:
    RecordingSink() { MessageSink::install(this); }
    ~RecordingSink() override { MessageSink::install(nullptr); }
    void information(const QString &text) override { messages << text; }
    QStringList messages;
};

template <typename T>
T *child(QObject *parent, const QString &name)
{
    T *found = parent->findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

} // namespace

// ---------------------------------------------------------------------------------------------

class TestFtpConfigDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void emptyListTakesNoEdits();
    void addTwiceThenRenameSelectedOnly();
    void deleteRules();
    void closingWithoutOkLeavesFileAsItWas_data();
    void closingWithoutOkLeavesFileAsItWas();
    void okStoresEditsThatLoadBack();
    void okWithoutChangeRewritesSection();
    void okThatCannotWriteKeepsTheEdits();
    void fieldsRefuseWhatTheFileCannotHold_data();
    void fieldsRefuseWhatTheFileCannotHold();
    void passwordShowsStars();

private:
    QString iniPath() const { return m_dir->filePath(u"Vellumdex.ini"_qs); }
    void storeTwo();

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFtpConfigDialog::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    startIn(*m_dir);
}

void TestFtpConfigDialog::storeTwo()
{
    auto &list = code_main::FtpConnections();
    for (const QString &name : {u"社内"_qs, u"公開"_qs}) {
        auto c = QSharedPointer<cls_FtpData>::create();
        c->setViewName(name);
        c->setFtpSrv(name + u".example"_qs);
        c->setFtpUid(u"uid"_qs);
        c->setFtpPwd(u"pw,1"_qs);
        list.append(c);
    }
    QVERIFY(code_main::SaveFtpList());
    code_main::LoadFtpList();
    code_main::SettingsIni().SetSection(u"System"_qs);
}

void TestFtpConfigDialog::emptyListTakesNoEdits()
{
    frm_FTPConfig dialog;
    auto *list = child<QListWidget>(&dialog, u"lst_Ftp"_qs);
    QCOMPARE(list->count(), 0);
    QCOMPARE(list->currentRow(), -1);
    typeText(child<QLineEdit>(&dialog, u"txt_Name"_qs), u"abc"_qs);
    child<QCheckBox>(&dialog, u"chk_FtpPassive"_qs)->click();
    QCOMPARE(list->count(), 0);
    QVERIFY(code_main::FtpConnections().isEmpty());
    child<QPushButton>(&dialog, u"cmd_Del"_qs)->click(); // nothing selected: nothing happens
    QVERIFY(code_main::FtpConnections().isEmpty());
}

void TestFtpConfigDialog::addTwiceThenRenameSelectedOnly()
{
    frm_FTPConfig dialog;
    auto *list = child<QListWidget>(&dialog, u"lst_Ftp"_qs);
    auto *name = child<QLineEdit>(&dialog, u"txt_Name"_qs);
    auto *add = child<QPushButton>(&dialog, u"cmd_Add"_qs);
    add->click();
    typeText(child<QLineEdit>(&dialog, u"txt_Ftpsvr"_qs), u"host1"_qs);
    add->click();
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), u"新しい接続"_qs);
    QCOMPARE(list->currentRow(), 1);
    // The new entry is shown empty, not with what the first one was given.
    QCOMPARE(child<QLineEdit>(&dialog, u"txt_Ftpsvr"_qs)->text(), QString());
    name->selectAll();
    typeText(name, u"二番"_qs);
    QCOMPARE(list->item(0)->text(), u"新しい接続"_qs);
    QCOMPARE(list->item(1)->text(), u"二番"_qs);
    QCOMPARE(code_main::FtpConnections().at(1)->ViewName(), u"二番"_qs);
    list->setCurrentRow(0);
    QCOMPARE(name->text(), u"新しい接続"_qs);
    QCOMPARE(child<QLineEdit>(&dialog, u"txt_Ftpsvr"_qs)->text(), u"host1"_qs);
}

void TestFtpConfigDialog::deleteRules()
{
    storeTwo();
    frm_FTPConfig dialog;
    auto *list = child<QListWidget>(&dialog, u"lst_Ftp"_qs);
    auto *del = child<QPushButton>(&dialog, u"cmd_Del"_qs);
    auto *server = child<QLineEdit>(&dialog, u"txt_Ftpsvr"_qs);
    list->setCurrentRow(1);
    del->click();
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(server->text(), u"社内.example"_qs);
    QCOMPARE(code_main::FtpConnections().size(), 1);
    child<QCheckBox>(&dialog, u"chk_FtpTls"_qs)->click();
    del->click();
    QCOMPARE(list->count(), 0);
    QVERIFY(code_main::FtpConnections().isEmpty());
    for (const char *field : {"txt_Name", "txt_Ftpsvr", "txt_uid", "txt_pwd", "txt_Dir"})
        QCOMPARE(child<QLineEdit>(&dialog, QString::fromLatin1(field))->text(), QString());
    QVERIFY(!child<QCheckBox>(&dialog, u"chk_FtpPassive"_qs)->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, u"chk_FtpTls"_qs)->isChecked());
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
    const QByteArray before = readBytes(iniPath());
    frm_FTPConfig dialog;
    whenModal([how](QWidget *modal) {
        typeText(child<QLineEdit>(modal, u"txt_Ftpsvr"_qs), u"changed"_qs);
        child<QPushButton>(modal, u"cmd_Add"_qs)->click();
        child<QListWidget>(modal, u"lst_Ftp"_qs)->setCurrentRow(0);
        child<QPushButton>(modal, u"cmd_Del"_qs)->click();
        if (how == 0)
            child<QPushButton>(modal, u"cmd_Cancel"_qs)->click();
        else if (how == 1)
            modal->close();
        else
            QTest::keyClick(modal, Qt::Key_Escape);
    });
    dialog.exec();
    QVERIFY(dialog.Cancel());
    QCOMPARE(readBytes(iniPath()), before);
    const auto &list = code_main::FtpConnections();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0)->FtpSrv(), u"社内.example"_qs);
    QCOMPARE(list.at(1)->ViewName(), u"公開"_qs);
    // The main window finds its own section current again.
    QCOMPARE(code_main::SettingsIni().section(), u"System"_qs);
}

void TestFtpConfigDialog::okStoresEditsThatLoadBack()
{
    frm_FTPConfig dialog;
    whenModal([](QWidget *modal) {
        child<QPushButton>(modal, u"cmd_Add"_qs)->click();
        auto *name = child<QLineEdit>(modal, u"txt_Name"_qs);
        name->clear();
        typeText(name, u"本番サーバー"_qs);
        typeText(child<QLineEdit>(modal, u"txt_Ftpsvr"_qs), u"ftp.example.jp"_qs);
        typeText(child<QLineEdit>(modal, u"txt_uid"_qs), u"user"_qs);
        typeText(child<QLineEdit>(modal, u"txt_pwd"_qs), u"p,ss"_qs);
        typeText(child<QLineEdit>(modal, u"txt_Dir"_qs), u"/www/日本"_qs);
        child<QCheckBox>(modal, u"chk_FtpPassive"_qs)->click();
        child<QCheckBox>(modal, u"chk_FtpTls"_qs)->click();
        child<QPushButton>(modal, u"cmd_OK"_qs)->click();
    });
    dialog.exec();
    QVERIFY(!dialog.Cancel());
    code_main::LoadFtpList();
    const auto &list = code_main::FtpConnections();
    QCOMPARE(list.size(), 1);
    const cls_FtpData &c = *list.at(0);
    QCOMPARE(c.ViewName(), u"本番サーバー"_qs);
    QCOMPARE(c.FtpSrv(), u"ftp.example.jp"_qs);
    QCOMPARE(c.FtpUid(), u"user"_qs);
    QCOMPARE(c.FtpPwd(), u"p,ss"_qs);
    QCOMPARE(c.FtpDir(), u"/www/日本"_qs);
    QVERIFY(c.FtpPassive());
    QVERIFY(c.FtpTls());
    QVERIFY(readBytes(iniPath()).contains(Cp932::fromUnicode(u"Data_1=本番サーバー,"_qs)));

    // The next dialog shows the stored choices in its boxes.
    frm_FTPConfig again;
    QVERIFY(child<QCheckBox>(&again, u"chk_FtpTls"_qs)->isChecked());
    QVERIFY(child<QCheckBox>(&again, u"chk_FtpPassive"_qs)->isChecked());
    QCOMPARE(child<QLineEdit>(&again, u"txt_pwd"_qs)->text(), u"p,ss"_qs);
}

void TestFtpConfigDialog::okWithoutChangeRewritesSection()
{
    storeTwo();
    const QByteArray before = readBytes(iniPath());
    frm_FTPConfig dialog;
    whenModal([](QWidget *modal) { child<QPushButton>(modal, u"cmd_OK"_qs)->click(); });
    dialog.exec();
    QVERIFY(!dialog.Cancel());
    QVERIFY(readBytes(iniPath()) != before); // passwords scrambled afresh
    QCOMPARE(code_main::FtpConnections().size(), 2);
    QCOMPARE(code_main::FtpConnections().at(1)->FtpPwd(), u"pw,1"_qs);
}

void TestFtpConfigDialog::okThatCannotWriteKeepsTheEdits()
{
    QVERIFY(QDir().mkpath(iniPath())); // a folder where the settings file should be
    RecordingSink sink;
    frm_FTPConfig dialog;
    dialog.show();
    child<QPushButton>(&dialog, u"cmd_Add"_qs)->click();
    child<QPushButton>(&dialog, u"cmd_OK"_qs)->click();
    QCOMPARE(sink.messages.size(), 1);
    QVERIFY(sink.messages.at(0).contains(u"Vellumdex.ini"_qs));
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.Cancel());
    QCOMPARE(child<QListWidget>(&dialog, u"lst_Ftp"_qs)->count(), 1);
    QCOMPARE(code_main::FtpConnections().size(), 1);
}

void TestFtpConfigDialog::fieldsRefuseWhatTheFileCannotHold_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("reason");
    const QString comma = u"「,」"_qs;
    const QString codePage = u"保存できない"_qs;
    QTest::newRow("comma in name") << u"txt_Name"_qs << QByteArray("ViewName") << u","_qs << comma;
    QTest::newRow("comma in server") << u"txt_Ftpsvr"_qs << QByteArray("FtpSrv") << u","_qs << comma;
    QTest::newRow("comma in folder") << u"txt_Dir"_qs << QByteArray("FtpDir") << u","_qs << comma;
    QTest::newRow("comma in user id") << u"txt_uid"_qs << QByteArray("FtpUid") << u","_qs << comma;
    QTest::newRow("no code page 932 form in name")
        << u"txt_Name"_qs << QByteArray("ViewName") << u"\u00e9"_qs << codePage;
    QTest::newRow("no code page 932 form in password")
        << u"txt_pwd"_qs << QByteArray("FtpPwd") << u"\u00e9"_qs << codePage;
}

void TestFtpConfigDialog::fieldsRefuseWhatTheFileCannotHold()
{
    QFETCH(QString, field);
    QFETCH(QByteArray, property);
    QFETCH(QString, refused);
    QFETCH(QString, reason);
    frm_FTPConfig dialog;
    child<QPushButton>(&dialog, u"cmd_Add"_qs)->click();
    auto *edit = child<QLineEdit>(&dialog, field);
    auto *status = child<QLabel>(&dialog, u"lbl_Status"_qs);
    edit->clear();
    typeText(edit, u"a"_qs + refused + u"b"_qs);
    QCOMPARE(edit->text(), u"ab"_qs);
    QVERIFY2(status->text().contains(reason), qPrintable(status->text()));
    // A pasted text that holds one is refused whole.
    QApplication::clipboard()->setText(u"x"_qs + refused + u"y"_qs);
    edit->paste();
    QCOMPARE(edit->text(), u"ab"_qs);
    typeText(edit, u"c"_qs);
    child<QPushButton>(&dialog, u"cmd_OK"_qs)->click();
    code_main::LoadFtpList();
    const cls_FtpData &c = *code_main::FtpConnections().at(0);
    QCOMPARE(c.property(property.constData()).toString(), u"abc"_qs);
    QVERIFY(!c.FtpPassive()); // the record did not shift
}

void TestFtpConfigDialog::passwordShowsStars()
{
    frm_FTPConfig dialog;
    child<QPushButton>(&dialog, u"cmd_Add"_qs)->click();
    auto *pwd = child<QLineEdit>(&dialog, u"txt_pwd"_qs);
    typeText(pwd, u"abc"_qs);
    QCOMPARE(pwd->displayText(), u"***"_qs);
}

// ---------------------------------------------------------------------------------------------

class TestScrollFrame : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void rangeFromOverflow_data();
    void rangeFromOverflow();
    void scrollingMovesControlsUp();
    void refreshAfterGrowthKeepsPosition();
    void shrinkToFitKeepsShiftedControls();
    void barFollowsContainer();

private:
    int px(int twips) const { return Twips::toPixels(twips, m_window.get()); }

    std::unique_ptr<QWidget> m_window;
    QWidget *m_frame = nullptr;
    QScrollBar *m_bar = nullptr;
    QWidget *m_a = nullptr;
    QWidget *m_b = nullptr;
    std::unique_ptr<cls_ScrollFrame> m_scroll;
};

void TestScrollFrame::init()
{
    m_window = std::make_unique<QWidget>();
    m_frame = new QWidget(m_window.get());
    Twips::place(m_frame, 120, 1080, 7455, 3000);
    m_bar = new QScrollBar(Qt::Vertical, m_window.get());
    m_a = new QWidget(m_frame);
    m_b = new QWidget(m_frame);
    Twips::place(m_a, 60, 0, 7095, 1215);
    Twips::place(m_b, 60, 1335, 7095, 1215);
    m_scroll = std::make_unique<cls_ScrollFrame>();
    m_scroll->MoveCtlAdd(m_a);
    m_scroll->MoveCtlAdd(m_b);
    m_scroll->setMoveStep(120);
    m_scroll->SetFrame(m_frame);
}

void TestScrollFrame::cleanup()
{
    m_scroll.reset();
    m_window.reset();
}

void TestScrollFrame::rangeFromOverflow_data()
{
    QTest::addColumn<int>("overflow");
    QTest::addColumn<int>("step");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("max");
    QTest::newRow("content as tall as the frame") << 0 << 120 << false << 0;
    QTest::newRow("content shorter") << -500 << 120 << false << 0;
    QTest::newRow("1000 taller") << 1000 << 120 << true << 8;
    QTest::newRow("half step goes to even 0") << 60 << 120 << true << 0;
    QTest::newRow("one and a half go to 2") << 180 << 120 << true << 2;
    QTest::newRow("two and a half go to 2") << 300 << 120 << true << 2;
    QTest::newRow("step 0 does not scroll") << 1000 << 0 << false << 0;
    QTest::newRow("beyond the bar's 16 bits") << 120 * 40000 << 120 << true << 32767;
}

void TestScrollFrame::rangeFromOverflow()
{
    QFETCH(int, overflow);
    QFETCH(int, step);
    QFETCH(bool, enabled);
    QFETCH(int, max);
    m_scroll->setMoveStep(step);
    m_scroll->setHeight(3000 + overflow);
    m_scroll->SetScrollBar(m_bar);
    QVERIFY(!m_bar->isHidden());
    QCOMPARE(m_bar->isEnabled(), enabled);
    if (enabled)
        QCOMPARE(m_bar->maximum(), max);
    QCOMPARE(m_a->y(), 0);
}

void TestScrollFrame::scrollingMovesControlsUp()
{
    m_scroll->setHeight(4000);
    m_scroll->Refreash(); // before the bar is set: nothing
    QCOMPARE(m_bar->maximum(), 99);
    m_scroll->SetScrollBar(m_bar);
    QCOMPARE(m_bar->maximum(), 8);
    m_bar->setValue(8);
    QCOMPARE(m_scroll->ScrollTop(), 960);
    QCOMPARE(m_a->y(), -px(960));
    QCOMPARE(m_b->y(), px(1335) - px(960));
    m_bar->setValue(3);
    QCOMPARE(m_a->y(), -px(360));
    m_bar->setValue(0);
    QCOMPARE(m_a->y(), 0);
    QCOMPARE(m_b->y(), px(1335));
}

void TestScrollFrame::refreshAfterGrowthKeepsPosition()
{
    m_scroll->setHeight(4000);
    m_scroll->SetScrollBar(m_bar);
    m_bar->setValue(5);
    m_scroll->setHeight(9000);
    m_scroll->Refreash();
    QCOMPARE(m_bar->maximum(), 50);
    QCOMPARE(m_bar->value(), 5);
    QCOMPARE(m_a->y(), -px(600));
}

void TestScrollFrame::shrinkToFitKeepsShiftedControls()
{
    m_scroll->setHeight(4000);
    m_scroll->SetScrollBar(m_bar);
    m_bar->setValue(4);
    m_scroll->setHeight(2000);
    m_scroll->Refreash();
    QVERIFY(!m_bar->isEnabled());
    QCOMPARE(m_scroll->ScrollTop(), 480);
    QCOMPARE(m_a->y(), -px(480));
}

void TestScrollFrame::barFollowsContainer()
{
    m_scroll->setHeight(4000);
    m_scroll->SetScrollBar(m_bar);
    Twips::place(m_frame, 300, 600, 6000, 2400);
    m_scroll->Refreash();
    const QRect f = m_frame->geometry();
    QCOMPARE(m_bar->geometry().top(), f.top());
    QCOMPARE(m_bar->geometry().right(), f.right());
    QCOMPARE(m_bar->height(), f.height());
    QCOMPARE(m_bar->maximum(), 13); // (4000 - 2400) / 120 = 13.3
}

// ---------------------------------------------------------------------------------------------

class TestConfigEdit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void withoutSetsThePanelGoesAndViewportMovesUp();
    void manySlotsScrollAndButtonsStayBelow();
    void widthSpringsBackHeightHasAFloor();
    void tabWalksTheSlotsAndScrollsThemIntoView();
    void setTicksEveryBoxMissingFilesSaveUnticked();
    void chosenFileThenCancelLeavesConfigIni();
    void cancelledFileDialogChangesNothing();
    void previews_data();
    void previews();
    void closedEditorNoLongerShowsSlots();
    void okThatCannotWriteStaysOpen();

private:
    // A definition in Config/ with the given slots (BaseName a<i>.gif, caption 画像<i>)
    // and, when withSet, one set "青" giving slot 1 blue.png and slot 2 a missing file.
    std::shared_ptr<cls_ConfigData> makeDefinition(int slotCount, bool withSet);
    frm_ConfigEdit *openEditor(const std::shared_ptr<cls_ConfigData> &definition);
    QString configIni() const { return m_dir->filePath(u"Config.ini"_qs); }
    QList<ImageSlotFrame *> slotFrames(QWidget *editor) const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<frm_ConfigEdit> m_editor;
};

void TestConfigEdit::init()
{
    m_editor.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    startIn(*m_dir);
}

std::shared_ptr<cls_ConfigData> TestConfigEdit::makeDefinition(int slotCount, bool withSet)
{
    QString ini = u"[ImageList]\r\nDataCount="_qs + QString::number(slotCount) + u"\r\n"_qs;
    for (int i = 1; i <= slotCount; ++i)
        ini += u"Image_%1=a%1.gif\r\n"_qs.arg(i);
    for (int i = 1; i <= slotCount; ++i)
        ini += u"[a%1.gif]\r\nName=画像%1\r\nMask=*.gif;*.png\r\n"_qs.arg(i);
    ini += u"[ImageSetList]\r\nDataCount="_qs + (withSet ? u"1"_qs : u"0"_qs) + u"\r\n"_qs;
    ini += u"[ImageSet_1]\r\nName=青\r\na1.gif=img\\blue.png\r\na2.gif=img\\missing.png\r\n"_qs;
    const QString text = u"<!--テスト定義-->\r\n<!--ImageConfig=Start-->\r\n"_qs + ini +
                         u"<!--ImageConfig=End-->\r\n<!--Header=Start-->\r\n<html>\r\n"
                         u"<!--Header=End-->\r\n\r\n"_qs;
    const QString file = m_dir->filePath(u"Config/テスト.html"_qs);
    writeBytes(file, Cp932::fromUnicode(text));
    QImage blue(40, 30, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QDir().mkpath(m_dir->filePath(u"Config/img"_qs));
    blue.save(m_dir->filePath(u"Config/img/blue.png"_qs));
    auto definition = std::make_shared<cls_ConfigData>();
    definition->setFileName(file);
    if (!definition->ConfigCheck())
        qFatal("test definition has no caption line");
    return definition;
}

frm_ConfigEdit *TestConfigEdit::openEditor(const std::shared_ptr<cls_ConfigData> &definition)
{
    m_editor = std::make_unique<frm_ConfigEdit>();
    m_editor->setConfigData(definition);
    m_editor->show();
    return m_editor.get();
}

QList<ImageSlotFrame *> TestConfigEdit::slotFrames(QWidget *editor) const
{
    QList<ImageSlotFrame *> frames;
    for (ImageSlotFrame *f : editor->findChildren<ImageSlotFrame *>())
        if (f->Index() > 0)
            frames.append(f);
    std::sort(frames.begin(), frames.end(),
              [](auto *a, auto *b) { return a->Index() < b->Index(); });
    return frames;
}

void TestConfigEdit::withoutSetsThePanelGoesAndViewportMovesUp()
{
    auto *editor = openEditor(makeDefinition(1, false));
    QVERIFY(child<QGroupBox>(editor, u"frame_ImageSet"_qs)->isHidden());
    auto *view = child<QFrame>(editor, u"pic_frame"_qs);
    QCOMPARE(view->y(), 0);
    QCOMPARE(editor->height(), Twips::toPixels(frm_ConfigEdit::MinInnerHeight, editor));
    // The viewport takes the room: inner height less the buttons' strip.
    QCOMPARE(view->height(), Twips::toPixels(5460 - 555, editor));
    QCOMPARE(slotFrames(editor).first()->title(), u"画像1"_qs);
    QVERIFY(!child<QScrollBar>(editor, u"vsl_frame"_qs)->isEnabled());
}

void TestConfigEdit::manySlotsScrollAndButtonsStayBelow()
{
    auto *editor = openEditor(makeDefinition(10, true));
    QVERIFY(child<QGroupBox>(editor, u"frame_ImageSet"_qs)->isVisible());
    auto *view = child<QFrame>(editor, u"pic_frame"_qs);
    auto *bar = child<QScrollBar>(editor, u"vsl_frame"_qs);
    auto *ok = child<QPushButton>(editor, u"cmd_OK"_qs);
    QCOMPARE(view->y(), Twips::toPixels(1080, editor));
    QCOMPARE(editor->height(), Twips::toPixels(5610, editor));
    QVERIFY(bar->isEnabled());
    QCOMPARE(bar->maximum(), 78); // (10 * 1335 - 3975) / 120 = 78.1
    const QList<ImageSlotFrame *> frames = slotFrames(editor);
    QCOMPARE(frames.size(), 10);
    QCOMPARE(frames.at(9)->y(), Twips::toPixels(9 * 1335, editor));
    bar->setValue(11);
    QCOMPARE(frames.at(1)->y(), Twips::toPixels(1335, editor) - Twips::toPixels(1320, editor));
    editor->resize(editor->width(), editor->height() + Twips::toPixels(1200, editor));
    QCOMPARE(ok->y(), view->geometry().bottom() + 1 + Twips::toPixels(120, editor));
    QCOMPARE(bar->maximum(), 68);
    QCOMPARE(bar->value(), 11);
}

void TestConfigEdit::tabWalksTheSlotsAndScrollsThemIntoView()
{
    auto *editor = openEditor(makeDefinition(6, true));
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    auto *view = child<QFrame>(editor, u"pic_frame"_qs);
    const QList<ImageSlotFrame *> frames = slotFrames(editor);
    auto *sets = child<QComboBox>(editor, u"cmb_ImageSet"_qs);
    sets->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), frames.at(0)->firstFocus());
    frames.at(5)->lastFocus()->setFocus();
    // The last slot's frame came into the viewport.
    const QRect box(frames.at(5)->lastFocus()->mapTo(view, QPoint(0, 0)),
                    frames.at(5)->lastFocus()->size());
    QVERIFY(view->contentsRect().contains(box));
    QVERIFY(child<QScrollBar>(editor, u"vsl_frame"_qs)->value() > 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(editor, u"cmd_OK"_qs));
}

void TestConfigEdit::widthSpringsBackHeightHasAFloor()
{
    auto *editor = openEditor(makeDefinition(2, true));
    const int width = Twips::toPixels(frm_ConfigEdit::InnerWidth, editor);
    editor->resize(width + 200, editor->height());
    QCOMPARE(editor->width(), width);
    editor->resize(width - 200, 100);
    QCOMPARE(editor->width(), width);
    QCOMPARE(editor->height(), Twips::toPixels(frm_ConfigEdit::MinInnerHeight, editor));
}

void TestConfigEdit::setTicksEveryBoxMissingFilesSaveUnticked()
{
    auto definition = makeDefinition(3, true);
    auto *editor = openEditor(definition);
    auto *sets = child<QComboBox>(editor, u"cmb_ImageSet"_qs);
    QCOMPARE(sets->count(), 1);
    QCOMPARE(sets->currentIndex(), -1);
    QTest::keyClick(sets, Qt::Key_Down);
    for (ImageSlotFrame *frame : slotFrames(editor))
        QVERIFY(child<QCheckBox>(frame, u"chk_ImageChange"_qs)->isChecked());
    QCOMPARE(child<QLineEdit>(slotFrames(editor).at(0), u"txt_FileName"_qs)->text(),
             u"img/blue.png"_qs);
    QCOMPARE(child<QLineEdit>(slotFrames(editor).at(1), u"txt_FileName"_qs)->text(), QString());
    child<QPushButton>(editor, u"cmd_OK"_qs)->click();
    QCOMPARE(editor->result(), int(QDialog::Accepted));
    const QString ini = Cp932::toUnicode(readBytes(configIni()));
    QVERIFY(ini.contains(u"a1.gif_ImageChange=True"_qs));
    QVERIFY(ini.contains(u"a2.gif_ImageChange=False"_qs));

    auto *again = openEditor(definition);
    const QList<ImageSlotFrame *> frames = slotFrames(again);
    QVERIFY(child<QCheckBox>(frames.at(0), u"chk_ImageChange"_qs)->isChecked());
    QVERIFY(!child<QCheckBox>(frames.at(1), u"chk_ImageChange"_qs)->isChecked());
}

void TestConfigEdit::chosenFileThenCancelLeavesConfigIni()
{
    auto definition = makeDefinition(2, true);
    // A saved choice to come back to.
    definition->GetStatus();
    definition->Image(1)->setSelectFile(u"img/blue.png"_qs);
    definition->Image(1)->setImageChange(true);
    QVERIFY(definition->SaveSetting());
    const QByteArray before = readBytes(configIni());
    QImage red(10, 10, QImage::Format_RGB32);
    red.fill(Qt::red);
    const QString elsewhere = m_dir->filePath(u"red.png"_qs);
    red.save(elsewhere);

    auto *editor = openEditor(definition);
    auto *frame = slotFrames(editor).at(0);
    whenModal([elsewhere](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog) {
            modal->close();
            return;
        }
        QCOMPARE(dialog->nameFilters(), QStringList{u"画像ファイル (*.gif *.png)"_qs});
        dialog->selectFile(elsewhere);
        static_cast<QDialog *>(dialog)->accept();
    });
    child<QPushButton>(frame, u"cmd_SelectFile"_qs)->click();
    // A file outside the definition's folder shows whole.
    QCOMPARE(child<QLineEdit>(frame, u"txt_FileName"_qs)->text(), elsewhere);
    child<QPushButton>(editor, u"cmd_Cancel"_qs)->click();
    QCOMPARE(editor->result(), int(QDialog::Rejected));
    QCOMPARE(readBytes(configIni()), before);

    auto *again = openEditor(definition);
    QCOMPARE(child<QLineEdit>(slotFrames(again).at(0), u"txt_FileName"_qs)->text(),
             u"img/blue.png"_qs);
}

void TestConfigEdit::cancelledFileDialogChangesNothing()
{
    auto *editor = openEditor(makeDefinition(1, false));
    auto *frame = slotFrames(editor).at(0);
    child<QCheckBox>(frame, u"chk_ImageChange"_qs)->click();
    whenModal([](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    child<QPushButton>(frame, u"cmd_SelectFile"_qs)->click();
    QCOMPARE(child<QLineEdit>(frame, u"txt_FileName"_qs)->text(), QString());
    QVERIFY(child<QCheckBox>(frame, u"chk_ImageChange"_qs)->isChecked());
}

void TestConfigEdit::previews_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format"); // empty: the bytes below are written instead
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("shown");
    QTest::newRow("png") << u"p.png"_qs << QByteArray("png") << QSize(20, 10) << true;
    QTest::newRow("jpg") << u"p.jpg"_qs << QByteArray("jpeg") << QSize(20, 10) << true;
    QTest::newRow("jpeg") << u"p.JPEG"_qs << QByteArray("jpeg") << QSize(20, 10) << true;
    QTest::newRow("gif") << u"p.gif"_qs << QByteArray("gif") << QSize(1, 1) << true;
    QTest::newRow("larger than the frame") << u"big.png"_qs << QByteArray("png") << QSize(200, 30)
                                           << true;
    QTest::newRow("broken png") << u"broken.png"_qs << QByteArray() << QSize() << false;
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
    const QString file = m_dir->filePath(u"Config/"_qs + name);
    if (format.isEmpty()) {
        writeBytes(file, QByteArray("\x89PNG\r\n\x1a\n broken", 16));
    } else if (format == "gif") {
        // Qt reads GIF but does not write it: a 1 x 1 picture by hand.
        writeBytes(file, QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                                    "!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01"
                                    "\x00\x00\x02\x02D\x01\x00;",
                                    43));
    } else {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::green);
        QVERIFY(image.save(file, format.constData()));
    }
    auto *editor = openEditor(definition);
    auto *frame = slotFrames(editor).at(0);
    auto *picture = child<QLabel>(frame, u"img_Image"_qs);
    definition->Image(1)->setSelectFile(name);
    QCOMPARE(child<QLineEdit>(frame, u"txt_FileName"_qs)->text(), name);
    QCOMPARE(picture->isVisible(), shown);
    if (!shown) {
        QVERIFY(picture->pixmap().isNull());
        return;
    }
    QCOMPARE(picture->size(), size);
    const QSize inner = child<QFrame>(frame, u"pic_ImageBase"_qs)->contentsRect().size();
    const QPoint expected((size.width() >= inner.width() ? 0 : (inner.width() - size.width()) / 2),
                          (size.height() >= inner.height() ? 0 : (inner.height() - size.height()) / 2));
    QCOMPARE(picture->pos(), expected);
}

void TestConfigEdit::closedEditorNoLongerShowsSlots()
{
    auto definition = makeDefinition(1, false);
    openEditor(definition)->reject();
    m_editor.reset();
    // Its controls are gone; the slot must not reach for them.
    definition->Image(1)->setSelectFile(u"img/blue.png"_qs);
    definition->Image(1)->setImageChange(true);
    QVERIFY(definition->Image(1)->ImageChange());
}

void TestConfigEdit::okThatCannotWriteStaysOpen()
{
    auto definition = makeDefinition(1, false);
    QVERIFY(QDir().mkpath(configIni()));
    RecordingSink sink;
    auto *editor = openEditor(definition);
    child<QPushButton>(editor, u"cmd_OK"_qs)->click();
    QCOMPARE(sink.messages.size(), 1);
    QVERIFY(sink.messages.at(0).contains(u"Config.ini"_qs));
    QVERIFY(editor->isVisible());
}

// ---------------------------------------------------------------------------------------------

int runDialogTests(int argc, char **argv)
{
    int failures = 0;
    {
        TestFtpConfigDialog t;
        failures += QTest::qExec(&t, argc, argv);
    }
    {
        TestScrollFrame t;
        failures += QTest::qExec(&t, argc, argv);
    }
    {
        TestConfigEdit t;
        failures += QTest::qExec(&t, argc, argv);
    }
    return failures;
}

#include "tst_dialogs.moc"
