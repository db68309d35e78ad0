#pragma once

#include "host/HostConfiguration.h"
#include "host/Settings.h"
#include "retrieval/ClientCertificateStore.h"
#include "transport/ElHTTPSClient.h"

#include <functional>
#include <optional>
#include <QString>

// One finding of the setup check: what was checked and, unless it is OK, what to do about it.
struct CheckLine
{
    enum class Status
    {
        Ok,
        Warn,
        Fail
    };

    Status status = Status::Ok;
    QString finding;
    QString advice; // empty for OK

    // "OK <finding>", "WARN <finding>. To do: <advice>", "FAIL <finding>. To do: <advice>".
    QString text() const;
};

// What the check of one installation starts from.
struct SetupCheckInputs
{
    QString settingsFile;
    QString programFolder; // where "tipi.ini" lies
    DatabaseLogin login;
    QString member; // a remote member's code; empty for the own member
    QString storesFolder = ElWinCertStorage::currentUserStoresFolder();
    ElHTTPSClient::Timeouts timeouts{std::chrono::seconds(15), std::chrono::seconds(30)};
};

// Checks that an installation can fetch and convert, in the order a fetch needs it: the settings, the
// folders and the type table; the alias, the database and the host configuration; the certificate store
// and the member's client certificate; a TLS connection to the depository. Checks that build on one that
// failed are left out. Nothing is stored, the password is never reported.
class SetupCheck
{
public:
    using Report = std::function<void(const CheckLine &)>;

    // report receives each line as soon as it is known (a connection can take a while).
    SetupCheck(SetupCheckInputs inputs, Report report);

    // True when no check failed (warnings allowed).
    bool run();

private:
    void report(CheckLine::Status status, const QString &finding, const QString &advice = QString());
    void checkSettings();
    void checkFolder(const QString &key, const QString &folder, const QString &name);
    void checkTypeTable();
    bool checkDatabase();
    std::optional<Endpoint> checkHostConfiguration();
    bool checkEndpoint(const Endpoint &endpoint);
    ElX509Certificate checkCertificate(const Endpoint &endpoint);
    ElX509Certificate checkTokenCertificate(const Endpoint &endpoint);
    void checkStorePermissions(const QString &storeFolder);
    void checkValidity(const ElX509Certificate &certificate);
    void checkDepository(const Endpoint &endpoint, const ElX509Certificate &certificate);
    QString withoutPassword(QString text) const;

    SetupCheckInputs m_inputs;
    Report m_report;
    Settings m_settings;
    bool m_failed = false;
};
