#pragma once

#include "TempDir.h"
#include "transport/ElX509Certificate.h"
#include "transport/Pkcs11Token.h"

#include <QList>
#include <QString>

// SoftHSM2 tokens in a temporary folder, for this process and the programs it starts (SOFTHSM2_CONF):
// the tokens VORN and VORN2, both with the user PIN Pin. Certificates are put on VORN, with or without
// their private key, before the tool first opens a token: the tool keeps the module loaded.
class SoftHsmToken
{
public:
    static constexpr const char *Pin = "4711";
    // The module of Debian's softhsm2.
    static QString module();
    // A pkcs11: URI of the token with the given label.
    static QString uri(const QString &label = QStringLiteral("VORN"));

    SoftHsmToken();

    // False with the reason when softhsm2 is missing or the tokens cannot be made.
    bool ready(QString *error) const;
    // Puts the certificate on VORN under label with its key identifier as CKA_ID, with its private key when
    // withKey is set. False with the reason when the token refuses it.
    bool put(const ElX509Certificate &certificate, const QString &label, bool withKey, QString *error) const;
    // The module and a PIN file (mode 600) that holds pin.
    TokenAccess access(const QByteArray &pin = Pin) const;

private:
    TempDir m_dir;
    QString m_error;
};
