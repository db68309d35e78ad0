#include "transport/Pkcs11Token.h"

#include "common/FileAccess.h"

#include <libp11.h>
#include <map>
#include <memory>
#include <mutex>
#include <openssl/err.h>
#include <openssl/x509v3.h>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QUrl>
#include <vector>

namespace {

// Return values of PKCS#11 that get their own message; libp11 puts them as the reason of its errors.
constexpr unsigned long CkrPinIncorrect = 0xA0;
constexpr unsigned long CkrPinInvalid = 0xA1;
constexpr unsigned long CkrPinLenRange = 0xA2;
constexpr unsigned long CkrPinExpired = 0xA3;
constexpr unsigned long CkrPinLocked = 0xA4;
constexpr unsigned long CkrDeviceRemoved = 0x32;
constexpr unsigned long CkrTokenNotPresent = 0xE0;

QString lastOpenSslError()
{
    const unsigned long code = ERR_peek_last_error();
    char text[256] = "no further reason given";
    if (code)
        ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

// A module loaded by a PKCS#11 URI's store, with the slot lists read from it (the last is current). Modules
// stay loaded until the process ends: finalising one would log out every session of the process, also
// those whose keys are in use; and at exit the module's own static objects may be gone before ours.
struct Module
{
    struct SlotList
    {
        PKCS11_SLOT *slotArray = nullptr;
        unsigned int count = 0;
    };

    PKCS11_CTX *context;
    std::vector<SlotList> lists;
};

std::mutex modulesMutex;

Module &loadModule(const QString &path, const TokenAccess &access)
{
    // Never destroyed (see Module); reachable to the end.
    static auto *const modules = new std::map<QString, std::unique_ptr<Module>>();
    if (const auto found = modules->find(path); found != modules->end())
        return *found->second;
    ERR_clear_error();
    PKCS11_CTX *context = PKCS11_CTX_new();
    if (!context || PKCS11_CTX_load(context, QFile::encodeName(path).constData()) != 0) {
        const QString reason = lastOpenSslError();
        if (context)
            PKCS11_CTX_free(context);
        throw ETokenError(
            QStringLiteral("Cannot load the PKCS#11 module %1 (%2). Install the token's module, "
                           "or set PKCS11Module in section Nastavitve of %3 to its path.")
                .arg(path, reason, access.settingsFile));
    }
    return *modules->emplace(path, std::make_unique<Module>(Module{context, {}})).first->second;
}

QString tokenText(const char *text)
{
    return QString::fromUtf8(text ? text : "").trimmed();
}

bool matches(const Pkcs11Uri &uri, const char *attribute, const QString &value)
{
    const auto wanted = uri.path.find(QLatin1String(attribute));
    return wanted == uri.path.end() || QString::fromUtf8(*wanted) == value;
}

bool slotMatches(const Pkcs11Uri &uri, PKCS11_SLOT &slot)
{
    const PKCS11_TOKEN *token = slot.token;
    if (!token || !token->initialized)
        return false;
    const auto slotId = uri.path.find(QStringLiteral("slot-id"));
    if (slotId != uri.path.end() && slotId->toULong() != PKCS11_get_slotid_from_slot(&slot))
        return false;
    return matches(uri, "token", tokenText(token->label)) &&
           matches(uri, "manufacturer", tokenText(token->manufacturer)) &&
           matches(uri, "serial", tokenText(token->serialnr)) &&
           matches(uri, "model", tokenText(token->model));
}

// PINs that a token refused in this process, by token and PIN digest; they are not offered again.
QSet<QByteArray> &refusedPins()
{
    static QSet<QByteArray> refused;
    return refused;
}

QByteArray pinDigest(const PKCS11_TOKEN &token, const QByteArray &pin)
{
    return QCryptographicHash::hash(tokenText(token.serialnr).toUtf8() + '\0' +
                                        tokenText(token.label).toUtf8() + '\0' + pin,
                                    QCryptographicHash::Sha256);
}

struct Pin
{
    QByteArray value;
    QString source; // "the PIN file ..." or "the environment variable ..."
};

// The PIN, or an empty value when none is configured.
Pin readPin(const TokenAccess &access, const QString &pinFile)
{
    if (pinFile.isEmpty()) {
        return {qgetenv(TokenAccess::PinVariable),
                QStringLiteral("the environment variable %1").arg(QLatin1String(TokenAccess::PinVariable))};
    }
    const QString source = QStringLiteral("the PIN file %1").arg(pinFile);
    QFile file(pinFile);
    if (const QString reason = openRegularFileForReading(file); !reason.isEmpty())
        throw ETokenError(
            QStringLiteral("Cannot read %1: %2. Create it with the token's user PIN, readable by "
                           "you only (chmod 600), or correct PKCS11PinFile in %3.")
                .arg(source, reason, access.settingsFile));
    if (QFileInfo(pinFile).permissions() &
        (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther))
        throw ETokenError(QStringLiteral("The PIN file %1 may be read or changed by others; the PIN is not "
                                         "used. Make it yours only: chmod 600 %1")
                              .arg(pinFile));
    QByteArray pin = file.readLine();
    while (pin.endsWith('\n') || pin.endsWith('\r'))
        pin.chop(1);
    return {pin, source};
}

} // namespace

QString TokenAccess::defaultModule()
{
    return QStringLiteral(VORN_P11_KIT_PROXY);
}

Pkcs11Uri Pkcs11Uri::parse(const QString &text)
{
    if (!isUri(text))
        throw ETokenError(QStringLiteral("\"%1\" is no PKCS#11 URI: it must start with pkcs11:").arg(text));
    const QString body = text.mid(7);
    const qsizetype question = body.indexOf(u'?');
    Pkcs11Uri uri;
    const auto split = [&text](const QString &part, QChar separator, QMap<QString, QByteArray> &into) {
        for (const QString &attribute : part.split(separator, Qt::SkipEmptyParts)) {
            const qsizetype equals = attribute.indexOf(u'=');
            if (equals <= 0)
                throw ETokenError(
                    QStringLiteral("The PKCS#11 URI %1 has an attribute without a value: \"%2\"")
                        .arg(text, attribute));
            into.insert(attribute.left(equals).toLower(),
                        QByteArray::fromPercentEncoding(attribute.mid(equals + 1).toUtf8()));
        }
    };
    split(body.left(question), u';', uri.path);
    if (question >= 0)
        split(body.mid(question + 1), u'&', uri.query);
    if (uri.path.contains(QStringLiteral("pin-value")) || uri.query.contains(QStringLiteral("pin-value")))
        throw ETokenError(
            QStringLiteral("The PKCS#11 URI %1 holds a PIN (pin-value), which the host "
                           "configuration must not keep. Remove it and put the PIN into the "
                           "PIN file (PKCS11PinFile)")
                .arg(text.left(text.indexOf(QLatin1String("pin-value"))) + QStringLiteral("...")));
    return uri;
}

Pkcs11Token::Pkcs11Token(const QString &uriText, const TokenAccess &access, bool loginRequired)
    : m_uri(uriText)
{
    const Pkcs11Uri uri = Pkcs11Uri::parse(uriText);
    QString modulePath = QString::fromUtf8(uri.query.value(QStringLiteral("module-path")));
    if (modulePath.isEmpty())
        modulePath = access.modulePath.isEmpty() ? TokenAccess::defaultModule() : access.modulePath;

    const std::lock_guard<std::mutex> lock(modulesMutex);
    Module &module = loadModule(modulePath, access);
    // The slot list is read once; only when the token is not in it is it read anew (a card inserted since).
    // The old list stays, since keys taken from its tokens may still be in use.
    PKCS11_SLOT *slot = nullptr;
    QStringList present;
    for (int pass = 0; pass < 2 && !slot; ++pass) {
        if (pass == 1 || module.lists.empty()) {
            PKCS11_SLOT *fresh = nullptr;
            unsigned int count = 0;
            ERR_clear_error();
            if (PKCS11_enumerate_slots(module.context, &fresh, &count) != 0)
                throw ETokenError(
                    QStringLiteral("The PKCS#11 module %1 cannot list its slots (%2). Check that the "
                                   "token's reader or service runs.")
                        .arg(modulePath, lastOpenSslError()));
            module.lists.push_back({fresh, count});
        }
        present.clear();
        const Module::SlotList &current = module.lists.back();
        for (unsigned int i = 0; i < current.count; ++i) {
            PKCS11_SLOT &candidate = current.slotArray[i];
            if (candidate.token && candidate.token->initialized)
                present << tokenText(candidate.token->label);
            if (!slot && slotMatches(uri, candidate))
                slot = &candidate;
        }
    }
    if (!slot)
        throw ETokenError(
            QStringLiteral("No token matching %1 is present in the PKCS#11 module %2 (tokens present: %3). "
                           "Insert the smart card or connect the security module, or correct the certificate "
                           "store (CertificateStorage) in the host configuration.")
                .arg(uriText, modulePath, present.isEmpty() ? QStringLiteral("none") : present.join(", ")));
    PKCS11_TOKEN &token = *slot->token;
    m_description =
        QStringLiteral("%1 (%2, serial %3)")
            .arg(tokenText(token.label), tokenText(token.manufacturer), tokenText(token.serialnr));

    if (token.userPinLocked)
        throw ETokenError(
            QStringLiteral("The token %1 is locked: its user PIN was entered wrongly too often. "
                           "Unlock it with the token's own tool and the security officer's PIN; "
                           "VornImport offers no PIN to a locked token.")
                .arg(m_description));

    int loggedIn = 0;
    if (token.loginRequired && (PKCS11_is_logged_in(slot, 0, &loggedIn) != 0 || !loggedIn)) {
        const QString pinFile = uri.query.contains(QStringLiteral("pin-source"))
                                    ? QUrl(QString::fromUtf8(uri.query.value(QStringLiteral("pin-source"))))
                                          .toString(QUrl::PreferLocalFile)
                                    : access.pinFile;
        const Pin pin = readPin(access, pinFile);
        if (pin.value.isEmpty()) {
            if (loginRequired)
                throw ETokenError(
                    QStringLiteral("No PIN for the token %1: set PKCS11PinFile in section Nastavitve "
                                   "of %2 to a file that holds it, readable by you only, or set "
                                   "the environment variable %3.")
                        .arg(m_description, access.settingsFile, QLatin1String(TokenAccess::PinVariable)));
        } else {
            const QByteArray digest = pinDigest(token, pin.value);
            const QString notAgain =
                QStringLiteral(
                    "The token %1 refused the PIN from %2 (wrong PIN). Correct it there; VornImport "
                    "does not offer the same PIN again, since each wrong one brings the token closer "
                    "to locking.")
                    .arg(m_description, pin.source);
            if (refusedPins().contains(digest))
                throw ETokenError(notAgain);
            if (token.userPinFinalTry)
                throw ETokenError(
                    QStringLiteral("The token %1 allows only one more PIN try; VornImport does not "
                                   "spend it. Check the PIN in %2 and log in once with the token's "
                                   "own tool, which resets the count.")
                        .arg(m_description, pin.source));
            ERR_clear_error();
            if (PKCS11_login(slot, 0, pin.value.constData()) != 0) {
                const unsigned long reason = ERR_GET_REASON(ERR_peek_last_error());
                switch (reason) {
                case CkrPinIncorrect:
                case CkrPinInvalid:
                case CkrPinLenRange:
                    refusedPins().insert(digest);
                    throw ETokenError(notAgain);
                case CkrPinLocked:
                    throw ETokenError(
                        QStringLiteral("The token %1 is locked: it refused the PIN from %2 and "
                                       "allows no more tries. Unlock it with the token's own tool "
                                       "and the security officer's PIN.")
                            .arg(m_description, pin.source));
                case CkrPinExpired:
                    throw ETokenError(
                        QStringLiteral("The user PIN of the token %1 has expired. Change it with "
                                       "the token's own tool and put the new one into %2.")
                            .arg(m_description, pin.source));
                case CkrDeviceRemoved:
                case CkrTokenNotPresent:
                    throw ETokenError(QStringLiteral("The token %1 was removed during the login. Insert it "
                                                     "again and repeat.")
                                          .arg(m_description));
                default:
                    throw ETokenError(
                        QStringLiteral("The token %1 refused the login with the PIN from %2 (%3).")
                            .arg(m_description, pin.source, lastOpenSslError()));
                }
            }
            loggedIn = 1;
        }
    }
    m_loggedIn = loggedIn || !token.loginRequired;

    PKCS11_CERT *certificates = nullptr;
    unsigned int count = 0;
    ERR_clear_error();
    if (PKCS11_enumerate_certs(&token, &certificates, &count) != 0)
        throw ETokenError(QStringLiteral("The token %1 cannot list its certificates (%2).")
                              .arg(m_description, lastOpenSslError()));
    const auto wantedLabel = uri.path.find(QStringLiteral("object"));
    const auto wantedId = uri.path.find(QStringLiteral("id"));
    for (unsigned int i = 0; i < count; ++i) {
        PKCS11_CERT &object = certificates[i];
        TokenCertificate entry;
        entry.label = QString::fromUtf8(object.label ? object.label : "");
        entry.id = QByteArray(reinterpret_cast<const char *>(object.id), qsizetype(object.id_len));
        if ((wantedLabel != uri.path.end() && QString::fromUtf8(*wantedLabel) != entry.label) ||
            (wantedId != uri.path.end() && *wantedId != entry.id) || !object.x509)
            continue;
        EVP_PKEY *privateKey = nullptr;
        if (m_loggedIn)
            if (PKCS11_KEY *key = PKCS11_find_key(&object); key && key->isPrivate)
                privateKey = PKCS11_get_private_key(key);
        X509_up_ref(object.x509);
        entry.certificate = ElX509Certificate(object.x509, privateKey);
        entry.hasKey = privateKey != nullptr;
        m_certificates.append(entry);
    }
    ERR_clear_error(); // a certificate without a key leaves its search in the error queue
}

QString Pkcs11Token::missingKeyMessage(const TokenCertificate &certificate) const
{
    if (!m_loggedIn)
        return QStringLiteral(
                   "The token %1 was not logged in, so the private key of the certificate %2 was not "
                   "looked for. Set the PIN file (PKCS11PinFile) or %3.")
            .arg(m_description, certificate.certificate.subject(), QLatin1String(TokenAccess::PinVariable));
    return QStringLiteral(
               "The token %1 holds the certificate %2 (object \"%3\", id %4) but no private key with "
               "that id. Put the key on the token with the certificate's id, or use the token that "
               "holds it.")
        .arg(m_description, certificate.certificate.subject(), certificate.label,
             QString::fromLatin1(certificate.id.toHex().toUpper()));
}
