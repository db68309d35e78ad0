#pragma once

#include <array>
#include <QString>
#include <QStringList>

class Messenger;

// One depository endpoint: the member code put into requests, the protocol (URL scheme without "://"),
// the service URI and the client certificate's subject key identifier, path and system store.
// A row of VORN_REMOTECLAN is one of them (tVorn_remoteClan); so is the configured endpoint of
// VORN_IMP_INI and the current endpoint of a fetch.
struct Endpoint
{
    QString VornMemberCode;
    QString VornProtocol;
    QString VornUri;
    QString CertificateSubjectKeyID;
    QString CertificatePath;
    QString CertificateStorage;

    bool operator==(const Endpoint &) const = default;
};
using tVorn_remoteClan = Endpoint;

// The remote member table: room for 101 members, filled from index 0; the rest stay empty.
constexpr int RemoteMemberCapacity = 101;
using RemoteMemberTable = std::array<tVorn_remoteClan, RemoteMemberCapacity>;

// The member box's first item, a single blank, stands for the own member.
inline const QString OwnMemberBoxItem = QStringLiteral(" ");

// What the host administers centrally, as read at start-up.
struct HostConfiguration
{
    Endpoint ConfiguredEndpoint;                  // VORN_IMP_INI; the URI ends with "/" unless empty
    QString OwnMemberCode;                        // INISET OZNAKACLANA
    bool TransaImportPreferred = false;           // INISET SfVpVornTransaImport is exactly "D"
    RemoteMemberTable RemoteMembers;              // VORN_REMOTECLAN rows in order
    QStringList MemberBoxItems{OwnMemberBoxItem}; // " " and each remote member code in row order
};

struct DatabaseLogin
{
    QString Alias;
    QString User;
    QString Password;
};

// Reads the host configuration from the host database. Database failures are ignored (what was read up
// to them stays) unless showDatabaseErrors is set: then the box "Napaka <marker>: <class>><message>" is
// shown and the failure is raised again. Debug lines go to the messenger.
HostConfiguration ReadHostConfiguration(const DatabaseLogin &login, bool showDatabaseErrors,
                                        Messenger &messenger);
