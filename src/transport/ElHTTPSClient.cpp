#include "transport/ElHTTPSClient.h"

#include "common/FileAccess.h"
#include "transport/ElMemoryCertStorage.h"

#include <algorithm>
#include <curl/curl.h>
#include <exception>
#include <mutex>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <optional>
#include <QFile>
#include <QUrl>

namespace {

// Where the verify callback finds the transfer of an SSL context.
int transferIndex()
{
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

bool isUrlCharacter(unsigned char c)
{
    static const QByteArray unsafe = "\"<>\\^`{|}";
    return c > 0x20 && c < 0x7F && !unsafe.contains(char(c));
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Adds the certificates of a PEM file to the store; the file is read only when it is a regular file.
QString loadTrustedCertificates(X509_STORE *store, const QString &path)
{
    QFile file(path);
    if (const QString reason = openRegularFileForReading(file); !reason.isEmpty())
        return reason;
    const QByteArray pem = file.readAll();
    BIO *bio = BIO_new_mem_buf(pem.constData(), int(pem.size()));
    STACK_OF(X509_INFO) *infos = PEM_X509_INFO_read_bio(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    int added = 0;
    for (int i = 0; infos && i < sk_X509_INFO_num(infos); ++i) {
        X509_INFO *info = sk_X509_INFO_value(infos, i);
        if (info->x509 && X509_STORE_add_cert(store, info->x509) == 1)
            ++added;
    }
    sk_X509_INFO_pop_free(infos, X509_INFO_free);
    return added > 0 ? QString() : QStringLiteral("no certificate in PEM form");
}

} // namespace

QString proxyForDisplay(const QString &url)
{
    // Without a scheme the transport takes http://, and so does the display.
    const bool hasScheme = url.contains(QStringLiteral("://"));
    const QString shown =
        QUrl(hasScheme ? url : QStringLiteral("http://") + url).toDisplayString(QUrl::RemovePassword);
    return hasScheme ? shown : shown.mid(7);
}

bool hasPlainContentLength(const QString &headerLine)
{
    static const QLatin1String name("Content-Length:");
    if (!headerLine.startsWith(name, Qt::CaseInsensitive))
        return true;
    const QString value = headerLine.mid(name.size()).trimmed();
    return !value.isEmpty() && value.size() <= 18 &&
           std::all_of(value.cbegin(), value.cend(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

QByteArray encodeUrlForRequest(const QString &url)
{
    const QByteArray bytes = url.toUtf8();
    QByteArray encoded;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes.at(i));
        const bool escapeStart =
            c == '%' && i + 2 < bytes.size() && isHexDigit(bytes.at(i + 1)) && isHexDigit(bytes.at(i + 2));
        if (isUrlCharacter(c) && (c != '%' || escapeStart))
            encoded += char(c);
        else
            encoded += '%' + QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
    }
    return encoded;
}

QByteArray ElHTTPSClient::userAgent()
{
    return QByteArrayLiteral("VornImport/" VORN_VERSION);
}

// One GET: the libcurl handle and the state of the answer. Failures of event handlers are
// kept and raised again once libcurl has returned, since they must not cross its C frames.
class ElHTTPSClient::Transfer
{
public:
    Transfer(ElHTTPSClient &client, const QString &url) : m_client(client), m_url(encodeUrlForRequest(url))
    {
        static std::once_flag curlInitialised;
        std::call_once(curlInitialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        m_curl = curl_easy_init();
        if (!m_curl)
            throw ETransportError(QStringLiteral("Cannot create an HTTPS connection"));
        m_errorText[0] = '\0';
    }
    ~Transfer() { curl_easy_cleanup(m_curl); }

    void run()
    {
        configure();
        m_started = std::chrono::steady_clock::now();
        const CURLcode result = curl_easy_perform(m_curl);
        if (m_failure)
            std::rethrow_exception(m_failure);
        if (result == CURLE_OPERATION_TIMEDOUT &&
            std::chrono::steady_clock::now() - m_started >= m_client.m_timeouts.total)
            throw ETransportError(totalTimeExceeded());
        if (result != CURLE_OK)
            throw ETransportError(
                QString::fromUtf8(m_errorText[0] ? m_errorText : curl_easy_strerror(result)));
        beginDocument();
        if (m_client.onDocumentEnd)
            m_client.onDocumentEnd();
    }

private:
    void configure()
    {
        const Timeouts &timeouts = m_client.m_timeouts;
        curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorText);
        curl_easy_setopt(m_curl, CURLOPT_URL, m_url.constData());
        curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(m_curl, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        curl_easy_setopt(m_curl, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(m_curl, CURLOPT_FRESH_CONNECT, 1L);
        // The proxy given, or none: an empty proxy and an empty exception list also override the
        // proxy environment variables.
        m_proxy = m_client.m_proxy.toUtf8();
        curl_easy_setopt(m_curl, CURLOPT_PROXY, m_proxy.constData());
        curl_easy_setopt(m_curl, CURLOPT_NOPROXY, "");
        curl_easy_setopt(m_curl, CURLOPT_HTTPPROXYTUNNEL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_USERAGENT, userAgent().constData());
        curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT_MS, long(timeouts.connect.count()));
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, long(timeouts.idle.count()));
        // The progress events check the total time too; this also ends a connection that hangs.
        curl_easy_setopt(m_curl, CURLOPT_TIMEOUT_MS,
                         long(std::chrono::duration_cast<std::chrono::milliseconds>(timeouts.total).count()));

        curl_easy_setopt(m_curl, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2));
        curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(m_curl, CURLOPT_SSL_CTX_FUNCTION, &Transfer::prepareTls);
        curl_easy_setopt(m_curl, CURLOPT_SSL_CTX_DATA, this);

        curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &Transfer::receiveHeaderLine);
        curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, &Transfer::receiveData);
        curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(m_curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFOFUNCTION, &Transfer::reportProgress);
        curl_easy_setopt(m_curl, CURLOPT_XFERINFODATA, this);
    }

    // Runs an event handler; false when it raised.
    template<typename Handler> bool guarded(Handler &&handler)
    {
        try {
            handler();
            return true;
        } catch (...) {
            if (!m_failure)
                m_failure = std::current_exception();
            return false;
        }
    }

    void beginDocument()
    {
        if (m_documentBegun)
            return;
        m_documentBegun = true;
        if (m_client.onReceivingHeaders)
            m_client.onReceivingHeaders(m_headers);
        if (m_client.onDocumentBegin)
            m_client.onDocumentBegin();
    }

    static size_t receiveHeaderLine(char *buffer, size_t size, size_t count, void *data)
    {
        auto *self = static_cast<Transfer *>(data);
        QByteArray line(buffer, qsizetype(size * count));
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        // Each response starts with its status line; only the final response's lines are kept.
        if (line.startsWith("HTTP/")) {
            self->m_headers.clear();
            self->m_answerBegun = std::chrono::steady_clock::now();
        }
        if (line.isEmpty())
            return size * count;
        const QString text = QString::fromLatin1(line);
        if (!hasPlainContentLength(text)) {
            self->m_failure = std::make_exception_ptr(ETransportError(
                QStringLiteral(
                    "The answer's header \"%1\" is no valid length; the answer cannot be read to its "
                    "end and the fetch was ended.")
                    .arg(printable(text))));
            return 0;
        }
        self->m_headers << text;
        return size * count;
    }

    static size_t receiveData(char *buffer, size_t size, size_t count, void *data)
    {
        auto *self = static_cast<Transfer *>(data);
        const bool ok = self->guarded([&] {
            self->beginDocument();
            if (self->m_client.onData)
                self->m_client.onData(buffer, qsizetype(size * count));
        });
        return ok ? size * count : 0;
    }

    QString totalTimeExceeded() const
    {
        return QStringLiteral("The fetch took longer than its limit of %1 s (MaksCasPrenosa in the settings "
                              "file) and was ended.")
            .arg(m_client.m_timeouts.total.count());
    }

    // The total time and the minimum rate; the rate is measured in whole windows from the answer's start.
    void checkLimits(qint64 received)
    {
        const Timeouts &timeouts = m_client.m_timeouts;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_started >= timeouts.total)
            throw ETransportError(totalTimeExceeded());
        if (!m_answerBegun)
            return;
        if (!m_windowStart) {
            m_windowStart = *m_answerBegun;
            m_windowBytes = 0;
        }
        if (now - *m_windowStart < timeouts.rateWindow)
            return;
        if (received - m_windowBytes < timeouts.minimumRate * timeouts.rateWindow.count())
            throw ETransportError(
                QStringLiteral(
                    "The answer arrived slower than the minimum of %1 bytes a second over %2 s "
                    "(MinHitrostPrenosa and OknoHitrostiPrenosa in the settings file); %3 bytes had "
                    "come, and the fetch was ended.")
                    .arg(timeouts.minimumRate)
                    .arg(timeouts.rateWindow.count())
                    .arg(received));
        m_windowStart = now;
        m_windowBytes = received;
    }

