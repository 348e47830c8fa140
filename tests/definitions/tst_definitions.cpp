// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Cp932.h"
#include "base/RunError.h"
#include "definitions/ImagePreview.h"
#include "definitions/cls_ConfigData.h"
#include "definitions/cls_ConfigDatas.h"
#include "definitions/cls_ImageData.h"
#include "definitions/cls_ImageSetData.h"
#include "run/MakeHtmlProcess.h"
#include "settings/code_main.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A definition file: caption line, the given blocks, and the line after the last end marker
// that the template reader needs.
QByteArray definition(const QString &caption, const QString &imageConfig = QString(),
                      const QString &link = u"<a href=\"**Parameter_1--\">**Parameter_0--</a>"_qs)
{
    QString text = u"<!--"_qs + caption + u"-->\r\n"_qs;
    text +=
        u"<!--Header=Start-->\r\n<img src=\"dot.gif\"><img src=\"bar.gif\">\r\n<!--Header=End-->\r\n"_qs;
    text += u"<!--Link=Start-->\r\n"_qs + link + u"\r\n<!--Link=End-->\r\n"_qs;
    if (!imageConfig.isEmpty())
        text += u"<!--ImageConfig=Start-->\r\n"_qs + imageConfig + u"<!--ImageConfig=End-->\r\n"_qs;
    text += u"\r\n"_qs;
    return Cp932::fromUnicode(text);
}

// Two slots (dot.gif, bar.gif), one set giving each a file below the definition's folder,
// written with "\" as definitions made on Windows write it.
const QString TwoSlots =
    u"[ImageList]\r\nDataCount=2\r\nImage_1=dot.gif\r\nImage_2=bar.gif\r\n"
    "[dot.gif]\r\nName=点\r\nMask=*.gif\r\n[bar.gif]\r\nName=棒\r\nMask=*.gif\r\n"
    "[ImageSetList]\r\nDataCount=1\r\n[ImageSet_1]\r\nName=緑\r\n"
    "dot.gif=img\\green\\dot.gif\r\nbar.gif=img\\green\\bar.gif\r\n"_qs;

} // namespace

class tst_Definitions : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void catalogueFinds_data();
    void catalogueFinds();
    void catalogueNumbersAcceptedOnly();
    void catalogueLookupOutOfRange();

    void captionLine_data();
    void captionLine();

    void slotsAndSetsFromImageConfig();
    void hugeCountsAreBounded();
    void imageNamedOutsideTheDefinitionIsRefused_data();
    void imageNamedOutsideTheDefinitionIsRefused();
    void settingsRoundTrip();
    void captionKeepsItsChoices_data();
    void captionKeepsItsChoices();
    void slotsAndSetsPastAHundred();

    void copyNameClashes_data();
    void copyNameClashes();
    void blocksRewriteReplacedImagesOnly();
    void imageCopyFailureNamesTheFile();

    void previewRules_data();
    void previewRules();

    void shippedDefinitions();
    void shippedStandardWithImageSet();

private:
    QTemporaryDir m_dir;
    QString m_program;
};

void tst_Definitions::init()
{
    QVERIFY(m_dir.isValid());
    m_program = m_dir.path() + u"/prog-"_qs + QString::fromLatin1(QTest::currentTestFunction()) +
                u"-"_qs + QString::fromLatin1(QTest::currentDataTag());
    QDir().mkpath(m_program);
    code_main::setProgramFolder(m_program);
    code_main::Startup({});
}

void tst_Definitions::catalogueFinds_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<bool>("found");

    QTest::newRow("upper extension") << u"Guide.HTML"_qs << true;
    QTest::newRow("lower extension") << u"guide.html"_qs << true;
    QTest::newRow("mixed extension") << u"GUIDE.Html"_qs << true;
    QTest::newRow(".htm is no candidate") << u"guide.htm"_qs << false;
    QTest::newRow("Config folder") << u"Config/a.html"_qs << true;
    QTest::newRow("config in lower case") << u"config/a.html"_qs << true;
    QTest::newRow("three levels below Config") << u"Config/x/y/z/a.html"_qs << true;
    QTest::newRow("other subfolder of the program folder") << u"Other/a.html"_qs << false;
    QTest::newRow("folder named like Config") << u"Configs/a.html"_qs << false;
}

