// SPDX-License-Identifier: GPL-3.0-or-later
#include "frm_MakeHtml.h"

#include "ProgramIcon.h"
#include "Twips.h"
#include "definitions/cls_ConfigData.h"
#include "ftp/cls_FtpData.h"
#include "run/MakeHtmlProcess.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

#include <limits>

frm_MakeHtml::frm_MakeHtml(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(u"frm_MakeHtml"_qs);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(u"Vellumdex 処理中..."_qs);
    setWindowIcon(ProgramIcon::icon());
    resize(QSize(Twips::toPixels(7200, this), Twips::toPixels(5400, this)));

    txt_msg = new QPlainTextEdit(this);
    txt_msg->setObjectName(u"txt_msg"_qs);
    txt_msg->setReadOnly(true);
    txt_msg->setUndoRedoEnabled(false);
    txt_msg->setLineWrapMode(QPlainTextEdit::NoWrap);

    prg_Progress = new QProgressBar(this);
    prg_Progress->setObjectName(u"prg_Progress"_qs);
    prg_Progress->setRange(0, 1);
    prg_Progress->setValue(0);
    prg_Progress->setTextVisible(false);

    cmd_close = new QPushButton(u"閉じる"_qs, this);
    cmd_close->setObjectName(u"cmd_close"_qs);
    cmd_close->setEnabled(false);
    cmd_close->setDefault(true);
    cmd_close->setMinimumSize(QSize(Twips::toPixels(1455, this), Twips::toPixels(375, this)));
    connect(cmd_close, &QPushButton::clicked, this, &QWidget::close);

    cmd_Stop = new QPushButton(u"中止"_qs, this);
    cmd_Stop->setObjectName(u"cmd_Stop"_qs);
    cmd_Stop->setToolTip(u"処理を次のファイルで中止します"_qs);
    cmd_Stop->setEnabled(false);
    cmd_Stop->setMinimumSize(cmd_close->minimumSize());
    connect(cmd_Stop, &QPushButton::clicked, this, &frm_MakeHtml::Stop);

    // The result one click away, once the run has written it.
    cmd_OpenPage = new QPushButton(u"ブラウザで開く"_qs, this);
    cmd_OpenPage->setObjectName(u"cmd_OpenPage"_qs);
    cmd_OpenPage->setToolTip(u"作成したページをブラウザで開きます"_qs);
    cmd_OpenPage->setVisible(false);
    connect(cmd_OpenPage, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_page)); });
    cmd_OpenFolder = new QPushButton(u"フォルダを開く"_qs, this);
    cmd_OpenFolder->setObjectName(u"cmd_OpenFolder"_qs);
    cmd_OpenFolder->setToolTip(u"書き込んだフォルダを開きます"_qs);
    cmd_OpenFolder->setVisible(false);
    connect(cmd_OpenFolder, &QPushButton::clicked, this,
            [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(m_folder)); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cmd_OpenPage);
    buttons->addWidget(cmd_OpenFolder);
    buttons->addStretch();
    buttons->addWidget(cmd_Stop);
    buttons->addWidget(cmd_close);
    auto *layout = new QVBoxLayout(this);
    const int margin = Twips::toPixels(120, this);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(txt_msg, 1);
    layout->addWidget(prg_Progress);
    layout->addLayout(buttons);

    m_showTimer.setSingleShot(true);
    connect(&m_showTimer, &QTimer::timeout, this, &frm_MakeHtml::showPending);
    connect(&loc_Process, &ProcessThread::linesLogged, this, &frm_MakeHtml::AddLog);
    connect(&loc_Process, &ProcessThread::progressed, this, &frm_MakeHtml::onProgress);
}

