#include "StandInHost.h"

#include "HostTestDatabase.h"
#include "NginxTestServer.h"
#include "TempDir.h"

void insertStandInMembers(HostTestDatabase &database, const NginxTestServer &server,
                          const QString &ownServiceUri)
{
    database.exec(QStringLiteral("INSERT INTO VORN_IMP_INI VALUES ('VORNPROTOCOL', 'https');"
                                 "INSERT INTO VORN_IMP_INI VALUES ('VORNURI', '%1');"
                                 "INSERT INTO VORN_IMP_INI VALUES ('VORNMEMBERCODE', 'OWN7');"
                                 "INSERT INTO VORN_IMP_INI VALUES ('CERTIFICATESUBJECTKEYID', '%2');"
                                 "INSERT INTO VORN_IMP_INI VALUES ('CERTIFICATESTORAGE', 'MY');"
                                 "INSERT INTO INISET (Kljuc, Vrednost) VALUES ('OZNAKACLANA', 'OWN7');"
                                 "INSERT INTO VORN_REMOTECLAN VALUES ('R1', 'https', '%3', '%4', '', 'MY')")
                      .arg(ownServiceUri, QString::fromLatin1(NginxTestServer::FirstClientKeyId.toHex()),
                           server.serviceUri(QStringLiteral("remote")),
                           QString::fromLatin1(NginxTestServer::SecondClientKeyId.toHex())));
}

void writeStandInCertificates(const TempDir &folder, const NginxTestServer &server)
{
    folder.write(QStringLiteral("data/VornImport/certstores/MY/own.pem"),
                 TestPki::pem(server.firstClient(), true));
    folder.write(QStringLiteral("data/VornImport/certstores/MY/r1.pem"),
                 TestPki::pem(server.secondClient(), true));
}