void tst_Definitions::catalogueFinds()
{
    QFETCH(QString, relativePath);
    QFETCH(bool, found);
    writeBytes(m_program + u'/' + relativePath, definition(u"定義"_qs));

    cls_ConfigDatas catalogue;
    catalogue.setPath(m_program);
    QCOMPARE(catalogue.Items().size(), found ? 1 : 0);
    if (found) {
        QCOMPARE(catalogue.Items().first()->Caption(), u"定義"_qs);
        QCOMPARE(catalogue.Items().first()->FileName(), m_program + u'/' + relativePath);
    }
}

void tst_Definitions::catalogueNumbersAcceptedOnly()
{
    // The program folder's own files come before those of Config; a rejected file takes no number.
    writeBytes(m_program + u"/Config/b.html"_qs, definition(u"二"_qs));
    writeBytes(m_program + u"/Config/c.html"_qs, "<html>no caption line\r\n");
    writeBytes(m_program + u"/Config/d.html"_qs, "");
    writeBytes(m_program + u"/a.html"_qs, definition(u"一"_qs));

    cls_ConfigDatas catalogue;
    catalogue.setPath(m_program);
    QCOMPARE(catalogue.Items().size(), 2);
    QCOMPARE(catalogue.Item(1)->Caption(), u"一"_qs);
    QCOMPARE(catalogue.Item(2)->Caption(), u"二"_qs);
}

void tst_Definitions::catalogueLookupOutOfRange()
{
    writeBytes(m_program + u"/a.html"_qs, definition(u"一"_qs));
    cls_ConfigDatas catalogue;
    catalogue.setPath(m_program);
    QVERIFY(catalogue.Item(0) == nullptr);
    QVERIFY(catalogue.Item(2) == nullptr);
    QVERIFY(catalogue.Item(-1) == nullptr);
}

void tst_Definitions::captionLine_data()
{
    QTest::addColumn<QByteArray>("firstLine");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("caption");

    QTest::newRow("one character") << QByteArray("<!--a-->") << true << u"a"_qs;
    QTest::newRow("blanks kept") << QByteArray("<!-- a b -->") << true << u" a b "_qs;
    QTest::newRow("empty caption") << QByteArray("<!---->") << false << QString();
    QTest::newRow("text before") << QByteArray(" <!--a-->") << false << QString();
    QTest::newRow("text after") << QByteArray("<!--a--> ") << false << QString();
    QTest::newRow("code page 932") << Cp932::fromUnicode(u"<!--標準-->"_qs) << true << u"標準"_qs;
    QTest::newRow("LF line end") << QByteArray("<!--a-->\nrest") << true << u"a"_qs;
}

void tst_Definitions::captionLine()
{
    QFETCH(QByteArray, firstLine);
    QFETCH(bool, accepted);
    QFETCH(QString, caption);
    const QString file = m_program + u"/d.html"_qs;
    writeBytes(file, firstLine + "\r\n<!--Header=Start-->\r\n<!--Header=End-->\r\n\r\n");
    cls_ConfigData config;
    config.setFileName(file);
    QCOMPARE(config.ConfigCheck(), accepted);
    if (accepted)
        QCOMPARE(config.Caption(), caption);
}

