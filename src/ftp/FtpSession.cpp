// SPDX-License-Identifier: GPL-3.0-or-later
#include "FtpSession.h"

#include "KnownHosts.h"
#include "base/CheckedFile.h"
#include "base/Cp932.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <optional>
#include <sys/socket.h>

using namespace basftpservice;

namespace {

constexpr long TransferCapSeconds = 600;

struct Endpoint
{
    QByteArray host; // as the URL carries it: ACE form, IPv6 in brackets
    QByteArray port;
};

bool isIpv6Literal(QStringView host)
{
    if (!host.contains(u':'))
        return false;
    for (const QChar c : host)
        if (!(c.isDigit() || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') || c == u':' ||
              c == u'.'))
            return false;
    return true;
}

std::optional<Endpoint> parseServer(const QString &server, const QByteArray &defaultPort)
{
    const QString field = server.trimmed();
    QString host;
    QString port;
    if (field.startsWith(u'[')) {
        const qsizetype close = field.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = field.mid(1, close - 1);
        const QString rest = field.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':'))
                return std::nullopt;
            port = rest.mid(1);
        }
        if (!isIpv6Literal(host))
            return std::nullopt;
    } else if (field.count(u':') == 1) {
        const qsizetype colon = field.indexOf(u':');
        host = field.left(colon);
        port = field.mid(colon + 1);
    } else {
        host = field; // a bare IPv6 address has several colons and no port
    }
    Endpoint e;
    if (port.isEmpty()) {
        e.port = defaultPort;
    } else {
        for (const QChar c : port)
            if (!c.isDigit() || c.unicode() > 0x7f)
                return std::nullopt;
        bool ok = false;
        const int n = port.toInt(&ok);
        if (!ok || n < 1 || n > 65535)
            return std::nullopt;
        e.port = QByteArray::number(n);
    }
    if (host.isEmpty())
        return std::nullopt;
    if (isIpv6Literal(host)) {
        e.host = '[' + host.toLatin1() + ']';
    } else {
        e.host = QUrl::toAce(host);
        if (e.host.isEmpty())
            return std::nullopt;
        for (const char c : std::as_const(e.host))
            if (!(QChar::isLetterOrNumber(uchar(c)) || c == '-' || c == '.' || c == '_'))
                return std::nullopt;
    }
    return e;
}

// Texts that end up on the control connection: a line break would start a command of its own.
bool fitsOnCommandLine(const QByteArray &bytes)
{
    return !bytes.contains('\r') && !bytes.contains('\n') && !bytes.contains('\0');
}

size_t readFromDevice(char *buffer, size_t size, size_t count, void *device)
{
    const qint64 n = static_cast<QIODevice *>(device)->read(buffer, qint64(size * count));
    return n < 0 ? CURL_READFUNC_ABORT : size_t(n);
}

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter
{
    void operator()(CURL *h) const { curl_easy_cleanup(h); }
    void operator()(CURLU *u) const { curl_url_cleanup(u); }
    void operator()(curl_slist *l) const { curl_slist_free_all(l); }
};

// The first string of an SSH key blob names its type.
QByteArray blobType(const QByteArray &blob)
{
    if (blob.size() < 4)
        return {};
    const quint32 n = (quint32(uchar(blob[0])) << 24) | (quint32(uchar(blob[1])) << 16) |
                      (quint32(uchar(blob[2])) << 8) | quint32(uchar(blob[3]));
    return n <= quint32(blob.size() - 4) && n < 64 ? blob.mid(4, n) : QByteArray();
}

QString sftpStatus(long code)
{
    switch (code) {
    case 2:
        return u"ファイルかフォルダがありません"_qs;
    case 3:
        return u"書き込みを許されていません"_qs;
    case 14:
        return u"サーバーのディスクがいっぱいです"_qs;
    default:
        return u"失敗しました"_qs;
    }
}

