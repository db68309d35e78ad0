#include "retrieval/SetupCheck.h"

#include "common/Clock.h"
#include "common/Exception.h"
#include "common/Messenger.h"
#include "host/HostAlias.h"
#include "host/HostDatabase.h"
#include "retrieval/AnswerCause.h"
#include "retrieval/CertificateExpiry.h"
#include "retrieval/CertificateStores.h"
#include "retrieval/ClientCertificateSelection.h"
#include "transport/ElMemoryCertStorage.h"

#include <algorithm>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace {

using Status = CheckLine::Status;

// Host configuration is read for its values; its debug lines and boxes have no place in the check.
class DiscardingMessenger : public Messenger
{
public:
    void log(const QString &) override {}
    void debugLog(const QString &) override {}
    void showMessage(const QString &) override {}
};

QString errorText(const std::exception &error)
{
    return exceptionClassName(error) + QStringLiteral(": ") + exceptionMessage(error);
}

QString driverName(HostAlias::Driver driver)
{
    switch (driver) {
    case HostAlias::Driver::SQLite:
        return QStringLiteral("SQLITE");
    case HostAlias::Driver::PostgreSQL:
        return QStringLiteral("POSTGRESQL");
    case HostAlias::Driver::Odbc:
        return QStringLiteral("ODBC");
    }
    return {};
}

// Where an endpoint's values are administered, for the advice.
QString endpointSource(const QString &member)
{
    return member.isEmpty() ? QStringLiteral("VORN_IMP_INI")
                            : QStringLiteral("the row of member %1 in VORN_REMOTECLAN").arg(member);
}

} // namespace

QString CheckLine::text() const
{
    switch (status) {
    case Status::Ok:
        return QStringLiteral("OK   ") + finding;
    case Status::Warn:
        return QStringLiteral("WARN ") + finding + QStringLiteral(". To do: ") + advice;
    case Status::Fail:
        return QStringLiteral("FAIL ") + finding + QStringLiteral(". To do: ") + advice;
    }
    return finding;
}

SetupCheck::SetupCheck(SetupCheckInputs inputs, Report report)
    : m_inputs(std::move(inputs)), m_report(std::move(report))
{
}

bool SetupCheck::run()
{
    m_failed = false;
    checkSettings();
    checkFolder(QStringLiteral("VhodniImenik"), m_settings.InputFolder, QStringLiteral("Input folder"));
    checkFolder(QStringLiteral("IzhodniImenik"), m_settings.OutputFolder, QStringLiteral("Output folder"));
    checkTypeTable();
    if (!checkDatabase())
        return false;
    const std::optional<Endpoint> endpoint = checkHostConfiguration();
    if (endpoint && checkEndpoint(*endpoint)) {
        const ElX509Certificate certificate = checkCertificate(*endpoint);
        checkDepository(*endpoint, certificate);
    }
    return !m_failed;
}

void SetupCheck::report(Status status, const QString &finding, const QString &advice)
{
    if (status == Status::Fail)
        m_failed = true;
    m_report({status, finding, advice});
}

QString SetupCheck::withoutPassword(QString text) const
{
    // Applied to a database driver's own messages only, which might echo the connection string; no text of
    // the check carries the password. A password of one or two characters would mask ordinary letters
    // and is left alone.
    const QString &password = m_inputs.login.Password;
    if (password.size() >= 3)
        text.replace(password, QStringLiteral("***"));
    return text;
}

void SetupCheck::checkSettings()
{
    const QString &path = m_inputs.settingsFile;
    const QFileInfo file(path);
    m_settings = Settings();
    if (file.exists() && !file.isFile()) {
        // A FIFO would block the reading, a device feed it without end: it is not read at all.
        report(Status::Fail,
               QStringLiteral("Settings file %1 is not a regular file (a FIFO, device or folder)").arg(path),
               QStringLiteral(
                   "replace it with the settings file (the installation has VornImport.ini.example)"));
        return;
    }
    if (!file.isFile() || !file.isReadable()) {
        report(Status::Fail,
               QStringLiteral("Settings file %1 %2")
                   .arg(path,
                        file.exists() ? QStringLiteral("cannot be read") : QStringLiteral("does not exist")),
               QStringLiteral(
                   "create it beside the program (the installation has VornImport.ini.example) and make "
                   "it readable for the user who runs the program"));
    } else {
        report(Status::Ok, QStringLiteral("Settings file %1").arg(path));
    }
    try {
        m_settings = ReadSettings(path);
    } catch (const std::exception &error) {
        report(Status::Fail,
               QStringLiteral("Settings file %1 cannot be read: %2").arg(path, exceptionMessage(error)),
               QStringLiteral("make it a readable file for the user who runs the program"));
    }
}