void tst_Definitions::slotsAndSetsFromImageConfig()
{
    const QString base = m_program + u"/Config/Green/"_qs;
    writeBytes(base + u"g.html"_qs, definition(u"緑の定義"_qs, TwoSlots));
    writeBytes(base + u"img/green/dot.gif"_qs, "GIF89a-dot");
    writeBytes(base + u"img/green/bar.gif"_qs, "GIF89a-bar");

    cls_ConfigDatas catalogue;
    catalogue.setPath(m_program);
    QCOMPARE(catalogue.Items().size(), 1);
    cls_ConfigData &config = *catalogue.Item(1);
    config.GetStatus();
    QCOMPARE(config.BasePath(), base);
    QCOMPARE(config.Images().size(), 2);
    QCOMPARE(config.Image(1)->BaseName(), u"dot.gif"_qs);
    QCOMPARE(config.Image(2)->Caption(), u"棒"_qs);
    QCOMPARE(config.Image(2)->Mask(), u"*.gif"_qs);
    QCOMPARE(config.ImageSets().size(), 1);
    const auto set = config.ImageSet(1);
    QCOMPARE(set->Caption(), u"緑"_qs);
    // Slot names key the set without regard to letter case.
    QCOMPARE(set->FileName(u"DOT.GIF"_qs), u"img\\green\\dot.gif"_qs);

    // A set's relative file written with "\" resolves below the definition's folder.
    config.Image(1)->setSelectFile(set->FileName(u"dot.gif"_qs));
    QCOMPARE(config.Image(1)->SelectFile(), base + u"img/green/dot.gif"_qs);
    // A drive-letter path is taken as it stands: here it names no file, so nothing is chosen.
    config.Image(2)->setSelectFile(u"C:\\img\\bar.gif"_qs);
    QCOMPARE(config.Image(2)->SelectFile(), QString());
}

void tst_Definitions::hugeCountsAreBounded()
{
    const QString file = m_program + u"/h.html"_qs;
    writeBytes(file,
               definition(u"大"_qs, u"[ImageList]\r\nDataCount=2147483647\r\nImage_1=a.gif\r\n"
                                    "[ImageSetList]\r\nDataCount=99999999999\r\n"_qs));
    cls_ConfigData config;
    config.setFileName(file);
    QVERIFY(config.ConfigCheck());
    config.GetStatus();
    QVERIFY(config.Images().size() <= cls_ConfigData::MaxUnnamedCount);
    QVERIFY(config.ImageSets().size() <= cls_ConfigData::MaxUnnamedCount);
}

void tst_Definitions::imageNamedOutsideTheDefinitionIsRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("inside");
    QTest::newRow("below the definition's folder") << u"img\\green\\dot.gif"_qs << true;
    QTest::newRow("up into the Config tree") << u"..\\shared\\dot.gif"_qs << true;
    QTest::newRow("up out of the Config tree") << u"..\\..\\secret.txt"_qs << false;
    QTest::newRow("absolute path") << u"%1/secret.txt"_qs << false;
    QTest::newRow("link leading out") << u"img\\out.gif"_qs << false;
}

void tst_Definitions::imageNamedOutsideTheDefinitionIsRefused()
{
    QFETCH(QString, name);
    QFETCH(bool, inside);
    name = name.arg(m_program);
    const QString base = m_program + u"/Config/Green/"_qs;
    writeBytes(base + u"g.html"_qs, definition(u"緑の定義"_qs, TwoSlots));
    writeBytes(base + u"img/green/dot.gif"_qs, "GIF89a-dot");
    writeBytes(m_program + u"/Config/shared/dot.gif"_qs, "GIF89a-shared");
    writeBytes(m_program + u"/secret.txt"_qs, "secret");
    QVERIFY(QFile::link(m_program + u"/secret.txt"_qs, base + u"img/out.gif"_qs));
    cls_ConfigData config;
    config.setFileName(base + u"g.html"_qs);
    QVERIFY(config.ConfigCheck());
    config.GetStatus();
    // The editor asks before it takes a set's file.
    QCOMPARE(config.Image(1)->InsideDefinition(name), inside);
    if (QDir::isAbsolutePath(name))
        return; // in the settings, a full path is the user's own choice
    // A run takes no relative name that leads out, whatever the settings say.
    writeBytes(m_program + u"/Config.ini"_qs,
               Cp932::fromUnicode(u"[緑の定義]\r\ndot.gif="_qs + name +
                                  u"\r\ndot.gif_ImageChange=True\r\n"_qs));
    config.GetStatus();
    QCOMPARE(config.Image(1)->ImageChange(), inside);
}