    static int reportProgress(void *data, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t)
    {
        auto *self = static_cast<Transfer *>(data);
        return self->guarded([&] {
            self->checkLimits(received);
            if (self->m_client.onProgress)
                self->m_client.onProgress(received, total > 0 ? total : -1);
        })
                   ? 0
                   : 1;
    }

    static CURLcode prepareTls(CURL *, void *context, void *data)
    {
        auto *self = static_cast<Transfer *>(data);
        auto *tls = static_cast<SSL_CTX *>(context);
        const ElHTTPSClient &client = self->m_client;

        if (!client.m_caFile.isEmpty()) {
            ERR_clear_error();
            if (const QString reason = loadTrustedCertificates(SSL_CTX_get_cert_store(tls), client.m_caFile);
                !reason.isEmpty()) {
                self->m_failure = std::make_exception_ptr(
                    ETransportError(QStringLiteral("Cannot load the trusted certificates of %1: %2")
                                        .arg(client.m_caFile, reason)));
                return CURLE_SSL_CACERT_BADFILE;
            }
        }

        // The host name is checked within the chain verification, so that the certificate
        // event sees only certificates that passed both.
        const QString host = QUrl(QString::fromLatin1(self->m_url)).host();
        X509_VERIFY_PARAM *parameters = SSL_CTX_get0_param(tls);
        if (X509_VERIFY_PARAM_set1_ip_asc(parameters, host.toLatin1().constData()) != 1)
            X509_VERIFY_PARAM_set1_host(parameters, host.toUtf8().constData(), 0);
        SSL_CTX_set_ex_data(tls, transferIndex(), self);
        SSL_CTX_set_verify(tls, SSL_VERIFY_PEER, &Transfer::verifyCertificate);

        if (client.m_clientCertStorage && client.m_clientCertStorage->count() > 0) {
            const ElX509Certificate &certificate = client.m_clientCertStorage->certificate(0);
            if (SSL_CTX_use_certificate(tls, certificate.x509()) != 1 ||
                SSL_CTX_use_PrivateKey(tls, certificate.privateKey()) != 1) {
                self->m_failure = std::make_exception_ptr(ETransportError(
                    QStringLiteral("Cannot use the client certificate %1").arg(certificate.subject())));
                return CURLE_SSL_CERTPROBLEM;
            }
        }
        return CURLE_OK;
    }