void SetupCheck::checkFolder(const QString &key, const QString &folder, const QString &name)
{
    const QString what = QStringLiteral("%1 (%2)").arg(name, key);
    const QString where = QStringLiteral("in the section Nastavitve of %1").arg(m_inputs.settingsFile);
    if (folder.isEmpty()) {
        report(Status::Fail, what + QStringLiteral(" is not set"),
               QStringLiteral("set %1 %2").arg(key, where));
        return;
    }
    if (!QFileInfo(folder).isDir()) {
        report(Status::Fail, QStringLiteral("%1 %2 does not exist").arg(what, folder),
               QStringLiteral("create the folder or correct %1 %2").arg(key, where));
        return;
    }
    // Writing is what counts: permissions, access lists and read-only mounts all show in it.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".vorn-check-XXXXXX")));
    if (!probe.open()) {
        report(Status::Fail,
               QStringLiteral("%1 %2 cannot be written: %3").arg(what, folder, probe.errorString()),
               QStringLiteral("give the user who runs the program write permission for %1").arg(folder));
        return;
    }
    report(Status::Ok, QStringLiteral("%1 %2 exists and can be written").arg(what, folder));
}

void SetupCheck::checkTypeTable()
{
    const QString path = QDir(m_inputs.programFolder).filePath(QStringLiteral("tipi.ini"));
    const QFileInfo file(path);
    if (file.isFile() && file.isReadable())
        report(Status::Ok, QStringLiteral("Type table %1").arg(path));
    else
        report(Status::Fail, QStringLiteral("Type table %1 is not found or cannot be read").arg(path),
               QStringLiteral("put the type table tipi.ini beside the program; the conversions need it"));
}

bool SetupCheck::checkDatabase()
{
    const QString aliasFile = HostAliasFilePath();
    HostAlias alias;
    try {
        alias = ResolveHostAlias(m_inputs.login.Alias);
    } catch (const std::exception &error) {
        report(Status::Fail, exceptionMessage(error),
               QStringLiteral("define the alias in %1 (or name the alias file in VORNIMPORT_ALIASES)")
                   .arg(aliasFile));
        return false;
    }
    report(Status::Ok, QStringLiteral("Alias %1 in %2").arg(alias.name, aliasFile));

    const QString database = QStringLiteral("Database of alias %1 (driver %2, database %3%4)")
                                 .arg(alias.name, driverName(alias.driver), alias.database,
                                      alias.host.isEmpty() ? QString() : QStringLiteral(" on ") + alias.host);
    HostConnection connection;
    connection.setAlias(m_inputs.login.Alias);
    connection.setParams({QStringLiteral("USER NAME=") + m_inputs.login.User,
                          QStringLiteral("PASSWORD=") + m_inputs.login.Password});
    try {
        connection.open();
    } catch (const std::exception &error) {
        report(Status::Fail,
               QStringLiteral("%1 does not open: %2").arg(database, withoutPassword(exceptionMessage(error))),
               QStringLiteral("check the alias, the database server, the user name %1 and the password")
                   .arg(m_inputs.login.User));
        return false;
    }
    report(Status::Ok, database + QStringLiteral(" opens"));
    return true;
}