void tst_Definitions::settingsRoundTrip()
{
    const QString base = m_program + u"/Config/"_qs;
    writeBytes(base + u"g.html"_qs, definition(u"緑の定義"_qs, TwoSlots));
    writeBytes(base + u"img/green/dot.gif"_qs, "GIF89a-dot");

    {
        cls_ConfigData config;
        config.setFileName(base + u"g.html"_qs);
        QVERIFY(config.ConfigCheck());
        config.GetStatus();
        config.Image(1)->setSelectFile(u"img/green/dot.gif"_qs);
        config.Image(1)->setImageChange(true);
        config.Image(2)->setImageChange(true); // no file: stored as not replaced
        QVERIFY(config.SaveSetting());
    }
    const QString ini = QString::fromLatin1(readBytes(m_program + u"/Config.ini"_qs));
    QVERIFY2(ini.contains(u"dot.gif_ImageChange=True"_qs), qPrintable(ini));
    QVERIFY2(ini.contains(u"bar.gif_ImageChange=False"_qs), qPrintable(ini));

    cls_ConfigData again;
    again.setFileName(base + u"g.html"_qs);
    QVERIFY(again.ConfigCheck());
    again.GetStatus();
    QCOMPARE(again.Image(1)->SelectFile(), base + u"img/green/dot.gif"_qs);
    QVERIFY(again.Image(1)->ImageChange());
    QVERIFY(!again.Image(2)->ImageChange());

    // A replacement that has gone missing since reads as not replaced, whatever its switch.
    QVERIFY(QFile::remove(base + u"img/green/dot.gif"_qs));
    again.GetStatus();
    QCOMPARE(again.Image(1)->SelectFile(), QString());
    QVERIFY(!again.Image(1)->ImageChange());
    QVERIFY(again.ReplacedImages().isEmpty());
}

void tst_Definitions::captionKeepsItsChoices_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("blanks at the ends") << u" 名前 "_qs;
    QTest::newRow("]") << u"a]b"_qs;
    QTest::newRow("[") << u"[青["_qs;
    QTest::newRow("= and ;") << u";a=b"_qs;
}

// Saved, read back by a fresh definition as at the next start, and saved again: the choice
// comes back and the second save adds no section.
void tst_Definitions::captionKeepsItsChoices()
{
    QFETCH(QString, caption);
    const QString file = m_program + u"/Config/g.html"_qs;
    writeBytes(file, definition(caption, TwoSlots));
    writeBytes(m_program + u"/Config/img/green/dot.gif"_qs, "GIF89a-dot");
    writeBytes(m_program + u"/Config.ini"_qs, Cp932::fromUnicode(u"[名前]\r\ndot.gif=x\r\n"_qs));
    QByteArray saved;
    for (int round = 0; round < 2; ++round) {
        cls_ConfigData config;
        config.setFileName(file);
        QVERIFY(config.ConfigCheck());
        QCOMPARE(config.Caption(), caption);
        config.GetStatus();
        if (round == 0) {
            config.Image(1)->setSelectFile(u"img/green/dot.gif"_qs);
            config.Image(1)->setImageChange(true);
        } else {
            QCOMPARE(config.Image(1)->SelectFile(), m_program + u"/Config/img/green/dot.gif"_qs);
            QVERIFY(config.Image(1)->ImageChange());
        }
        QVERIFY(config.SaveSetting());
        if (round == 1)
            QCOMPARE(readBytes(m_program + u"/Config.ini"_qs), saved);
        saved = readBytes(m_program + u"/Config.ini"_qs);
    }
}

