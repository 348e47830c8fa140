#pragma once

#include "run/MakeHtmlProcess.h"

#include <QElapsedTimer>
#include <QHash>
#include <QStringList>
#include <QWidget>

#include <functional>

class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class cls_ConfigData;
class cls_FtpData;

// The processing window: carries out one action (a conversion to a file, a conversion sent
// over FTP, or a restore) and shows its log as it runs, with a progress bar under it. The
// window is repainted at most every RepaintInterval milliseconds, not after every line, so
// that a long run is not slowed down by painting. Closing it, possible only after the action,
// raises Unload.
class frm_MakeHtml : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RepaintInterval = 50;

    explicit frm_MakeHtml(QWidget *parent = nullptr);
    ~frm_MakeHtml() override;

    void setSort(bool Sort) { loc_Process.setSort(Sort); }
    void setSortOrder(int SortOrder) { loc_Process.setSortOrder(SortOrder); }
    void setSortDESC(bool SortDESC) { loc_Process.setSortDESC(SortDESC); }
    void setInputFolder(const QString &InputFolder) { loc_Process.setInputFolder(InputFolder); }
    void setDecodeFlag(bool DecodeFlag) { loc_Process.setDecodeFlag(DecodeFlag); }

    // ConfigData must be open (Htmlcfg_Open); the action closes it.
    bool MakeHtml(const QString &SaveFile, cls_ConfigData &ConfigData);
    bool SendFtp(cls_ConfigData &ConfigData, cls_FtpData &FtpObj, const QString &SendFileName);
    bool DecodeStart(const QString &LoadFile, const QString &BasePath);

    bool isRunning() const { return m_running; }
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

private:
    bool run(const std::function<bool()> &action);
    void AddLog(const QString &text);
    void onProgress(qint64 value, qint64 maximum);
    void showPending();

    MakeHtmlProcess loc_Process;
    QPlainTextEdit *txt_msg;
    QProgressBar *prg_Progress;
    QPushButton *cmd_close;

    QStringList m_pending;
    QElapsedTimer m_sinceShown;
    qint64 m_value = 0;
    qint64 m_maximum = 0;
    bool m_running = false;
    int m_repaintInterval = RepaintInterval;
    QHash<QString, bool> m_hostKeyAnswers;
};