std::optional<Endpoint> SetupCheck::checkHostConfiguration()
{
    DiscardingMessenger messenger;
    HostConfiguration host;
    try {
        host = ReadHostConfiguration(m_inputs.login, true, messenger);
    } catch (const std::exception &error) {
        report(Status::Fail,
               QStringLiteral("Host configuration cannot be read: %1").arg(withoutPassword(errorText(error))),
               QStringLiteral(
                   "check the tables VORN_IMP_INI, INISET and VORN_REMOTECLAN and the rights of user %1")
                   .arg(m_inputs.login.User));
        return std::nullopt;
    }
    if (host.OwnMemberCode.isEmpty())
        report(
            Status::Fail, QStringLiteral("The own member code (INISET OZNAKACLANA) is not set"),
            QStringLiteral("add the row OZNAKACLANA to INISET with the code under which the host knows its "
                           "own member"));
    else
        report(Status::Ok, QStringLiteral("Own member code %1").arg(host.OwnMemberCode));

    // A request file that names the own member's code fetches for the own member; so does the check.
    if (!m_inputs.member.isEmpty() && m_inputs.member == host.OwnMemberCode) {
        report(Status::Ok, QStringLiteral("Member %1 is the own member").arg(m_inputs.member));
        m_inputs.member.clear();
    }
    if (m_inputs.member.isEmpty())
        return host.ConfiguredEndpoint;
    const qsizetype item = host.MemberBoxItems.indexOf(m_inputs.member);
    if (item < 1 || item > RemoteMemberCapacity) {
        const QStringList remote = host.MemberBoxItems.mid(1);
        report(
            Status::Fail,
            QStringLiteral("%1 names no remote member (VORN_REMOTECLAN holds %2)")
                .arg(m_inputs.member,
                     remote.isEmpty() ? QStringLiteral("none") : remote.join(QStringLiteral(", "))),
            QStringLiteral("give the code of a remote member, or add the member's row to VORN_REMOTECLAN"));
        return std::nullopt;
    }
    report(Status::Ok, QStringLiteral("Remote member %1").arg(m_inputs.member));
    return host.RemoteMembers[size_t(item - 1)];
}

bool SetupCheck::checkEndpoint(const Endpoint &endpoint)
{
    const QString source = endpointSource(m_inputs.member);
    const bool own = m_inputs.member.isEmpty();
    const struct
    {
        QString value;
        const char *ownKey;
        const char *remoteColumn;
        const char *meaning;
    } fields[] = {
        {endpoint.VornProtocol, "VORNPROTOCOL", "VornProtocol", "protocol"},
        {endpoint.VornUri, "VORNURI", "VornUri", "service URI"},
        {endpoint.VornMemberCode, "VORNMEMBERCODE", "VornMemberCode", "member code of the requests"},
        {endpoint.CertificateSubjectKeyID, "CERTIFICATESUBJECTKEYID", "CertificateSubjectKeyID",
         "certificate key identifier"},
        {endpoint.CertificateStorage, "CERTIFICATESTORAGE", "CertificateStorage", "certificate store"},
    };
    bool complete = true;
    for (const auto &field : fields) {
        if (!field.value.trimmed().isEmpty())
            continue;
        complete = false;
        const QString name = QLatin1String(own ? field.ownKey : field.remoteColumn);
        report(Status::Fail,
               QStringLiteral("The endpoint's %1 (%2) is not set").arg(QLatin1String(field.meaning), name),
               QStringLiteral("set %1 in %2").arg(name, source));
    }
    if (!complete)
        return false;
    report(Status::Ok, QStringLiteral("Endpoint %1://%2, member code %3, certificate %4 in store %5 (%6)")
                           .arg(endpoint.VornProtocol, endpoint.VornUri, endpoint.VornMemberCode,
                                endpoint.CertificateSubjectKeyID, endpoint.CertificateStorage, source));
    if (endpoint.VornProtocol.compare(QLatin1String("https"), Qt::CaseInsensitive) != 0)
        report(Status::Warn,
               QStringLiteral(
                   "The endpoint's protocol is %1: the client certificate is presented only over https")
                   .arg(endpoint.VornProtocol),
               QStringLiteral("set %1 to https in %2")
                   .arg(QLatin1String(own ? "VORNPROTOCOL" : "VornProtocol"), source));
    return true;
}