void tst_Definitions::slotsAndSetsPastAHundred()
{
    QString list = u"[ImageList]\r\nDataCount=150\r\n"_qs;
    for (int i = 1; i <= 150; ++i)
        list += QStringLiteral("Image_%1=s%1.gif\r\n").arg(i);
    // Only the last of 120 sets is written out.
    list += u"[ImageSetList]\r\nDataCount=120\r\n[ImageSet_120]\r\nName=最後\r\n"
            "s150.gif=img\\s.gif\r\n"_qs;
    const QString file = m_program + u"/many.html"_qs;
    writeBytes(file, definition(u"多"_qs, list));
    writeBytes(m_program + u"/img/s.gif"_qs, "GIF89a");
    {
        cls_ConfigData config;
        config.setFileName(file);
        QVERIFY(config.ConfigCheck());
        config.GetStatus();
        QCOMPARE(config.Images().size(), 150);
        QCOMPARE(config.ImageSets().size(), 120);
        QCOMPARE(config.ImageSet(120)->Caption(), u"最後"_qs);
        for (const int i : {101, 150}) {
            config.Image(i)->setSelectFile(config.ImageSet(120)->FileName(u"s150.gif"_qs));
            config.Image(i)->setImageChange(true);
        }
        QVERIFY(config.SaveSetting());
    }
    cls_ConfigData again;
    again.setFileName(file);
    QVERIFY(again.ConfigCheck());
    again.GetStatus();
    QCOMPARE(again.Image(150)->BaseName(), u"s150.gif"_qs);
    QCOMPARE(again.ReplacedImages().size(), 2);
    QCOMPARE(again.ReplacedImages().at(0)->Index(), 101);
}

void tst_Definitions::copyNameClashes_data()
{
    QTest::addColumn<QStringList>("chosen"); // one file per slot, relative to the test folder
    QTest::addColumn<QStringList>("copyNames");

    QTest::newRow("distinct names")
        << QStringList{u"x/a.gif"_qs, u"x/b.gif"_qs} << QStringList{u"a.gif"_qs, u"b.gif"_qs};
    QTest::newRow("same name, first slot gets the suffix")
        << QStringList{u"x/a.gif"_qs, u"y/a.gif"_qs} << QStringList{u"a_1.gif"_qs, u"a.gif"_qs};
    QTest::newRow("same file shares one name")
        << QStringList{u"x/a.gif"_qs, u"x/a.gif"_qs} << QStringList{u"a.gif"_qs, u"a.gif"_qs};
    QTest::newRow("suffix taken by a third file")
        << QStringList{u"x/a.gif"_qs, u"y/a.gif"_qs, u"z/a_1.gif"_qs}
        << QStringList{u"a_2.gif"_qs, u"a.gif"_qs, u"a_1.gif"_qs};
    QTest::newRow("letter case counts")
        << QStringList{u"x/a.gif"_qs, u"y/A.gif"_qs} << QStringList{u"a.gif"_qs, u"A.gif"_qs};
}

void tst_Definitions::copyNameClashes()
{
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, copyNames);

    QString list = u"[ImageList]\r\nDataCount="_qs + QString::number(chosen.size()) + u"\r\n"_qs;
    for (int i = 0; i < chosen.size(); ++i)
        list += u"Image_%1=slot%1.gif\r\n"_qs.arg(i + 1);
    const QString file = m_program + u"/c.html"_qs;
    writeBytes(file, definition(u"衝突"_qs, list));
    for (const QString &c : chosen)
        writeBytes(m_program + u"/files/"_qs + c, c.toUtf8());

    cls_ConfigData config;
    config.setFileName(file);
    QVERIFY(config.ConfigCheck());
    config.GetStatus();
    for (int i = 0; i < chosen.size(); ++i) {
        config.Image(i + 1)->setSelectFile(m_program + u"/files/"_qs + chosen.at(i));
        config.Image(i + 1)->setImageChange(true);
    }
    // A run's open reloads the choices from Config.ini and names the copies.
    QVERIFY(config.SaveSetting());
    config.Htmlcfg_Open();
    QStringList names;
    for (const auto &image : config.Images())
        names << image->CopyFileName();
    QCOMPARE(names, copyNames);
    config.Htmlcfg_Close();
}

