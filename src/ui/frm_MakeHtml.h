// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "ftp/basftpservice.h"
#include "run/ProcessThread.h"

#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <QTimer>
#include <QWidget>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class cls_ConfigData;
class cls_FtpData;

// The processing window: carries out one action (a conversion to a file, a conversion sent
// over FTP, or a restore) and shows its log as it runs, with a progress bar under it. The
// action runs on a thread of its own, the very run the command-line tool makes; the window
// only shows what it reports, and stays free to paint and to answer the window manager
// meanwhile. The log is painted at most every RepaintInterval milliseconds, not after every
// line, so that a long run is not slowed down by painting. "中止" (or Esc) ends the run at the
// next file; closing the window during a run asks first, then stops it and closes when it has
// ended. Closing raises Unload.
class frm_MakeHtml : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RepaintInterval = 50;

    explicit frm_MakeHtml(QWidget *parent = nullptr);
    ~frm_MakeHtml() override;

    void setSort(bool Sort) { m_options.sort = Sort; }
    void setSortOrder(int SortOrder) { m_options.sortOrder = SortOrder; }
    void setSortDESC(bool SortDESC) { m_options.sortDesc = SortDESC; }
    void setInputFolder(const QString &InputFolder) { m_options.inputFolder = InputFolder; }
    void setDecodeFlag(bool DecodeFlag) { m_options.decodeFlag = DecodeFlag; }

    // Each returns when the action has ended, the window having taken input all along.
    // ConfigData must be open (Htmlcfg_Open); the action closes it. It belongs to the run
    // until the call returns. The run sends over a copy of FtpObj.
    bool MakeHtml(const QString &SaveFile, cls_ConfigData &ConfigData);
    bool SendFtp(cls_ConfigData &ConfigData, cls_FtpData &FtpObj, const QString &SendFileName);
    bool DecodeStart(const QString &LoadFile, const QString &BasePath);

    bool isRunning() const { return m_running; }
    // Ends the run at the next file without asking; the window stays.
    void Stop();
    // Milliseconds between repaints of the log; 0 repaints after every line (the benchmark
    // compares the two).
    void setRepaintInterval(int milliseconds) { m_repaintInterval = milliseconds; }
    // Every line shown so far, with the lines not yet painted.
    QStringList logLines() const;
    // Asks whether to trust an SFTP server's host key that known_hosts does not hold.
    bool TrustHostKey(const basftpservice::HostKey &key);

signals:
    void Unload();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Options
    {
        bool sort = false;
        int sortOrder = 1;
        bool sortDesc = false;
        QString inputFolder;
        bool decodeFlag = false;
    };

    bool run(ProcessThread::Action action);
    void AddLog(const QStringList &lines);
    void onProgress(qint64 value, qint64 maximum);
    void scheduleShowing();
    void showPending();

    Options m_options;
    ProcessThread loc_Process;
    QPlainTextEdit *txt_msg;
    QProgressBar *prg_Progress;
    QPushButton *cmd_close;
    QPushButton *cmd_Stop;
    QPushButton *cmd_OpenPage;
    QPushButton *cmd_OpenFolder;
    QString m_page;   // written by the run, for "ブラウザで開く"
    QString m_folder; // for "フォルダを開く"

    QStringList m_pending;
    QTimer m_showTimer;
    QElapsedTimer m_sinceShown;
    qint64 m_value = 0;
    qint64 m_maximum = 0;
    bool m_running = false;
    bool m_closeWhenEnded = false;
    int m_repaintInterval = RepaintInterval;
    QHash<QString, bool> m_hostKeyAnswers;
};
