#include "SoftHsmToken.h"

#include "TestPki.h"

#include <libp11.h>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

QString SoftHsmToken::module()
{
    return QStringLiteral("/usr/lib/softhsm/libsofthsm2.so");
}

QString SoftHsmToken::uri(const QString &label)
{
    return QStringLiteral("pkcs11:token=") + label;
}

SoftHsmToken::SoftHsmToken()
{
    const QString configuration = m_dir.write(
        "softhsm2.conf",
        QStringLiteral("directories.tokendir = %1\nobjectstore.backend = file\nlog.level = ERROR\n")
            .arg(m_dir.filePath("tokens"))
            .toUtf8());
    m_dir.write("tokens/.keep", QByteArray());
    qputenv("SOFTHSM2_CONF", QFile::encodeName(configuration));
    if (!QFileInfo::exists(module())) {
        m_error = QStringLiteral("%1 is missing: install softhsm2 (scripts/install-deps)").arg(module());
        return;
    }
    for (const QString &label : {QStringLiteral("VORN"), QStringLiteral("VORN2")}) {
        QProcess init;
        init.start(QStringLiteral("softhsm2-util"), {"--init-token", "--free", "--label", label, "--pin",
                                                     QLatin1String(Pin), "--so-pin", "123456"});
        if (!init.waitForFinished(30000) || init.exitCode() != 0) {
            m_error = QStringLiteral("softhsm2-util --init-token failed: ") +
                      QString::fromLocal8Bit(init.readAllStandardError() + init.readAllStandardOutput());
            return;
        }
    }
}

bool SoftHsmToken::ready(QString *error) const
{
    *error = m_error;
    return m_error.isEmpty();
}

bool SoftHsmToken::put(const ElX509Certificate &certificate, const QString &label, bool withKey,
                       QString *error) const
{
    // libp11 stores no EC keys: softhsm2-util imports the key, from a file removed again at once.
    if (withKey) {
        const QString keyFile = m_dir.write("key.pem", TestPki::keyPem(certificate));
        QProcess import;
        import.start(QStringLiteral("softhsm2-util"),
                     {"--import", keyFile, "--token", "VORN", "--label", label, "--id",
                      QString::fromLatin1(certificate.subjectKeyIdentifier().toHex()), "--pin",
                      QLatin1String(Pin)});
        const bool imported = import.waitForFinished(30000) && import.exitCode() == 0;
        QFile::remove(keyFile);
        if (!imported) {
            *error = QStringLiteral("softhsm2-util --import failed: ") +
                     QString::fromLocal8Bit(import.readAllStandardError() + import.readAllStandardOutput());
            return false;
        }
    }
    // A context of its own, finalised again before the tool loads the module.
    PKCS11_CTX *context = PKCS11_CTX_new();
    PKCS11_SLOT *slotList = nullptr;
    unsigned int count = 0;
    bool ok = PKCS11_CTX_load(context, QFile::encodeName(module()).constData()) == 0 &&
              PKCS11_enumerate_slots(context, &slotList, &count) == 0;
    PKCS11_SLOT *slot = nullptr;
    for (unsigned int i = 0; ok && i < count; ++i)
        if (slotList[i].token && QString::fromUtf8(slotList[i].token->label) == u"VORN")
            slot = &slotList[i];
    QByteArray id = certificate.subjectKeyIdentifier();
    QByteArray name = label.toUtf8();
    auto *idBytes = reinterpret_cast<unsigned char *>(id.data());
    ok = ok && slot && PKCS11_open_session(slot, 1) == 0 && PKCS11_login(slot, 0, Pin) == 0 &&
         PKCS11_store_certificate(slot->token, certificate.x509(), name.data(), idBytes, size_t(id.size()),
                                  nullptr) == 0;
    if (!ok) {
        char text[256] = "";
        ERR_error_string_n(ERR_peek_last_error(), text, sizeof text);
        *error = QStringLiteral("Cannot put %1 on the SoftHSM token: %2").arg(label, QLatin1String(text));
    }
    if (slotList)
        PKCS11_release_all_slots(context, slotList, count);
    PKCS11_CTX_unload(context);
    PKCS11_CTX_free(context);
    return ok;
}

TokenAccess SoftHsmToken::access(const QByteArray &pin) const
{
    const QString pinFile =
        m_dir.write(QStringLiteral("pin-") + QString::fromLatin1(pin.toHex()), pin + '\n');
    QFile::setPermissions(pinFile, QFile::ReadOwner | QFile::WriteOwner);
    return {module(), pinFile, m_dir.filePath("VornImport.ini")};
}