QString defaultKeyFile()
{
    for (const char *name : {"id_ed25519", "id_ecdsa", "id_rsa"}) {
        const QString path = QDir::homePath() + u"/.ssh/"_qs + QLatin1String(name);
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// What one perform learns on the way: the FTP replies, the SSH host key, and when anything
// last moved.
struct Watch
{
    QElapsedTimer sinceMoved;
    curl_off_t sent = -1;
    bool stalled = false;
    QByteArray refusal; // the last FTP reply that said no (4xx, 5xx)
    QByteArray headers; // every reply line; SFTP's statvfs answers here
    QString knownHostsHost;
    const KnownHosts *known = nullptr;
    HostKey key;
    KnownHosts::Verdict verdict = KnownHosts::Verdict::Known;
    QString where; // the known_hosts line the verdict rests on

    void moved() { sinceMoved.start(); }
    void reset()
    {
        sent = -1;
        stalled = false;
        refusal.clear();
        headers.clear();
        moved();
    }
};

int onProgress(void *clientp, curl_off_t, curl_off_t dlnow, curl_off_t, curl_off_t ulnow)
{
    auto *watch = static_cast<Watch *>(clientp);
    if (ulnow + dlnow != watch->sent) {
        watch->sent = ulnow + dlnow;
        watch->moved();
    } else if (watch->sinceMoved.hasExpired(qint64(StallSeconds) * 1000)) {
        watch->stalled = true;
        return 1;
    }
    return 0;
}

size_t onReply(char *buffer, size_t size, size_t count, void *clientp)
{
    auto *watch = static_cast<Watch *>(clientp);
    // The QUIT at the end is answered too; the refusal before it is the cause.
    const QByteArray line = QByteArray(buffer, qsizetype(size * count)).trimmed();
    if (line.size() >= 3 && (line[0] == '4' || line[0] == '5') && line.at(1) >= '0' &&
        line.at(1) <= '9')
        watch->refusal = line;
    watch->headers += line + '\n';
    watch->moved();
    return size * count;
}

size_t onListing(char *buffer, size_t size, size_t count, void *clientp)
{
    static_cast<QByteArray *>(clientp)->append(buffer, qsizetype(size * count));
    return size * count;
}

// libcurl's own check is given only the lines judged here to be the host's (so that it asks
// the server for a key of the type known); the verdict is this one's.
int onHostKey(CURL *, const curl_khkey *, const curl_khkey *foundkey, curl_khmatch, void *clientp)
{
    auto *watch = static_cast<Watch *>(clientp);
    watch->moved();
    watch->key.host = watch->knownHostsHost;
    watch->key.blob = foundkey->len ? QByteArray(foundkey->key, qsizetype(foundkey->len))
                                    : QByteArray::fromBase64(foundkey->key);
    watch->key.type = blobType(watch->key.blob);
    watch->verdict = watch->known->Judge(watch->key.host, watch->key.type, watch->key.blob);
    watch->where.clear();
    if (watch->verdict == KnownHosts::Verdict::Revoked)
        watch->where = watch->known->RevokedAt(watch->key.host, watch->key.blob);
    for (const auto &e : watch->known->EntriesFor(watch->key.host))
        if (watch->where.isEmpty() &&
            (watch->verdict != KnownHosts::Verdict::Changed || e.type == watch->key.type))
            watch->where = e.where;
    // Refused unless known: an unknown key is taken only once the user has said so, with no
    // connection waiting on the answer.
    return watch->verdict == KnownHosts::Verdict::Known ? CURLKHSTAT_FINE : CURLKHSTAT_REJECT;
}

QString kindName(const QByteArray &type)
{
    HostKey k;
    k.type = type;
    return k.KindName();
}

QString hostKeyRefusal(const Watch &watch)
{
    const HostKey &key = watch.key;
    const QString shown = key.KindName() + u" 鍵のフィンガープリント "_qs + key.Fingerprint();
    switch (watch.verdict) {
    case KnownHosts::Verdict::Revoked:
        return u"警告: サーバー "_qs + key.host +
               u" のホスト鍵は失効した鍵として登録されています（REVOKED HOST KEY DETECTED）。\n"
               u"サーバーが送ってきた "_qs +
               shown + u" です。\n失効の行: "_qs + watch.where +
               u"\nこの鍵では接続しません。サーバーの管理者に確かめてください。"_qs;
    case KnownHosts::Verdict::OtherType: {
        QStringList kinds;
        for (const auto &e : watch.known->EntriesFor(key.host))
            if (!kinds.contains(kindName(e.type)))
                kinds.append(kindName(e.type));
        return u"このサーバー "_qs + key.host + u" は別の種類の鍵（"_qs + kinds.join(u"、"_qs) +
               u"）で登録されていますが、サーバーは "_qs + shown +
               u" を示しました。\n登録されている鍵の行: "_qs + watch.where +
               u"\n新しいサーバーとしては扱いません。サーバーの管理者に確かめ、正しい鍵を "_qs +
               KnownHostsFile() + u" に登録してください。接続しませんでした。"_qs;
    }
    case KnownHosts::Verdict::Changed: {
        QString text = u"警告: サーバー "_qs + key.host +
                       u" の識別情報（ホスト鍵）が変わっています（REMOTE HOST IDENTIFICATION HAS "
                       "CHANGED）。\n何者かが通信を盗聴している（中間者攻撃）おそれがあります。"
                       "ホスト鍵が変更されただけの可能性もあります。\nサーバーが送ってきた "_qs +
                       shown + u" です。\n"_qs;
        if (!watch.where.isEmpty())
            text += u"登録されている鍵の行: "_qs + watch.where + u"\n"_qs;
        return text + u"サーバーの管理者に確かめ、正しい鍵を "_qs + KnownHostsFile() +
               u" に登録してください。ホスト鍵の確認に失敗したため、接続しませんでした。"_qs;
    }
    case KnownHosts::Verdict::Unknown:
        return u"サーバー "_qs + key.host + u" のホスト鍵は "_qs + KnownHostsFile() +
               u" に登録されていません（"_qs + shown +
               u"）。信頼できるサーバーか確かめてから登録してください"_qs;
    case KnownHosts::Verdict::Known:
        break;
    }
    return {};
}

// What an FTP reply that said no means, when it says more than that.
QString ftpRefusalCause(const QByteArray &refusal)
{
    const QByteArray code = refusal.left(3);
    const QByteArray lower = refusal.toLower();
    if (code == "452" || lower.contains("no space") || lower.contains("disk full"))
        return u"サーバーのディスクがいっぱいです"_qs;
    if (code == "552" || lower.contains("quota"))
        return u"サーバーで使える容量（クォータ）を超えました"_qs;
    return {};
}

// The cause of a failed perform, in the user's words.
QString causeOf(CURLcode result, const char *errorBuffer, CURL *h, const Watch &watch,
                const QString &server, bool sftp, qint64 elapsedMs)
{
    const QString detail =
        QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(result));
    QString reply;
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    if (!sftp && !watch.refusal.isEmpty())
        reply = u"（サーバーの応答: "_qs + Cp932::toUnicode(watch.refusal) + u'）';
    else if (sftp && code > 0)
        reply =
            u"（サーバーの応答 "_qs + QString::number(code) + u": "_qs + sftpStatus(code) + u'）';
    const auto silence = [](long seconds) {
        return u"サーバーから "_qs + QString::number(seconds) + u" 秒間応答がありません"_qs;
    };
    if (watch.stalled)
        return silence(StallSeconds);
    if (!sftp) {
        const QString named = ftpRefusalCause(watch.refusal);
        if (!named.isEmpty())
            return named + reply;
    }
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return u"サーバー「"_qs + server + u"」が見つかりません"_qs;
    case CURLE_COULDNT_CONNECT:
        return u"サーバー「"_qs + server + u"」に接続できません（"_qs + detail + u'）';
    case CURLE_OPERATION_TIMEDOUT:
        if (elapsedMs >= TransferCapSeconds * 1000)
            return u"転送が "_qs + QString::number(TransferCapSeconds) +
                   u" 秒以内に終わりませんでした"_qs;
        if (detail.contains(u"response"_qs, Qt::CaseInsensitive) ||
            detail.contains(u"accept"_qs, Qt::CaseInsensitive))
            return silence(ResponseTimeoutSeconds);
        return silence(ConnectTimeoutSeconds);
    case CURLE_LOGIN_DENIED:
        return u"ログインを拒否されました（ユーザー名、パスワードか鍵が違います）"_qs + reply;
    case CURLE_PEER_FAILED_VERIFICATION:
        if (watch.verdict != KnownHosts::Verdict::Known)
            return hostKeyRefusal(watch);
        return u"サーバーの証明書を確認できないため、接続しませんでした（"_qs + detail + u'）';
    case CURLE_SSL_CACERT_BADFILE:
        return u"信頼する証明書のファイルを読めません（"_qs + detail + u'）';
    case CURLE_USE_SSL_FAILED:
        return u"サーバーが FTPS（TLS）に対応していません。暗号化せずには送りません"_qs;
    case CURLE_SSL_CONNECT_ERROR:
        return u"TLS の接続を確立できません（"_qs + detail + u'）';
    case CURLE_REMOTE_DISK_FULL:
        return u"サーバーのディスクがいっぱいです"_qs + reply;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
        return u"サーバーとの接続が途中で切れました（"_qs + detail + u'）';
    case CURLE_READ_ERROR:
        return u"ローカルファイルを読めません"_qs;
    case CURLE_REMOTE_ACCESS_DENIED:
        if (sftp)
            return u"サーバーが書き込みを許していません"_qs + reply;
        break;
    case CURLE_SSH:
        return u"SSH の接続に失敗しました（"_qs + detail + u'）';
    default:
        break;
    }
    if (!reply.isEmpty())
        return u"サーバーが転送を拒否しました"_qs + reply;
    return u"転送できません（"_qs + detail + u'）';
}