ElX509Certificate SetupCheck::checkCertificate(const Endpoint &endpoint)
{
    if (Pkcs11Uri::isUri(endpoint.CertificateStorage))
        return checkTokenCertificate(endpoint);
    const ElWinCertStorage stores(m_inputs.storesFolder);
    const QString storeFolder = stores.storeFolder(endpoint.CertificateStorage);
    if (storeFolder.isEmpty()) {
        report(Status::Fail,
               QStringLiteral("Certificate store %1 does not exist: no folder %2")
                   .arg(endpoint.CertificateStorage,
                        QDir::cleanPath(QDir(m_inputs.storesFolder).filePath(endpoint.CertificateStorage))),
               QStringLiteral("create the folder for the user who runs the program and put the member's "
                              "certificate with its private key (.pem, .p12 or .pfx) into it"));
        return {};
    }
    const QFileInfo folder(storeFolder);
    if (!folder.isReadable() || !folder.isExecutable()) {
        report(Status::Fail,
               QStringLiteral("Certificate store %1: the folder %2 cannot be read")
                   .arg(endpoint.CertificateStorage, storeFolder),
               QStringLiteral("give the user who runs the program read and search permission for it (chmod "
                              "u+rx %1)")
                   .arg(storeFolder));
        return {};
    }
    report(Status::Ok, QStringLiteral("Certificate store %1 is the folder %2")
                           .arg(endpoint.CertificateStorage, storeFolder));
    checkStorePermissions(storeFolder);

    QByteArray keyId;
    try {
        keyId = decodeSubjectKeyID(endpoint.CertificateSubjectKeyID);
    } catch (const std::exception &error) {
        // As openssl prints it ("0A:1B:..." or "0A 1B ...") it is not read; the advice gives it written
        // right.
        QString joined = endpoint.CertificateSubjectKeyID;
        joined.remove(u':').remove(u' ').remove(u'\t');
        QString advice =
            QStringLiteral("write it as two hexadecimal digits per byte with nothing between them");
        try {
            if (joined != endpoint.CertificateSubjectKeyID && !decodeSubjectKeyID(joined).isEmpty())
                advice += QStringLiteral(" (%1)").arg(joined);
        } catch (const std::exception &) {
        }
        report(Status::Fail,
               QStringLiteral("The key identifier %1 is no hexadecimal text: %2")
                   .arg(endpoint.CertificateSubjectKeyID, exceptionMessage(error)),
               advice + QStringLiteral(" in %1").arg(endpointSource(m_inputs.member)));
        return {};
    }

    // The fetch reads every file of the store and stops at the first one it cannot use.
    ElX509Certificate found;
    QString foundFile;
    QStringList keyIds;
    for (const QString &file : ElWinCertStorage::certificateFiles(storeFolder)) {
        ElX509Certificate certificate;
        try {
            certificate = readCertificateStoreFile(file);
        } catch (const std::exception &error) {
            report(Status::Fail, exceptionMessage(error),
                   QStringLiteral("make it readable for the user who runs the program, or remove it"));
            continue;
        }
        if (certificate.isNull()) {
            report(Status::Fail, QStringLiteral("Certificate file %1 holds no certificate").arg(file),
                   QStringLiteral("remove it from the store; the fetch stops at it"));
            continue;
        }
        const QByteArray fileKeyId = certificate.subjectKeyIdentifier();
        keyIds << QString::fromLatin1(fileKeyId.toHex().toUpper());
        if (found.isNull() && !keyId.isEmpty() && fileKeyId == keyId) {
            found = certificate;
            foundFile = file;
        } else if (!certificate.privateKeyMatches()) {
            report(
                Status::Fail,
                QStringLiteral("Certificate file %1 (%2) holds no private key that belongs to it")
                    .arg(file, certificate.subject()),
                QStringLiteral("replace it with the certificate and its unencrypted private key, or remove "
                               "it; the fetch stops at it"));
        }
    }
    if (found.isNull()) {
        report(
            Status::Fail,
            QStringLiteral("No certificate with the key identifier %1 in store %2 (it holds %3)")
                .arg(endpoint.CertificateSubjectKeyID, endpoint.CertificateStorage,
                     keyIds.isEmpty() ? QStringLiteral("no certificate") : keyIds.join(QStringLiteral(", "))),
            QStringLiteral("correct the key identifier in %1, or put the member's certificate into %2")
                .arg(endpointSource(m_inputs.member), storeFolder));
        return {};
    }
    report(Status::Ok, QStringLiteral("Certificate %1 with the key identifier %2 in %3")
                           .arg(found.subject(), endpoint.CertificateSubjectKeyID, foundFile));
    if (!found.privateKeyMatches()) {
        report(Status::Fail,
               QStringLiteral("%1 holds %2")
                   .arg(foundFile, found.privateKey() ? QStringLiteral("a private key of another certificate")
                                                      : QStringLiteral("no unencrypted private key")),
               QStringLiteral("put the certificate together with its own private key, unencrypted, into the "
                              "file (openssl pkcs12 -in export.pfx -nodes -out %1)")
                   .arg(foundFile));
        return {};
    }
    report(Status::Ok, QStringLiteral("Its private key belongs to it"));
    checkValidity(found);
    return found;
}

