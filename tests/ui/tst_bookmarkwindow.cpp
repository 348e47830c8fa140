// SPDX-License-Identifier: GPL-3.0-or-later
#include "UiTests.h"
#include "frm_MakeHtml.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// The restore of the processing window given a browser's bookmark file instead of a page.
class TestBookmarkWindow : public QObject
{
    Q_OBJECT

private slots:
    void restoreOfBookmarkFileImportsIt()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath(u"復元先"_qs);
        frm_MakeHtml form;
        form.setAttribute(Qt::WA_DeleteOnClose, false);
        form.show();
        QVERIFY(
            form.DecodeStart(QStringLiteral(VELLUMDEX_TEST_DATA "/bookmarks/chrome.html"), target));
        const QString rule = u"----------------------------"_qs;
        const QStringList log = form.logLines();
        QCOMPARE(log.first(), u"ブックマークファイルを読み込んでいます"_qs);
        QVERIFY(log.contains(u"フォルダ復元["_qs + target + u"/ブックマーク バー/開発/]"_qs));
        QVERIFY(log.contains(u"リンク復元[ブックマークレット]"_qs));
        // An import says so, and closes with its counts.
        QCOMPARE(log.mid(log.size() - 4),
                 QStringList({rule, u"  お気に入りをインポートしました。"_qs,
                              u"  フォルダ 4、リンク 5"_qs, rule}));
        QVERIFY(log.filter(u"復元しました"_qs).isEmpty());
        QCOMPARE(form.findChild<QPlainTextEdit *>(u"txt_msg"_qs)->toPlainText().split(u'\n'), log);
        const QProgressBar *bar = form.findChild<QProgressBar *>(u"prg_Progress"_qs);
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(form.findChild<QPushButton *>(u"cmd_close"_qs)->isEnabled());
        QVERIFY(QFileInfo::exists(target + u"/ブックマーク バー/開発/ブックマークレット.url"_qs));
    }
};

int runBookmarkWindowTests(int argc, char **argv)
{
    TestBookmarkWindow t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_bookmarkwindow.moc"