// The failures after which the server still answers: the session goes on with the next file.
bool serverStillAnswers(CURLcode result, const Watch &watch, bool sftp)
{
    if (watch.stalled)
        return false;
    switch (result) {
    case CURLE_UPLOAD_FAILED:
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_REMOTE_FILE_EXISTS:
    case CURLE_QUOTE_ERROR:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_READ_ERROR:
        return true;
    case CURLE_PARTIAL_FILE:
        return !watch.refusal.isEmpty(); // the server said why it stopped taking the file
    case CURLE_SSH:
        // A write refused by the SFTP server; a connection that broke fails the same way, and
        // the next file finds out at once.
        return sftp && watch.sent > 0;
    default:
        return false;
    }
}

// A name that the next session recognises as a temporary file of this program.
const QRegularExpression &temporaryPattern()
{
    static const QRegularExpression pattern(u"^vellumdex-[0-9a-f]{12}\\.tmp$"_qs);
    return pattern;
}

QByteArray newTemporaryName()
{
    const quint64 n = QRandomGenerator::system()->generate64() & 0xffffffffffffULL;
    return "vellumdex-" + QByteArray::number(n, 16).rightJustified(12, '0') + ".tmp";
}

// An SFTP quote command's path: quoted, so any name goes.
QByteArray sftpArgument(const QByteArray &path)
{
    QByteArray escaped = path;
    escaped.replace('\\', "\\\\").replace('"', "\\\"");
    return '"' + escaped + '"';
}