void SetupCheck::checkStorePermissions(const QString &storeFolder)
{
    QStringList exposed;
    for (const QString &file : ElWinCertStorage::certificateFiles(storeFolder)) {
        if (QFileInfo(file).permissions() & (QFile::ReadGroup | QFile::ReadOther))
            exposed << QFileInfo(file).fileName();
    }
    if (exposed.isEmpty()) {
        report(Status::Ok, QStringLiteral("Certificate files are readable by their owner only"));
        return;
    }
    report(Status::Warn,
           QStringLiteral(
               "Certificate files readable by group or others: %1; their private keys are unencrypted")
               .arg(exposed.join(QStringLiteral(", "))),
           QStringLiteral("chmod go-rwx %1/*").arg(storeFolder));
}

void SetupCheck::checkValidity(const ElX509Certificate &certificate)
{
    const QDateTime now = Clock::now();
    const QString renew =
        QStringLiteral("ask the depository for a new certificate and put it into the store");
    if (certificate.notBefore() > now) {
        report(Status::Fail,
               QStringLiteral("The certificate is not valid yet: valid from %1")
                   .arg(certificate.notBefore().toString(Qt::ISODate)),
               QStringLiteral("check the computer's clock, or wait until then"));
        return;
    }
    if (certificate.notAfter() < now) {
        report(Status::Fail, QStringLiteral("The certificate expired on %1").arg(expiryDateText(certificate)),
               renew);
        return;
    }
    const qint64 days = now.secsTo(certificate.notAfter()) / (24 * 3600); // whole days left
    if (expiresSoon(certificate, now))
        report(Status::Warn,
               QStringLiteral("The certificate expires on %1, in %2 days")
                   .arg(expiryDateText(certificate))
                   .arg(days),
               renew);
    else
        report(Status::Ok, QStringLiteral("The certificate is valid until %1 (%2 days)")
                               .arg(expiryDateText(certificate))
                               .arg(days));
}