bool frm_MakeHtml::TrustHostKey(const basftpservice::HostKey &key)
{
    // One answer per server and key for the whole run: the page and each image ask alike.
    const QString asked = key.host + u' ' + key.Fingerprint();
    if (m_hostKeyAnswers.contains(asked))
        return m_hostKeyAnswers.value(asked);
    showPending();
    const auto answer = QMessageBox::question(
        this, u"Vellumdex"_qs,
        u"サーバー "_qs + key.host + u" のホスト鍵はまだ登録されていません。\n\n"_qs +
            key.KindName() + u" 鍵のフィンガープリント:\n"_qs + key.Fingerprint() +
            u"\n\nこのフィンガープリントがサーバーのものと確かめられた場合だけ、"
            "「はい」を選んでください。ホスト鍵を "_qs +
            basftpservice::KnownHostsFile() + u" に登録して接続します。"_qs,
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    const bool yes = answer == QMessageBox::Yes;
    m_hostKeyAnswers.insert(asked, yes);
    return yes;
}

frm_MakeHtml::~frm_MakeHtml() = default;

bool frm_MakeHtml::MakeHtml(const QString &SaveFile, cls_ConfigData &ConfigData)
{
    const bool ok = run([SaveFile, &ConfigData](MakeHtmlProcess &process) {
        return process.MakeHtml(SaveFile, ConfigData);
    });
    if (ok) {
        m_page = SaveFile;
        m_folder = QFileInfo(SaveFile).path();
        cmd_OpenPage->setVisible(true);
        cmd_OpenFolder->setVisible(true);
    }
    return ok;
}

bool frm_MakeHtml::SendFtp(cls_ConfigData &ConfigData, cls_FtpData &FtpObj,
                           const QString &SendFileName)
{
    // The run's own copy: the stored connections may be read again on this thread while the
    // run sends.
    auto connection = std::make_shared<cls_FtpData>();
    connection->setData(FtpObj.data());
    return run([this, &ConfigData, connection, SendFileName](MakeHtmlProcess &process) {
        process.setHostKeyQuestion([this](const basftpservice::HostKey &key) {
            // Asked on the run's thread; the question is this window's.
            bool yes = false;
            QMetaObject::invokeMethod(
                this, [this, &key, &yes] { yes = TrustHostKey(key); },
                Qt::BlockingQueuedConnection);
            return yes;
        });
        return process.SendFtp(ConfigData, *connection, SendFileName);
    });
}

bool frm_MakeHtml::DecodeStart(const QString &LoadFile, const QString &BasePath)
{
    const bool ok = run([LoadFile, BasePath](MakeHtmlProcess &process) {
        return process.DecodeStart(LoadFile, BasePath);
    });
    if (ok) {
        m_folder = BasePath;
        cmd_OpenFolder->setVisible(true);
    }
    return ok;
}

bool frm_MakeHtml::run(ProcessThread::Action action)
{
    m_running = true;
    m_closeWhenEnded = false;
    cmd_close->setEnabled(false);
    cmd_Stop->setEnabled(true);
    cmd_Stop->setFocus();
    m_sinceShown.invalidate();
    prg_Progress->setRange(0, 0); // busy until the run knows a count
    bool ok = false;
    QEventLoop waiting;
    const QMetaObject::Connection ended =
        connect(&loc_Process, &ProcessThread::finished, &waiting, [&](bool result) {
            ok = result;
            waiting.quit();
        });
    loc_Process.start([options = m_options, action = std::move(action)](MakeHtmlProcess &p) {
        p.setSort(options.sort);
        p.setSortOrder(options.sortOrder);
        p.setSortDESC(options.sortDesc);
        p.setInputFolder(options.inputFolder);
        p.setDecodeFlag(options.decodeFlag);
        return action(p);
    });
    // Input goes on: the window moves, repaints and closes on the user's word, which it
    // refuses while the run goes on; the disabled button drops its clicks.
    waiting.exec();
    disconnect(ended);
    m_running = false;
    if (m_maximum > 0)
        m_value = m_maximum;
    m_showTimer.stop();
    showPending();
    if (m_maximum == 0) {
        prg_Progress->setRange(0, 1);
        prg_Progress->setValue(ok ? 1 : 0);
    }
    cmd_Stop->setEnabled(false);
    cmd_close->setEnabled(true);
    cmd_close->setFocus();
    if (m_closeWhenEnded)
        close();
    return ok;
}

void frm_MakeHtml::Stop()
{
    if (!m_running || loc_Process.stopRequested())
        return;
    loc_Process.requestStop();
    cmd_Stop->setEnabled(false);
}

void frm_MakeHtml::AddLog(const QStringList &lines)
{
    if (m_repaintInterval <= 0) {
        for (const QString &line : lines) {
            m_pending.append(line);
            showPending();
            txt_msg->repaint();
        }
        return;
    }
    m_pending.append(lines);
    scheduleShowing();
}

void frm_MakeHtml::onProgress(qint64 value, qint64 maximum)
{
    m_value = value;
    m_maximum = maximum;
    scheduleShowing();
}

// Shown at once after a quiet spell, else when the interval since the last showing ends: no
// line waits longer than that, and the window is painted at most that often.
void frm_MakeHtml::scheduleShowing()
{
    if (m_showTimer.isActive())
        return;
    const qint64 since = m_sinceShown.isValid() ? m_sinceShown.elapsed() : m_repaintInterval;
    m_showTimer.start(int(qMax<qint64>(0, m_repaintInterval - since)));
}

void frm_MakeHtml::showPending()
{
    m_sinceShown.start();
    if (!m_pending.isEmpty()) {
        txt_msg->appendPlainText(m_pending.join(u'\n'));
        m_pending.clear();
        // The caret goes to the start of the last line: the box shows the end of the log and
        // the start of its lines, however long the last one.
        txt_msg->moveCursor(QTextCursor::End);
        txt_msg->moveCursor(QTextCursor::StartOfBlock);
        txt_msg->verticalScrollBar()->setValue(txt_msg->verticalScrollBar()->maximum());
        txt_msg->horizontalScrollBar()->setValue(0);
    }
    if (m_maximum <= 0) {
        prg_Progress->setRange(0, 0);
    } else {
        // The bar counts in int; a count past that is scaled down.
        const qint64 scale = m_maximum / std::numeric_limits<int>::max() + 1;
        prg_Progress->setRange(0, int(m_maximum / scale));
        prg_Progress->setValue(int(qMin(m_value, m_maximum) / scale));
    }
}

QStringList frm_MakeHtml::logLines() const
{
    QStringList lines;
    const QString shown = txt_msg->toPlainText();
    if (!shown.isEmpty())
        lines = shown.split(u'\n');
    return lines + m_pending;
}

void frm_MakeHtml::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        event->ignore();
        if (!loc_Process.stopRequested()) {
            showPending();
            const auto answer = QMessageBox::question(
                this, u"Vellumdex"_qs, u"処理の途中です。中止して閉じますか？"_qs,
                QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
            if (answer != QMessageBox::Yes || !m_running)
                return;
            Stop();
        }
        m_closeWhenEnded = true;
        return;
    }
    event->accept();
    emit Unload();
}

void frm_MakeHtml::keyPressEvent(QKeyEvent *event)
{
    // Esc stops the run, or closes the window after it; Enter presses "閉じる", the default
    // button, once the run has ended, and never stops a run by a slip.
    const int key = event->key();
    if (key == Qt::Key_Escape || (!m_running && (key == Qt::Key_Return || key == Qt::Key_Enter))) {
        if (m_running)
            Stop();
        else
            close();
        return;
    }
    QWidget::keyPressEvent(event);
}