void tst_Definitions::blocksRewriteReplacedImagesOnly()
{
    const QString base = m_program + u"/"_qs;
    writeBytes(base + u"g.html"_qs, definition(u"緑の定義"_qs, TwoSlots));
    writeBytes(base + u"mine/dot.gif"_qs, "GIF89a-mine");
    writeBytes(base + u"mine/other.gif"_qs, "GIF89a-other");

    cls_ConfigData config;
    config.setFileName(base + u"g.html"_qs);
    QVERIFY(config.ConfigCheck());
    config.GetStatus();
    config.Image(1)->setSelectFile(base + u"mine/other.gif"_qs);
    config.Image(1)->setImageChange(true);
    config.Image(2)->setSelectFile(base + u"mine/dot.gif"_qs);
    config.Image(2)->setImageChange(false); // chosen but switched off
    QVERIFY(config.SaveSetting());

    config.Htmlcfg_Open();
    config.Htmlcfg_SetParameter(QStringList(10));
    QCOMPARE(config.Htmlcfg_GetSetting(u"Header"_qs),
             u"<img src=\"other.gif\"><img src=\"bar.gif\">"_qs);

    const QString page = m_dir.path() + u"/out-rewrite/"_qs;
    QDir().mkpath(page);
    config.ImageFileCopy(page);
    QCOMPARE(readBytes(page + u"other.gif"_qs), QByteArray("GIF89a-other"));
    QVERIFY(!QFile::exists(page + u"dot.gif"_qs));
    config.Htmlcfg_Close();
}

void tst_Definitions::imageCopyFailureNamesTheFile()
{
    const QString base = m_program + u"/"_qs;
    writeBytes(base + u"g.html"_qs, definition(u"緑の定義"_qs, TwoSlots));
    writeBytes(base + u"mine/dot.gif"_qs, "GIF89a-mine");
    cls_ConfigData config;
    config.setFileName(base + u"g.html"_qs);
    QVERIFY(config.ConfigCheck());
    config.GetStatus();
    config.Image(1)->setSelectFile(base + u"mine/dot.gif"_qs);
    config.Image(1)->setImageChange(true);
    QVERIFY(config.SaveSetting());
    config.Htmlcfg_Open();
    try {
        config.ImageFileCopy(m_dir.path() + u"/no/such/folder/"_qs);
        QFAIL("copying into a missing folder succeeded");
    } catch (const RunError &e) {
        QVERIFY2(e.message().contains(u"dot.gif"_qs), qPrintable(e.message()));
    }
    config.Htmlcfg_Close();
}

void tst_Definitions::previewRules_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("loader");

    QTest::newRow("png") << u"a.png"_qs << int(ImagePreview::Loader::Png);
    QTest::newRow("PNG upper case") << u"A.PNG"_qs << int(ImagePreview::Loader::Png);
    QTest::newRow("jpg") << u"a.jpg"_qs << int(ImagePreview::Loader::Jpeg);
    QTest::newRow("jpeg like jpg") << u"a.jpeg"_qs << int(ImagePreview::Loader::Jpeg);
    QTest::newRow("gif gets a preview") << u"a.gif"_qs << int(ImagePreview::Loader::Gif);
    QTest::newRow("bmp none") << u"a.bmp"_qs << int(ImagePreview::Loader::None);
    QTest::newRow("no extension") << u"png"_qs << int(ImagePreview::Loader::None);
    QTest::newRow("dot in folder only") << u"x.png/file"_qs << int(ImagePreview::Loader::None);
}