void SetupCheck::checkDepository(const Endpoint &endpoint, const ElX509Certificate &certificate)
{
    const QString url = endpoint.VornProtocol + QStringLiteral("://") + endpoint.VornUri;
    ElMemoryCertStorage clientStorage;
    if (!certificate.isNull())
        clientStorage.add(certificate);
    ElHTTPSClient client;
    client.setClientCertStorage(&clientStorage);
    client.setCAFile(m_settings.CAFile);
    client.setProxy(m_settings.Proxy);
    client.setTimeouts(m_inputs.timeouts);
    const QString through =
        m_settings.Proxy.isEmpty()
            ? QString()
            : QStringLiteral(" through the proxy %1 (Proxy)").arg(proxyForDisplay(m_settings.Proxy));
    QString statusLine;
    QByteArray body; // its beginning, where the server says why it refused
    client.onReceivingHeaders = [&statusLine](const QStringList &headers) { statusLine = headers.value(0); };
    client.onData = [&body](const char *buffer, qsizetype size) {
        if (body.size() < 4096)
            body.append(buffer, std::min<qsizetype>(size, 4096 - body.size()));
    };
    try {
        client.Get(url);
    } catch (const std::exception &error) {
        const QString message = exceptionMessage(error);
        if (message.contains(QLatin1String("alert"), Qt::CaseInsensitive)) {
            report(
                Status::Fail,
                QStringLiteral("The depository %1 refuses the connection%2: %3").arg(url, through, message),
                QStringLiteral("present the certificate the depository issued to the member: put it into "
                               "store %1 and set its key identifier in %2")
                    .arg(endpoint.CertificateStorage, endpointSource(m_inputs.member)));
            return;
        }
        report(
            Status::Fail,
            QStringLiteral("The depository %1 does not answer%2: %3").arg(url, through, message),
            QStringLiteral("check the network, the endpoint's address%1 and, when the server's certificate "
                           "is refused, the authorities of CAFile in %2")
                .arg(m_settings.Proxy.isEmpty() ? QString() : QStringLiteral(", the proxy (Proxy)"),
                     m_inputs.settingsFile));
        return;
    }
    // 400 and 403 are how a server refuses a client certificate that is missing, unknown or not trusted.
    if (const int status = HttpStatusOf({statusLine}); status == 400 || status == 403) {
        const QString page = QString::fromUtf8(body);
        const qsizetype start = page.indexOf(QLatin1String("<title>"), 0, Qt::CaseInsensitive);
        const qsizetype end = page.indexOf(QLatin1String("</title>"), start, Qt::CaseInsensitive);
        const QString said =
            start >= 0 && end > start ? page.mid(start + 7, end - start - 7).trimmed() : QString();
        report(Status::Fail,
               QStringLiteral("The depository %1 refuses the client certificate%2 (%3%4)")
                   .arg(url, through, statusLine, said.isEmpty() ? QString() : QStringLiteral(": ") + said),
               QStringLiteral("present the certificate the depository issued to the member: put it into "
                              "store %1 and set its key identifier in %2")
                   .arg(endpoint.CertificateStorage, endpointSource(m_inputs.member)));
        return;
    }
    report(Status::Ok, QStringLiteral("The depository %1 answers%2 (%3)").arg(url, through, statusLine));
}

ElX509Certificate SetupCheck::checkTokenCertificate(const Endpoint &endpoint)
{
    const TokenAccess access = tokenAccessOf(m_settings);
    std::optional<Pkcs11Token> token;
    try {
        token.emplace(endpoint.CertificateStorage, access);
    } catch (const std::exception &error) {
        report(Status::Fail, exceptionMessage(error),
               QStringLiteral("do as the message says, then run the check again"));
        return {};
    }
    report(Status::Ok,
           QStringLiteral("Token %1 is present in the PKCS#11 module %2%3")
               .arg(token->description(),
                    access.modulePath.isEmpty() ? TokenAccess::defaultModule() : access.modulePath,
                    token->loggedIn() ? QStringLiteral(", the PIN is accepted") : QString()));
    QByteArray keyId;
    try {
        keyId = decodeSubjectKeyID(endpoint.CertificateSubjectKeyID);
    } catch (const std::exception &error) {
        report(Status::Fail,
               QStringLiteral("The key identifier %1 is no hexadecimal text: %2")
                   .arg(endpoint.CertificateSubjectKeyID, exceptionMessage(error)),
               QStringLiteral("correct it in %1").arg(endpointSource(m_inputs.member)));
        return {};
    }
    QStringList keyIds;
    for (const TokenCertificate &object : token->certificates()) {
        keyIds << keyIdText(object.certificate);
        if (keyId.isEmpty() || object.certificate.subjectKeyIdentifier() != keyId)
            continue;
        report(Status::Ok,
               QStringLiteral("Certificate %1 with the key identifier %2 is the token's object \"%3\"")
                   .arg(object.certificate.subject(), endpoint.CertificateSubjectKeyID, object.label));
        if (!object.hasKey) {
            report(Status::Fail, token->missingKeyMessage(object),
                   QStringLiteral("put the certificate's private key on the token with the same id"));
            return {};
        }
        report(Status::Ok, QStringLiteral("Its private key is on the token"));
        checkValidity(object.certificate);
        return object.certificate;
    }
    report(Status::Fail,
           QStringLiteral("No certificate with the key identifier %1 on the token %2 (it holds %3)")
               .arg(endpoint.CertificateSubjectKeyID, token->description(),
                    keyIds.isEmpty() ? QStringLiteral("no certificate") : keyIds.join(QStringLiteral(", "))),
           QStringLiteral("correct the key identifier in %1, or put the member's certificate on the token")
               .arg(endpointSource(m_inputs.member)));
    return {};
}
