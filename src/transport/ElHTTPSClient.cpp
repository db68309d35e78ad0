#include "transport/ElHTTPSClient.h"

#include "transport/ElMemoryCertStorage.h"

#include <curl/curl.h>
#include <exception>
#include <mutex>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
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

} // namespace

QString proxyForDisplay(const QString &url)
{
    // Without a scheme the transport takes http://, and so does the display.
    const bool hasScheme = url.contains(QStringLiteral("://"));
    const QString shown =
        QUrl(hasScheme ? url : QStringLiteral("http://") + url).toDisplayString(QUrl::RemovePassword);
    return hasScheme ? shown : shown.mid(7);
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
        const CURLcode result = curl_easy_perform(m_curl);
        if (m_failure)
            std::rethrow_exception(m_failure);
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
        if (line.startsWith("HTTP/"))
            self->m_headers.clear();
        if (!line.isEmpty())
            self->m_headers << QString::fromLatin1(line);
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

    static int reportProgress(void *data, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t)
    {
        auto *self = static_cast<Transfer *>(data);
        if (!self->m_client.onProgress)
            return 0;
        return self->guarded([&] { self->m_client.onProgress(received, total > 0 ? total : -1); }) ? 0 : 1;
    }

    static CURLcode prepareTls(CURL *, void *context, void *data)
    {
        auto *self = static_cast<Transfer *>(data);
        auto *tls = static_cast<SSL_CTX *>(context);
        const ElHTTPSClient &client = self->m_client;

        if (!client.m_caFile.isEmpty()) {
            ERR_clear_error();
            if (X509_STORE_load_file(SSL_CTX_get_cert_store(tls),
                                     QFile::encodeName(client.m_caFile).constData()) != 1) {
                self->m_failure = std::make_exception_ptr(ETransportError(
                    QStringLiteral("Cannot load the trusted certificates of %1").arg(client.m_caFile)));
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
};

void ElHTTPSClient::Get(const QString &url)
{
    Transfer(*this, url).run();
}
