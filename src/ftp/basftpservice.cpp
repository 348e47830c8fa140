#include "basftpservice.h"

#include "startup/Cp932.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <curl/curl.h>
#include <memory>
#include <mutex>
#include <optional>

namespace basftpservice {

namespace {

constexpr long ConnectTimeoutSeconds = 10;
constexpr long ResponseTimeoutSeconds = 15; // each answer of the server, active-mode accept too
constexpr long StallSeconds = 15;           // no byte moved for this long ends the transfer
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

std::optional<Endpoint> parseServer(const QString &server)
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
        e.port = "21";
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

} // namespace

bool ActiveFtpsSupported()
{
    const unsigned version = curl_version_info(CURLVERSION_NOW)->version_num;
    return version < 0x075700 || version >= 0x080000;
}

bool FtpSendFile(const QString &server, const QString &remoteFile, const QString &remoteFolder,
                 const QString &uid, const QString &pwd, const QString &localFile,
                 const QString &localFolder, bool binary, bool passive, bool tls, QString *error)
{
    const auto endpoint = parseServer(server);
    if (!endpoint)
        return fail(error, u"bad server: "_qs + server);
    const QByteArray remoteName = Cp932::fromUnicode(remoteFile);
    const QByteArray folder = Cp932::fromUnicode(remoteFolder);
    const QByteArray user = Cp932::fromUnicode(uid);
    const QByteArray password = Cp932::fromUnicode(pwd);
    if (remoteName.isEmpty() || !fitsOnCommandLine(remoteName) || !fitsOnCommandLine(folder) ||
        !fitsOnCommandLine(user) || !fitsOnCommandLine(password))
        return fail(error, u"a remote name, folder or login holds a line break or is empty"_qs);

    if (tls && !passive && !ActiveFtpsSupported())
        return fail(error, u"this libcurl cannot encrypt an active-mode data connection; "
                           "use passive mode for FTPS"_qs);

    if (localFile.isEmpty() || !QDir::isAbsolutePath(localFolder))
        return fail(error, u"not a full local path: "_qs + localFolder + localFile);
    const QString localPath =
        localFolder.endsWith(u'/') ? localFolder + localFile : localFolder + u'/' + localFile;
    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, file.errorString() + u": "_qs + localPath);

    // In ASCII mode libcurl turns every LF into CR LF on the way out, so a page is handed over
    // with bare LF ends; otherwise its CR LF lines would reach the server as CR CR LF.
    QByteArray text;
    QBuffer textBuffer(&text);
    QIODevice *source = &file;
    if (!binary) {
        text = file.readAll();
        if (file.error() != QFile::NoError)
            return fail(error, file.errorString() + u": "_qs + localPath);
        text.replace("\r\n", "\n");
        textBuffer.open(QIODevice::ReadOnly);
        source = &textBuffer;
    }
    const qint64 size = binary ? file.size() : text.size();

    initCurlOnce();
    std::unique_ptr<CURLU, CurlDeleter> url(curl_url());
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!url || !curl)
        return fail(error, u"libcurl could not start"_qs);
    // The name goes byte for byte: every byte but the unreserved ones percent-encoded, "/"
    // included, and no CWD by libcurl, so STOR carries the whole name and the server decides.
    const QByteArray path = '/' + remoteName.toPercentEncoding();
    if (curl_url_set(url.get(), CURLUPART_SCHEME, "ftp", 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_HOST, endpoint->host.constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PORT, endpoint->port.constData(), 0) != CURLUE_OK ||
        curl_url_set(url.get(), CURLUPART_PATH, path.constData(), 0) != CURLUE_OK)
        return fail(error, u"bad server: "_qs + server);

    // "*" makes libcurl carry on when the folder cannot be entered.
    std::unique_ptr<curl_slist, CurlDeleter> quote;
    if (!folder.isEmpty())
        quote.reset(curl_slist_append(nullptr, QByteArray("*CWD " + folder).constData()));

    const QByteArray caFile = qgetenv(CaFileVariable);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_CURLU, url.get());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
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
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, long(CURLFTPMETHOD_NOCWD));
    if (quote)
        curl_easy_setopt(h, CURLOPT_QUOTE, quote.get());
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
    // Active mode offers the address of our end of the control connection.
    curl_easy_setopt(h, CURLOPT_FTPPORT, passive ? nullptr : "-");
    if (tls) {
        curl_easy_setopt(h, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
        curl_easy_setopt(h, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
        if (!caFile.isEmpty())
            curl_easy_setopt(h, CURLOPT_CAINFO, caFile.constData());
    }
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, ConnectTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, ResponseTimeoutSeconds);
    curl_easy_setopt(h, CURLOPT_ACCEPTTIMEOUT_MS, ResponseTimeoutSeconds * 1000);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, StallSeconds);
    curl_easy_setopt(h, CURLOPT_TIMEOUT, TransferCapSeconds);

    const CURLcode result = curl_easy_perform(h);
    if (result == CURLE_OK)
        return true;
    // The buffer may hold a note from an attempt that did not matter, so the code leads.
    QString why = QString::fromUtf8(curl_easy_strerror(result));
    if (errorBuffer[0])
        why += u": "_qs + QString::fromUtf8(errorBuffer);
    long reply = 0;
    if (curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply) == CURLE_OK && reply > 0)
        why += u" (server reply "_qs + QString::number(reply) + u')';
    return fail(error, why);
}

} // namespace basftpservice