QByteArray percentPath(const QList<QByteArray> &components)
{
    QByteArray path;
    for (const QByteArray &c : components)
        path += '/' + c.toPercentEncoding();
    return path;
}

} // namespace

struct FtpSession::Transfer
{
    std::unique_ptr<CURLU, CurlDeleter> url;
    std::unique_ptr<CURL, CurlDeleter> curl;
    Endpoint endpoint;
    QString serverName; // host:port, for messages
    bool sftp = false;
    QByteArray user, password, folder, keyPath, caFile, knownHostsCopy;
    std::unique_ptr<KnownHosts> known;
    Watch watch;
    QByteArray listing;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    QSet<QByteArray> swept; // folders whose strays are gone
    bool renameRefused = false;
    bool keyTypeFreed = false;
    qint64 elapsedMs = 0;

    ~Transfer()
    {
        curl.reset(); // ends the connection before its known_hosts copy goes
        if (!knownHostsCopy.isEmpty())
            QFile::remove(QFile::decodeName(knownHostsCopy));
    }

    struct Request
    {
        QByteArray path; // percent-encoded
        QIODevice *source = nullptr;
        qint64 size = 0;
        bool text = false;
        bool list = false;
        QList<QByteArray> before; // FTP: after entering the folder; SFTP: before anything
        QList<QByteArray> after;  // after the upload
    };

    CURLcode run(const Request &r)
    {
        CURL *h = curl.get();
        errorBuffer[0] = 0;
        listing.clear();
        watch.reset();
        if (curl_url_set(url.get(), CURLUPART_PATH, r.path.constData(), 0) != CURLUE_OK)
            return CURLE_URL_MALFORMAT;
        curl_easy_setopt(h, CURLOPT_CURLU, url.get());
        std::unique_ptr<curl_slist, CurlDeleter> before, after;
        for (const QByteArray &c : r.before)
            before.reset(curl_slist_append(before.release(), c.constData()));
        for (const QByteArray &c : r.after)
            after.reset(curl_slist_append(after.release(), c.constData()));
        curl_easy_setopt(h, CURLOPT_QUOTE, sftp ? before.get() : nullptr);
        curl_easy_setopt(h, CURLOPT_PREQUOTE, sftp ? nullptr : before.get());
        curl_easy_setopt(h, CURLOPT_POSTQUOTE, after.get());
        curl_easy_setopt(h, CURLOPT_NOBODY, r.source || r.list ? 0L : 1L);
        curl_easy_setopt(h, CURLOPT_UPLOAD, r.source ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_DIRLISTONLY, r.list ? 1L : 0L);
        curl_easy_setopt(h, CURLOPT_READDATA, r.source);
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(r.source ? r.size : -1));
        if (!sftp)
            curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, r.text ? 1L : 0L);
        QElapsedTimer elapsed;
        elapsed.start();
        CURLcode result = curl_easy_perform(h);
        // Asked for a key of the type known_hosts holds, a server without one offers nothing
        // to agree on. Asked again for any key, it shows the one it has, and the verdict can
        // name the host as known by another type rather than fail without a word.
        if (sftp && result != CURLE_OK && !keyTypeFreed &&
            QByteArray(errorBuffer).contains("exchange encryption keys")) {
            keyTypeFreed = true;
            if (CheckedFile::writeFile(QFile::decodeName(knownHostsCopy), QByteArray())) {
                watch.reset();
                errorBuffer[0] = 0;
                result = curl_easy_perform(h);
            }
        }
        elapsedMs = elapsed.elapsed();
        return result;
    }
};