void tst_Definitions::previewRules()
{
    QFETCH(QString, file);
    QFETCH(int, loader);
    QCOMPARE(int(ImagePreview::loaderFor(file)), loader);

    // Larger than the frame: top left; smaller: centred; never stretched.
    QCOMPARE(ImagePreview::placement(QSize(200, 50), QSize(100, 100)), QPoint(0, 25));
    QCOMPARE(ImagePreview::placement(QSize(20, 30), QSize(100, 100)), QPoint(40, 35));
    QCOMPARE(ImagePreview::placement(QSize(100, 100), QSize(100, 100)), QPoint(0, 0));
}

void tst_Definitions::shippedDefinitions()
{
    // What the build lays beside the programs is what the catalogue finds there.
    cls_ConfigDatas catalogue;
    catalogue.setPath(QStringLiteral(VELLUMDEX_BUILD_DIR));
    QStringList captions;
    for (const auto &config : catalogue.Items())
        captions << config->Caption();
    // The standard page comes first, so that it is what a first start chooses.
    QVERIFY2(!captions.isEmpty() && captions.first() == u"標準"_qs,
             qPrintable(captions.join(u", "_qs)));
    QVERIFY2(captions.contains(u"ブックマーク"_qs), qPrintable(captions.join(u", "_qs)));

    for (const auto &config : catalogue.Items()) {
        config->Htmlcfg_Open();
        for (const QString &block : {u"Header"_qs, u"Folder"_qs, u"Link"_qs, u"Footer"_qs})
            QVERIFY2(!config->Htmlcfg_GetSetting(block).isEmpty(),
                     qPrintable(config->Caption() + u": "_qs + block));
        config->Htmlcfg_Close();
        config->GetStatus();
        for (const auto &set : config->ImageSets()) {
            for (const auto &image : config->Images()) {
                image->setSelectFile(set->FileName(image->BaseName()));
                QVERIFY2(!image->SelectFile().isEmpty(),
                         qPrintable(set->Caption() + u": "_qs + image->BaseName()));
            }
        }
    }
}

void tst_Definitions::shippedStandardWithImageSet()
{
    // The standard page with an image set chosen: the page names the copies, which lie beside it.
    cls_ConfigDatas catalogue;
    catalogue.setPath(QStringLiteral(VELLUMDEX_BUILD_DIR));
    std::shared_ptr<cls_ConfigData> standard;
    for (const auto &config : catalogue.Items()) {
        if (config->Caption() == u"標準"_qs)
            standard = config;
    }
    QVERIFY(standard);
    standard->GetStatus();
    QVERIFY(standard->ImageSets().size() >= 2);
    const auto set = standard->ImageSet(2);
    for (const auto &image : standard->Images()) {
        image->setSelectFile(set->FileName(image->BaseName()));
        image->setImageChange(true);
    }
    QVERIFY(standard->SaveSetting());

    const QString favorites = m_dir.path() + u"/fav-standard"_qs;
    writeBytes(favorites + u"/Docs/Qt.url"_qs, "[InternetShortcut]\r\nURL=https://qt.example/\r\n");
    const QString out = m_dir.path() + u"/page-standard/"_qs;
    QDir().mkpath(out);
    MakeHtmlProcess run;
    run.setInputFolder(favorites);
    QStringList log;
    connect(&run, &MakeHtmlProcess::logLine, this, [&log](const QString &line) { log << line; });
    standard->Htmlcfg_Open();
    QVERIFY(run.MakeHtml(out + u"index.html"_qs, *standard));

    const QString page = Cp932::toUnicode(readBytes(out + u"index.html"_qs));
    for (const auto &image : standard->Images()) {
        QVERIFY2(page.contains(u"url(\""_qs + image->CopyFileName() + u"\")"_qs),
                 qPrintable(image->CopyFileName()));
        QCOMPARE(readBytes(out + image->CopyFileName()), readBytes(image->SelectFile()));
    }
    QVERIFY(log.contains(u"  変換が終了しました。"_qs));
}

QTEST_GUILESS_MAIN(tst_Definitions)
#include "tst_definitions.moc"