    static int verifyCertificate(int verified, X509_STORE_CTX *store)
    {
        if (!verified || X509_STORE_CTX_get_error_depth(store) != 0)
            return verified;
        auto *ssl =
            static_cast<SSL *>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto *self = static_cast<Transfer *>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), transferIndex()));
        if (!self || !self->m_client.onCertificateValidate)
            return 1;
        X509 *certificate = X509_STORE_CTX_get_current_cert(store);
        X509_up_ref(certificate);
        bool validate = true;
        const bool ok = self->guarded(
            [&] { self->m_client.onCertificateValidate(ElX509Certificate(certificate, nullptr), validate); });
        if (ok && validate)
            return 1;
        X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
        return 0;
    }

    ElHTTPSClient &m_client;
    const QByteArray m_url;
    QByteArray m_proxy; // kept while the transfer runs
    CURL *m_curl = nullptr;
    char m_errorText[CURL_ERROR_SIZE];
    QStringList m_headers;
    bool m_documentBegun = false;
    std::exception_ptr m_failure;
    std::chrono::steady_clock::time_point m_started;
    std::optional<std::chrono::steady_clock::time_point> m_answerBegun; // the final status line came
    std::optional<std::chrono::steady_clock::time_point> m_windowStart;
    qint64 m_windowBytes = 0;
};

void ElHTTPSClient::Get(const QString &url)
{
    Transfer(*this, url).run();
}