FtpSession::FtpSession(const FtpConnectionData &connection) : m_connection(connection) {}

FtpSession::~FtpSession() = default;

QStringList FtpSession::TakeNotes()
{
    return std::exchange(m_notes, QStringList());
}

void FtpSession::Restart()
{
    m_transfer.reset();
    m_ended = false;
    m_lastError.clear();
    m_unknownHost = HostKey();
}

bool FtpSession::end(const QString &why)
{
    m_ended = true;
    // Nothing more is said to a server that stopped answering: a QUIT would wait for it.
    if (m_transfer) {
        curl_socket_t socket = CURL_SOCKET_BAD;
        if (curl_easy_getinfo(m_transfer->curl.get(), CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
            socket != CURL_SOCKET_BAD)
            ::shutdown(socket, SHUT_RDWR);
        m_transfer.reset();
    }
    return fail(why);
}

bool FtpSession::fail(const QString &why)
{
    m_lastError = why;
    return false;
}

bool FtpSession::Put(const QString &localPath, const QString &remoteName, bool binary)
{
    m_notes.clear();
    if (m_ended)
        return false; // the cause stays the one that ended it
    m_lastError.clear();
    const FtpConnectionData &c = m_connection;
    const bool sftp = c.protocol == Protocol::Sftp;
    const bool tls = c.protocol == Protocol::Ftps;
    // FTP servers of this program's users take names in code page 932; SSH and SFTP servers
    // take UTF-8.
    const auto encode = [sftp](const QString &text) {
        return sftp ? text.toUtf8() : Cp932::fromUnicode(text);
    };
    const QByteArray remote = encode(remoteName);
    const QByteArray folder = encode(c.folder);
    const QByteArray user = encode(c.user);
    const QByteArray password = encode(c.password);
    const bool leadingSlash = folder.startsWith('/');
    if (remote.isEmpty() || remote.endsWith('/') || !fitsOnCommandLine(remote) ||
        !fitsOnCommandLine(folder) || !fitsOnCommandLine(user) || !fitsOnCommandLine(password))
        return fail(u"リモートのファイル名が空か、ファイル名、フォルダ、ユーザー名、"
                    "パスワードのどれかに改行が含まれています"_qs);
    if (tls && !c.passive && !ActiveFtpsSupported())
        return fail(u"この libcurl では能動モードの FTPS はデータが暗号化されません。"
                    "PASV モードを使ってください"_qs);
    if (sftp && !SftpSupported())
        return fail(u"この libcurl は SFTP に対応していません"_qs);

    if (!QDir::isAbsolutePath(localPath) || localPath.endsWith(u'/'))
        return fail(u"ローカルファイル「"_qs + localPath + u"」は完全なパスではありません"_qs);
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(u"ローカルファイル「"_qs + localPath + u"」を開けません（"_qs +
                    file.errorString() + u'）');
    // In ASCII mode libcurl turns every LF into CR LF on the way out, so a page is handed over
    // with bare LF ends; otherwise its CR LF lines would reach the server as CR CR LF. SFTP has
    // no text mode: the page goes as it is, CR LF lines, which is what FTP puts on the wire.
    QByteArray text;
    QBuffer textBuffer(&text);
    QIODevice *source = &file;
    const bool asText = !binary && !sftp;
    if (asText) {
        text = file.readAll();
        if (file.error() != QFile::NoError)
            return fail(u"ローカルファイル「"_qs + localPath + u"」を読めません（"_qs +
                        file.errorString() + u'）');
        text.replace("\r\n", "\n");
        textBuffer.open(QIODevice::ReadOnly);
        source = &textBuffer;
    }
    const qint64 size = asText ? text.size() : file.size();

    if (!m_transfer) {
        const auto endpoint = parseServer(c.server, sftp ? "22" : "21");
        if (!endpoint)
            return fail(u"サーバーの指定「"_qs + c.server + u"」が正しくありません"_qs);
        initCurlOnce();
        auto t = std::make_unique<Transfer>();
        t->url.reset(curl_url());
        t->curl.reset(curl_easy_init());
        if (!t->url || !t->curl)
            return fail(u"libcurl を開始できません"_qs);
        t->endpoint = *endpoint;
        t->serverName = QString::fromLatin1(endpoint->host + ':' + endpoint->port);
        t->sftp = sftp;
        t->user = user;
        t->password = password;
        if (curl_url_set(t->url.get(), CURLUPART_SCHEME, sftp ? "sftp" : "ftp", 0) != CURLUE_OK ||
            curl_url_set(t->url.get(), CURLUPART_HOST, endpoint->host.constData(), 0) !=
                CURLUE_OK ||
            curl_url_set(t->url.get(), CURLUPART_PORT, endpoint->port.constData(), 0) != CURLUE_OK)
            return fail(u"サーバーの指定「"_qs + c.server + u"」が正しくありません"_qs);
        QByteArray hostName = endpoint->host;
        if (hostName.startsWith('['))
            hostName = hostName.mid(1, hostName.size() - 2);
        t->watch.knownHostsHost = QString::fromLatin1(
            endpoint->port == "22" ? hostName : '[' + hostName + "]:" + endpoint->port);
        t->caFile = qgetenv(CaFileVariable);
        CURL *h = t->curl.get();
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, sftp ? "sftp" : "ftp");
        curl_easy_setopt(h, CURLOPT_ERRORBUFFER, t->errorBuffer);
        curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(h, CURLOPT_READFUNCTION, readFromDevice);
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onListing);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &t->listing);
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onReply);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &t->watch);
        if (!user.isEmpty()) {
            curl_easy_setopt(h, CURLOPT_USERNAME, t->user.constData());
            curl_easy_setopt(h, CURLOPT_PASSWORD, t->password.constData());
        }
        // A named folder is entered, or made where it is missing.
        curl_easy_setopt(h, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR));
        if (sftp) {
            t->known = std::make_unique<KnownHosts>(KnownHostsFile());
            QByteArray lines;
            // Only types libssh2 reads: it stops at the first line it does not.
            static const QList<QByteArray> readable = {"ssh-ed25519",
                                                       "ecdsa-sha2-nistp256",
                                                       "ecdsa-sha2-nistp384",
                                                       "ecdsa-sha2-nistp521",
                                                       "ssh-rsa",
                                                       "ssh-dss"};
            for (const auto &e : t->known->EntriesFor(t->watch.knownHostsHost))
                if (readable.contains(e.type))
                    lines += t->watch.knownHostsHost.toUtf8() + ' ' + e.type + ' ' +
                             e.blob.toBase64() + '\n';
            const QString copy = CheckedFile::temporaryName(QDir::tempPath());
            if (!CheckedFile::writeFile(copy, lines, nullptr, CheckedFile::Mode::NewOnly,
                                        CheckedFile::Permissions::OwnerOnly))
                return fail(u"一時ファイルを作成できません（"_qs + QDir::tempPath() + u'）');
            t->knownHostsCopy = QFile::encodeName(copy);
            t->watch.known = t->known.get();
            const QString key = c.keyFile.isEmpty() ? defaultKeyFile() : c.keyFile;
            t->keyPath = QFile::encodeName(key);
            curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, t->knownHostsCopy.constData());
            curl_easy_setopt(h, CURLOPT_SSH_KEYFUNCTION, onHostKey);
            curl_easy_setopt(h, CURLOPT_SSH_KEYDATA, &t->watch);
            long methods = CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD;
            if (!key.isEmpty()) {
                // A key named for the connection is the only way in; one found in ~/.ssh is
                // tried first, then the password.
                methods =
                    c.keyFile.isEmpty() ? methods | CURLSSH_AUTH_PUBLICKEY : CURLSSH_AUTH_PUBLICKEY;
                curl_easy_setopt(h, CURLOPT_SSH_PRIVATE_KEYFILE, t->keyPath.constData());
                curl_easy_setopt(h, CURLOPT_SSH_PUBLIC_KEYFILE, "");
                curl_easy_setopt(h, CURLOPT_KEYPASSWD, t->password.constData());
            }
            curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES, methods);
        } else {
            curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_MULTICWD));
            // Active mode offers the address of our end of the control connection.
            curl_easy_setopt(h, CURLOPT_FTPPORT, c.passive ? nullptr : "-");
        }
        if (tls) {
            curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
            curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
            // Under TLS 1.3 the server sends session tickets on each data connection, which
            // libcurl never reads before closing it after an upload; the unread bytes make the
            // close a reset, and the server drops the end of the file it had not read yet (seen
            // from the second file of a session on). TLS 1.2 sends no such late messages.
            curl_easy_setopt(h, CURLOPT_SSLVERSION,
                             long(CURL_SSLVERSION_TLSv1_2 | CURL_SSLVERSION_MAX_TLSv1_2));
            if (!t->caFile.isEmpty())
                curl_easy_setopt(h, CURLOPT_CAINFO, t->caFile.constData());
        }
        curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, long(ConnectTimeoutSeconds));
        curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(ResponseTimeoutSeconds));
        curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, long(ResponseTimeoutSeconds) * 1000);
        // The stall is watched here rather than by libcurl's low-speed limit, which averages
        // over several seconds and so let a stalled transfer run 22 s for a limit of 15.
        curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
        curl_easy_setopt(h, CURLOPT_XFERINFODATA, &t->watch);
        curl_easy_setopt(h, CURLOPT_TIMEOUT, TransferCapSeconds);
        if (const qint64 speed = qEnvironmentVariableIntValue(SendSpeedVariable); speed > 0)
            curl_easy_setopt(h, CURLOPT_MAX_SEND_SPEED_LARGE, curl_off_t(speed));
        m_transfer = std::move(t);
    }
    Transfer &t = *m_transfer;

    // The folder the file goes into: the connection's, and below it what the remote name
    // names before its last "/".
    QList<QByteArray> dirs;
    for (const QByteArray &d : folder.split('/'))
        if (!d.isEmpty())
            dirs.append(d);
    QList<QByteArray> nameParts = remote.split('/');
    const QByteArray leaf = nameParts.takeLast();
    for (const QByteArray &d : std::as_const(nameParts))
        if (!d.isEmpty())
            dirs.append(d);
    // SFTP names its files from the login folder (or from "/"), FTP from the folder entered.
    const QByteArray sftpDir = (leadingSlash ? QByteArray("/") : QByteArray()) + dirs.join('/');
    const auto sftpPath = [&](const QByteArray &name) {
        return sftpArgument(sftpDir.isEmpty() || sftpDir == "/" ? sftpDir + name
                                                                : sftpDir + '/' + name);
    };
    const auto urlPath = [&](const QByteArray &name) {
        QByteArray path = percentPath(dirs);
        if (sftp)
            path = (leadingSlash ? QByteArray() : QByteArray("/~")) + path;
        else if (leadingSlash)
            path = '/' + path; // "//" is libcurl's way to start at the root
        return path + '/' + name.toPercentEncoding();
    };
    const auto removeCommand = [&](const QByteArray &name) {
        return sftp ? "*rm " + sftpPath(name) : "*DELE " + name;
    };
    const auto failed = [&](CURLcode result) {
        if (t.watch.verdict == KnownHosts::Verdict::Unknown)
            m_unknownHost = t.watch.key;
        const QString why =
            causeOf(result, t.errorBuffer, t.curl.get(), t.watch, t.serverName, sftp, t.elapsedMs);
        return serverStillAnswers(result, t.watch, sftp) ? fail(why) : end(why);
    };
    const QString folderShown =
        sftp ? QString::fromUtf8(sftpDir) : Cp932::toUnicode(dirs.join('/'));

    // The first look at a folder in a session enters it (made if missing) and removes what an
    // earlier session that was cut off left there.
    const QByteArray dirKey = dirs.join('/');
    bool folderMissing = false; // SFTP makes it with the upload
    if (!t.swept.contains(dirKey)) {
        Transfer::Request look;
        look.path = urlPath(QByteArray());
        look.list = true;
        const CURLcode listed = t.run(look);
        if (listed == CURLE_REMOTE_ACCESS_DENIED && !sftp) {
            // The entering or the making of the folder was refused: nothing goes elsewhere.
            return end(u"リモートフォルダ「"_qs + folderShown +
                       u"」に入ることも、作ることもできません"_qs +
                       (t.watch.refusal.isEmpty() ? QString()
                                                  : u"（サーバーの応答: "_qs +
                                                        Cp932::toUnicode(t.watch.refusal) + u'）'));
        }
        if (listed != CURLE_OK && !serverStillAnswers(listed, t.watch, sftp))
            return failed(listed);
        folderMissing = sftp && listed == CURLE_REMOTE_FILE_NOT_FOUND;
        Transfer::Request sweep;
        sweep.path = urlPath(QByteArray());
        for (const QByteArray &line : t.listing.split('\n')) {
            const QByteArray name = line.trimmed().split('/').last();
            if (temporaryPattern().match(QString::fromLatin1(name)).hasMatch())
                sweep.before.append(removeCommand(name));
        }
        if (!sweep.before.isEmpty()) {
            const CURLcode swept = t.run(sweep);
            if (swept != CURLE_OK && !serverStillAnswers(swept, t.watch, sftp))
                return failed(swept);
        }
        t.swept.insert(dirKey);
    }

    const auto direct = [&]() {
        if (!source->seek(0))
            return fail(u"ローカルファイル「"_qs + localPath + u"」を読めません"_qs);
        Transfer::Request put;
        put.path = urlPath(leaf);
        put.source = source;
        put.size = size;
        put.text = asText;
        const CURLcode result = t.run(put);
        return result == CURLE_OK || failed(result);
    };
    if (t.renameRefused)
        return direct();

    const QByteArray temp = newTemporaryName();
    Transfer::Request put;
    put.path = urlPath(temp);
    put.source = source;
    put.size = size;
    put.text = asText;
    if (sftp)
        put.after = {"rename " + sftpPath(temp) + ' ' + sftpPath(leaf)};
    else
        put.after = {"RNFR " + temp, "RNTO " + leaf};
    const CURLcode result = t.run(put);
    if (result == CURLE_OK)
        return true;
    const QByteArray renameRefusal = t.watch.refusal;
    if (result != CURLE_QUOTE_ERROR) {
        const bool answers = serverStillAnswers(result, t.watch, sftp);
        QString why =
            causeOf(result, t.errorBuffer, t.curl.get(), t.watch, t.serverName, sftp, t.elapsedMs);
        if (folderMissing && (result == CURLE_REMOTE_ACCESS_DENIED ||
                              result == CURLE_REMOTE_FILE_NOT_FOUND || result == CURLE_SSH))
            why = u"リモートフォルダ「"_qs + folderShown + u"」を作れません（"_qs + why + u'）';
        if (t.watch.verdict == KnownHosts::Verdict::Unknown)
            m_unknownHost = t.watch.key;
        if (!answers)
            return end(why);
        // Gone with the file, where the server still answers; otherwise the next session's.
        {
            Transfer::Request clean;
            clean.path = urlPath(QByteArray());
            clean.before = {removeCommand(temp)};
            // OpenSSH's server answers a full disk as a plain failure: ask it how much room
            // is left.
            if (sftp)
                clean.before.append("statvfs " + sftpPath(QByteArray(".")));
            const CURLcode cleaned = t.run(clean);
            // The server did not answer after all: nothing more goes to it in this session.
            if (cleaned != CURLE_OK && !serverStillAnswers(cleaned, t.watch, sftp))
                return end(why);
            const QRegularExpression avail(u"f_bavail: (\\d+)"_qs);
            const QRegularExpression frsize(u"f_frsize: (\\d+)"_qs);
            const QString answered = QString::fromLatin1(t.watch.headers);
            const auto a = avail.match(answered), f = frsize.match(answered);
            const qint64 room = a.captured(1).toLongLong() * f.captured(1).toLongLong();
            if (sftp && a.hasMatch() && f.hasMatch() && room < size)
                why = u"サーバーのディスクがいっぱいです（空き "_qs + QString::number(room) +
                      u" バイト、ファイル "_qs + QString::number(size) + u" バイト）"_qs;
        }
        return fail(why);
    }

    // The file is there under its temporary name but could not take its own.
    if (sftp) {
        // OpenSSH's server renames only onto a free name (posix-rename@openssh.com would
        // replace in one step, but libssh2 does not speak it): the old file goes first.
        Transfer::Request replace;
        replace.path = urlPath(QByteArray());
        replace.before = {"*rm " + sftpPath(leaf),
                          "rename " + sftpPath(temp) + ' ' + sftpPath(leaf)};
        const CURLcode replaced = t.run(replace);
        if (replaced == CURLE_OK)
            return true;
    }
    Transfer::Request clean;
    clean.path = urlPath(QByteArray());
    clean.before = {removeCommand(temp)};
    const CURLcode cleaned = t.run(clean);
    if (cleaned != CURLE_OK && !serverStillAnswers(cleaned, t.watch, sftp))
        return failed(cleaned);
    t.renameRefused = true;
    m_notes.append(
        u"サーバーが名前の変更を受け付けないため（"_qs +
        (sftp ? u"SFTP rename"_qs : Cp932::toUnicode(renameRefusal)) +
        u"）、一時ファイルを使わずに ["_qs + remoteName +
        u"] から直接書き込みます。書き込み中はページの一部しか見えないことがあります"_qs);
    if (direct())
        return true;
    m_lastError =
        u"サーバーが名前の変更を拒否し、直接の書き込みにも失敗しました（"_qs + m_lastError + u'）';
    return false;
}
