#pragma once

#include <QString>

class HostTestDatabase;
class NginxTestServer;
class TempDir;

// The host of the end-to-end tests against the depository stand-in: own member OWN7 at ownServiceUri
// with the server's first client certificate, remote member R1 at the prefix "remote" with the second,
// both from the certificate store MY.
void insertStandInMembers(HostTestDatabase &database, const NginxTestServer &server,
                          const QString &ownServiceUri);
// Both client certificates with their keys in the store MY under folder's data/ (XDG_DATA_HOME).
void writeStandInCertificates(const TempDir &folder, const NginxTestServer &server);
