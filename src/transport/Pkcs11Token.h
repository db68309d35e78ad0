#pragma once

#include "common/Exception.h"
#include "transport/ElX509Certificate.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// The token cannot be used: its module does not load, it is not present, it refused or locked the
// PIN, or it holds no key for the certificate. The message says which and what to do.
VORN_DECLARE_EXCEPTION(ETokenError, Exception)

// How the tool reaches PKCS#11 tokens: the module and where the user PIN comes from. The PIN is
// read when a token is opened and kept nowhere else; it never appears in a message.
struct TokenAccess
{
    // The module to load; empty: the p11-kit proxy, which loads every module registered on the system.
    QString modulePath;
    // A file readable by its owner only that holds the user PIN (one line).
    QString pinFile;
    // Where both are set, for messages.
    QString settingsFile;

    // The environment variable that holds the PIN when no PIN file is set (for unattended runs).
    static constexpr const char *PinVariable = "VORNIMPORT_PKCS11_PIN";
    static QString defaultModule();
};

// A PKCS#11 URI (RFC 7512) such as "pkcs11:token=VORN;id=%0A%1B": its path attributes (token,
// manufacturer, serial, model, slot-id, object, id) and query attributes (module-path, pin-source),
// percent-decoded. Raises ETokenError for a text that is no such URI.
struct Pkcs11Uri
{
    QMap<QString, QByteArray> path;
    QMap<QString, QByteArray> query;

    static bool isUri(const QString &text)
    {
        return text.startsWith(QLatin1String("pkcs11:"), Qt::CaseInsensitive);
    }
    static Pkcs11Uri parse(const QString &text);
};

// One certificate object of a token, with the token's private key of the same CKA_ID where there is
// one. The key signs on the token; it is never copied out of it.
struct TokenCertificate
{
    ElX509Certificate certificate;
    QString label; // the object's CKA_LABEL
    QByteArray id; // the object's CKA_ID
    bool hasKey = false;
};

// The token a PKCS#11 URI names. Opening loads the module once per process, finds the token and
// logs in with the user PIN. A PIN that the token refused is never offered to it again in this process,
// and none is offered when the token says the next wrong one locks it.
class Pkcs11Token
{
public:
    // Raises ETokenError with its own message for: a module that does not load, no such token, a locked
    // token, no PIN, a PIN file readable by others, a refused PIN. With loginRequired false a missing PIN
    // leaves the token logged out (its private keys then are not seen) instead of failing.
    Pkcs11Token(const QString &uri, const TokenAccess &access, bool loginRequired = true);

    QString uri() const { return m_uri; }
    QString description() const { return m_description; } // "VORN (SoftHSM project, serial ...)"
    bool loggedIn() const { return m_loggedIn; }
    // The token's certificates that the URI's object and id attributes select, in the token's order.
    const QList<TokenCertificate> &certificates() const { return m_certificates; }

    // "The token ... holds the certificate ... but no private key for it ...".
    QString missingKeyMessage(const TokenCertificate &certificate) const;

private:
    QString m_uri;
    QString m_description;
    bool m_loggedIn = false;
    QList<TokenCertificate> m_certificates;
};
