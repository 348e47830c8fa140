#include "basftpservice.h"

#include "base/CheckedFile.h"
#include "base/Cp932.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <optional>

namespace basftpservice {

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

bool fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

// What one transfer learns on the way: the last FTP reply, the SSH host key, and when
// anything last moved.
struct Watch
{
    QElapsedTimer sinceMoved;
    curl_off_t sent = -1;
    bool stalled = false;
    QByteArray refusal; // the last FTP reply that said no (4xx, 5xx)
    QString knownHostsHost;
    HostKey key;
    enum class KeyProblem
    {
        None,
        Unknown,
        Changed
    } keyProblem = KeyProblem::None;
    QByteArray knownBase64; // the key known_hosts holds, for a changed one

    void moved() { sinceMoved.start(); }
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
    if (line.size() >= 3 && (line[0] == '4' || line[0] == '5'))
        watch->refusal = line;
    watch->moved();
    return size * count;
}

// The first string of an SSH key blob names its type.
QByteArray blobType(const QByteArray &blob)
{
    if (blob.size() < 4)
        return {};
    const quint32 n = (quint32(uchar(blob[0])) << 24) | (quint32(uchar(blob[1])) << 16) |
                      (quint32(uchar(blob[2])) << 8) | quint32(uchar(blob[3]));
    return n <= quint32(blob.size() - 4) && n < 64 ? blob.mid(4, n) : QByteArray();
}

int onHostKey(CURL *, const curl_khkey *knownkey, const curl_khkey *foundkey, curl_khmatch match,
              void *clientp)
{
    auto *watch = static_cast<Watch *>(clientp);
    watch->moved();
    watch->key.host = watch->knownHostsHost;
    watch->key.blob = foundkey->len ? QByteArray(foundkey->key, qsizetype(foundkey->len))
                                    : QByteArray::fromBase64(foundkey->key);
    watch->key.type = blobType(watch->key.blob);
    if (match == CURLKHMATCH_OK)
        return CURLKHSTAT_FINE;
    // Refused either way: an unknown key is taken only once the user has said so, with no
    // connection waiting on the answer; a changed one never.
    if (match == CURLKHMATCH_MISMATCH) {
        watch->keyProblem = Watch::KeyProblem::Changed;
        if (knownkey)
            watch->knownBase64 =
                knownkey->len ? QByteArray(knownkey->key, qsizetype(knownkey->len)).toBase64()
                              : QByteArray(knownkey->key);
    } else {
        watch->keyProblem = Watch::KeyProblem::Unknown;
    }
    return CURLKHSTAT_REJECT;
}

// "file:line" of the known_hosts entry holding base64.
QString knownEntry(const QByteArray &base64)
{
    QFile file(KnownHostsFile());
    if (base64.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    int n = 0;
    while (!file.atEnd()) {
        ++n;
        if (file.readLine().simplified().split(' ').contains(base64))
            return file.fileName() + u':' + QString::number(n);
    }
    return {};
}

QString changedKeyWarning(const HostKey &key)
{
    QString text = u"警告: サーバー "_qs + key.host +
                   u" の識別情報（ホスト鍵）が変わっています（REMOTE HOST IDENTIFICATION HAS "
                   "CHANGED）。\n何者かが通信を盗聴している（中間者攻撃）おそれがあります。"
                   "ホスト鍵が変更されただけの可能性もあります。\nサーバーが送ってきた "_qs +
                   key.KindName() + u" 鍵のフィンガープリントは "_qs + key.Fingerprint() +
                   u" です。\n"_qs;
    if (!key.known.isEmpty())
        text += u"登録されている鍵の行: "_qs + key.known + u"\n"_qs;
    return text + u"サーバーの管理者に確かめ、正しい鍵を "_qs + KnownHostsFile() +
           u" に登録してください。ホスト鍵の確認に失敗したため、接続しませんでした。"_qs;
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

// The cause of a failed perform, in the user's words.
QString causeOf(CURLcode result, const char *errorBuffer, CURL *h, const Watch &watch,
                const QString &server, Protocol protocol, qint64 elapsedMs)
{
    const QString detail =
        QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(result));
    QString reply;
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    if (protocol != Protocol::Sftp && !watch.refusal.isEmpty())
        reply = u"（サーバーの応答: "_qs + Cp932::toUnicode(watch.refusal) + u'）';
    else if (protocol == Protocol::Sftp && code > 0)
        reply =
            u"（サーバーの応答 "_qs + QString::number(code) + u": "_qs + sftpStatus(code) + u'）';
    const auto silence = [](long seconds) {
        return u"サーバーから "_qs + QString::number(seconds) + u" 秒間応答がありません"_qs;
    };
    if (watch.stalled)
        return silence(StallSeconds);
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
        if (watch.keyProblem == Watch::KeyProblem::Changed)
            return changedKeyWarning(watch.key);
        if (watch.keyProblem == Watch::KeyProblem::Unknown)
            return u"サーバー "_qs + watch.key.host + u" のホスト鍵は "_qs + KnownHostsFile() +
                   u" に登録されていません（"_qs + watch.key.KindName() +
                   u" 鍵のフィンガープリント "_qs + watch.key.Fingerprint() +
                   u"）。信頼できるサーバーか確かめてから登録してください"_qs;
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
    case CURLE_SSH:
        return u"SSH の接続に失敗しました（"_qs + detail + u'）';
    default:
        break;
    }
    if (!reply.isEmpty())
        return u"サーバーが転送を拒否しました"_qs + reply;
    return u"転送できません（"_qs + detail + u'）';
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

} // namespace

QString HostKey::Fingerprint() const
{
    return u"SHA256:"_qs +
           QString::fromLatin1(QCryptographicHash::hash(blob, QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::OmitTrailingEquals));
}

QString HostKey::KindName() const
{
    if (type.startsWith("ecdsa-"))
        return u"ECDSA"_qs;
    if (type == "ssh-ed25519")
        return u"ED25519"_qs;
    if (type == "ssh-rsa")
        return u"RSA"_qs;
    if (type == "ssh-dss")
        return u"DSA"_qs;
    return QString::fromLatin1(type);
}

QString KnownHostsFile()
{
    return QDir::homePath() + u"/.ssh/known_hosts"_qs;
}

bool AddKnownHost(const HostKey &key, QString *error)
{
    const QString folder = QDir::homePath() + u"/.ssh"_qs;
    if (!QFileInfo::exists(folder) &&
        (!QDir().mkpath(folder) ||
         !QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        return fail(error, u"フォルダ「"_qs + folder + u"」を作成できません"_qs);
    const QString path = KnownHostsFile();
    QByteArray content;
    if (QFileInfo::exists(path)) {
        QFile old(path);
        if (old.open(QIODevice::ReadOnly))
            content = old.readAll();
        if (!old.isOpen() || old.error() != QFile::NoError)
            return fail(error, u"「"_qs + path + u"」を読めません"_qs);
    }
    if (key.type.isEmpty() || key.blob.isEmpty() || key.host.contains(u' '))
        return fail(error, u"ホスト鍵を読み取れませんでした"_qs);
    if (!content.isEmpty() && !content.endsWith('\n'))
        content += '\n';
    // OpenSSH's own file: its format, LF line ends. Replaced in one step, so a full disk
    // leaves the old file.
    content += key.host.toUtf8() + ' ' + key.type + ' ' + key.blob.toBase64() + '\n';
    QString why;
    if (!CheckedFile::writeFile(path, content, &why))
        return fail(error, u"「"_qs + path + u"」に書き込めません（"_qs + why + u'）');
    return true;
}

bool ActiveFtpsSupported()
{
    const unsigned version = curl_version_info(CURLVERSION_NOW)->version_num;
    return version < 0x075700 || version >= 0x080000;
}

bool SftpSupported()
{
    for (const char *const *p = curl_version_info(CURLVERSION_NOW)->protocols; p && *p; ++p)
        if (qstrcmp(*p, "sftp") == 0)
            return true;
    return false;
}

bool FtpSendFile(const QString &server, const QString &remoteFile, const QString &remoteFolder,
                 const QString &uid, const QString &pwd, const QString &localFile,
                 const QString &localFolder, bool binary, bool passive, Protocol protocol,
                 const QString &keyFile, QString *error, HostKey *unknownHost)
{
    const bool sftp = protocol == Protocol::Sftp;
    const auto endpoint = parseServer(server, sftp ? "22" : "21");
    if (!endpoint)
        return fail(error, u"サーバーの指定「"_qs + server + u"」が正しくありません"_qs);
    // FTP servers of this program's users take names in code page 932; SSH and SFTP servers
    // take UTF-8.
    const auto encode = [sftp](const QString &text) {
        return sftp ? text.toUtf8() : Cp932::fromUnicode(text);
    };
    const QByteArray remoteName = encode(remoteFile);
    const QByteArray folder = encode(remoteFolder);
    const QByteArray user = encode(uid);
    const QByteArray password = encode(pwd);
    if (remoteName.isEmpty() || !fitsOnCommandLine(remoteName) || !fitsOnCommandLine(folder) ||
        !fitsOnCommandLine(user) || !fitsOnCommandLine(password))
        return fail(error, u"リモートのファイル名が空か、ファイル名、フォルダ、ユーザー名、"
                           "パスワードのどれかに改行が含まれています"_qs);

    const bool tls = protocol == Protocol::Ftps;
    if (tls && !passive && !ActiveFtpsSupported())
        return fail(error, u"この libcurl では能動モードの FTPS はデータが暗号化されません。"
                           "PASV モードを使ってください"_qs);
    if (sftp && !SftpSupported())
        return fail(error, u"この libcurl は SFTP に対応していません"_qs);

    if (localFile.isEmpty() || !QDir::isAbsolutePath(localFolder))
        return fail(error, u"ローカルファイル「"_qs + localFolder + localFile +
                               u"」は完全なパスではありません"_qs);
    const QString localPath =
        localFolder.endsWith(u'/') ? localFolder + localFile : localFolder + u'/' + localFile;
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, u"ローカルファイル「"_qs + localPath + u"」を開けません（"_qs +
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
            return fail(error, u"ローカルファイル「"_qs + localPath + u"」を読めません（"_qs +
                                   file.errorString() + u'）');
        text.replace("\r\n", "\n");
        textBuffer.open(QIODevice::ReadOnly);
        source = &textBuffer;
    }
    const qint64 size = asText ? text.size() : file.size();

    initCurlOnce();
    std::unique_ptr<CURLU, CurlDeleter> url(curl_url());
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!url || !curl)
        return fail(error, u"libcurl を開始できません"_qs);
    // The name goes byte for byte: every byte but the unreserved ones percent-encoded. FTP:
    // "/" included, and no CWD by libcurl, so STOR carries the whole name and the server
    // decides. SFTP: the full path, "/~/" for one below the login folder.
    QByteArray path;
    if (sftp) {
        QByteArray full = folder.startsWith('/') ? folder : "/~/" + folder;
        if (!full.endsWith('/'))
            full += '/';
        path = (full + remoteName).toPercentEncoding("/");
    } else {
        path = '/' + remoteName.toPercentEncoding();
    }
    if (curl_url_set(url.get(), CURLUPART_SCHEME, sftp ? "sftp" : "ftp", 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, endpoint->host.constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, endpoint->port.constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PATH, path.constData(), 0) != CURLUE_OK)
        return fail(error, u"サーバーの指定「"_qs + server + u"」が正しくありません"_qs);

    // "*" makes libcurl carry on when the folder cannot be entered.
    std::unique_ptr<curl_slist, CurlDeleter> quote;
    if (!folder.isEmpty() && !sftp)
        quote.reset(curl_slist_append(nullptr, QByteArray("*CWD " + folder).constData()));

    Watch watch;
    QByteArray hostName = endpoint->host;
    if (hostName.startsWith('['))
        hostName = hostName.mid(1, hostName.size() - 2);
    watch.knownHostsHost = QString::fromLatin1(
        endpoint->port == "22" ? hostName : '[' + hostName + "]:" + endpoint->port);
    const QByteArray caFile = qgetenv(CaFileVariable);
    const QByteArray knownHosts = QFile::encodeName(KnownHostsFile());
    const QString key = keyFile.isEmpty() ? defaultKeyFile() : keyFile;
    const QByteArray keyPath = QFile::encodeName(key);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_CURLU, url.get());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, sftp ? "sftp" : "ftp");
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, readFromDevice);
    curl_easy_setopt(h, CURLOPT_READDATA, source);
    curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, curl_off_t(size));
    if (!user.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(h, CURLOPT_PASSWORD, password.constData());
    }
    if (sftp) {
        curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, knownHosts.constData());
        curl_easy_setopt(h, CURLOPT_SSH_KEYFUNCTION, onHostKey);
        curl_easy_setopt(h, CURLOPT_SSH_KEYDATA, &watch);
        long methods = CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD;
        if (!key.isEmpty()) {
            // A key named for the connection is the only way in; one found in ~/.ssh is tried
            // first, then the password.
            methods = keyFile.isEmpty() ? methods | CURLSSH_AUTH_PUBLICKEY : CURLSSH_AUTH_PUBLICKEY;
            curl_easy_setopt(h, CURLOPT_SSH_PRIVATE_KEYFILE, keyPath.constData());
            curl_easy_setopt(h, CURLOPT_SSH_PUBLIC_KEYFILE, ""); // derived from the private key
            curl_easy_setopt(h, CURLOPT_KEYPASSWD, password.constData());
        }
        curl_easy_setopt(h, CURLOPT_SSH_AUTH_TYPES, methods);
        curl_easy_setopt(h, CURLOPT_FTP_CREATE_MISSING_DIRS, long(CURLFTP_CREATE_DIR));
    } else {
        curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
        if (quote)
            curl_easy_setopt(h, CURLOPT_QUOTE, quote.get());
        curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
        // Active mode offers the address of our end of the control connection.
        curl_easy_setopt(h, CURLOPT_FTPPORT, passive ? nullptr : "-");
        curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onReply);
        curl_easy_setopt(h, CURLOPT_HEADERDATA, &watch);
    }
    if (tls) {
        curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
        if (!caFile.isEmpty())
            curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, long(ConnectTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(ResponseTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, long(ResponseTimeoutSeconds) * 1000);
    // The stall is watched here rather than by libcurl's low-speed limit, which averages over
    // several seconds and so let a stalled transfer run 22 s for a limit of 15.
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, TransferCapSeconds);

    QElapsedTimer elapsed;
    elapsed.start();
    watch.moved();
    const CURLcode result = curl_easy_perform(h);
    if (result == CURLE_OK)
        return true;
    if (watch.keyProblem == Watch::KeyProblem::Changed)
        watch.key.known = knownEntry(watch.knownBase64);
    if (watch.keyProblem == Watch::KeyProblem::Unknown && unknownHost)
        *unknownHost = watch.key;
    return fail(error, causeOf(result, errorBuffer, h, watch,
                               QString::fromLatin1(endpoint->host + ':' + endpoint->port), protocol,
                               elapsed.elapsed()));
}

} // namespace basftpservice
