#include "host/HostConfiguration.h"

#include "common/Exception.h"
#include "common/Messenger.h"
#include "host/HostDatabase.h"

namespace {
// VORN_IMP_INI keys of the configured endpoint, in the order they are tested.
struct EndpointKey
{
    const char *key;
    QString Endpoint::*field;
};
constexpr EndpointKey endpointKeys[] = {
    {"VORNPROTOCOL", &Endpoint::VornProtocol},
    {"VORNURI", &Endpoint::VornUri},
    {"VORNMEMBERCODE", &Endpoint::VornMemberCode},
    {"CERTIFICATESUBJECTKEYID", &Endpoint::CertificateSubjectKeyID},
    {"CERTIFICATEPATH", &Endpoint::CertificatePath},
    {"CERTIFICATESTORAGE", &Endpoint::CertificateStorage},
};

class HostConfigurationReader
{
public:
    HostConfigurationReader(bool showDatabaseErrors, Messenger &messenger)
        : m_showDatabaseErrors(showDatabaseErrors), m_messenger(messenger)
    {
    }

    HostConfiguration read(const DatabaseLogin &login)
    {
        try {
            readAll(login);
        } catch (const std::exception &error) {
            m_messenger.showMessage(StepFailureMessage(m_marker, error));
            throw;
        }
        return m_configuration;
    }

private:
    void readAll(const DatabaseLogin &login)
    {
        m_marker = QStringLiteral("K1");
        HostConnection connection;
        connection.setParams(
            {QStringLiteral("USER NAME=") + login.User, QStringLiteral("PASSWORD=") + login.Password});
        connection.setAlias(login.Alias.toUpper());

        m_marker = QStringLiteral("K2");
        try {
            connection.open();
            m_marker = QStringLiteral("K3");
        } catch (const std::exception &) {
            m_marker = QStringLiteral("K4");
            if (m_showDatabaseErrors)
                throw;
            // Ignored: the reads below then fail on the unopened connection and are ignored too.
        }

        m_marker = QStringLiteral("K5");
        HostQuery query(connection);
        try {
            readTables(query);
        } catch (const std::exception &) {
            m_marker = QStringLiteral("K19");
            if (m_showDatabaseErrors)
                throw;
        }
        m_marker = QStringLiteral("K20");
        query.close();
        connection.close();
        m_marker = QStringLiteral("K21");
    }

    void readTables(HostQuery &query)
    {
        m_marker = QStringLiteral("K6");
        run(query, QStringLiteral("SELECT * from VORN_IMP_INI"));
        m_marker = QStringLiteral("K9");
        m_messenger.debugLog(QStringLiteral("K9"));
        readConfiguredEndpoint(query);

        m_marker = QStringLiteral("K10");
        run(query, QStringLiteral("Select VREDNOST from INISET where Kljuc='SfVpVornTransaImport' "));
        m_marker = QStringLiteral("K11");
        if (!query.eof())
            m_configuration.TransaImportPreferred = query.fieldText(QStringLiteral("VREDNOST")) == u"D";
        run(query, QStringLiteral("Select VREDNOST from INISET where upper(Kljuc)='OZNAKACLANA' "));
        m_marker = QStringLiteral("K12");
        if (!query.eof())
            m_configuration.OwnMemberCode = query.fieldText(QStringLiteral("VREDNOST"));
        m_messenger.debugLog(QStringLiteral("OznakaClana: ") + m_configuration.OwnMemberCode);

        m_marker = QStringLiteral("K16");
        run(query, QStringLiteral("SELECT * from VORN_REMOTECLAN"));
        m_marker = QStringLiteral("K17");
        readRemoteMembers(query);
        m_marker = QStringLiteral("K18");
    }

    static void run(HostQuery &query, const QString &statement)
    {
        query.close();
        query.clearSql();
        query.addSql(statement);
        query.open();
    }

    void readConfiguredEndpoint(HostQuery &query)
    {
        Endpoint &endpoint = m_configuration.ConfiguredEndpoint;
        for (; !query.eof(); query.next()) {
            const QString key = query.fieldText(QStringLiteral("KEY")).toUpper();
            for (const EndpointKey &candidate : endpointKeys) {
                if (key == QLatin1String(candidate.key))
                    endpoint.*candidate.field = query.fieldText(QStringLiteral("VALUE"));
            }
            if (!endpoint.VornUri.isEmpty() && !endpoint.VornUri.endsWith(u'/'))
                endpoint.VornUri += u'/';
        }
        for (const QString &value :
             {endpoint.VornProtocol, endpoint.VornUri, endpoint.VornMemberCode,
              endpoint.CertificateSubjectKeyID, endpoint.CertificatePath, endpoint.CertificateStorage})
            m_messenger.debugLog(value);
        m_messenger.debugLog(QStringLiteral("K10"));
    }

    void readRemoteMembers(HostQuery &query)
    {
        int row = 0;
        for (; !query.eof() && row < RemoteMemberCapacity; query.next(), ++row) {
            // The whole record is read before it is stored, so a missing column leaves no half record.
            tVorn_remoteClan member;
            member.VornMemberCode = query.fieldText(QStringLiteral("VornMemberCode"));
            member.VornProtocol = query.fieldText(QStringLiteral("VornProtocol"));
            member.VornUri = query.fieldText(QStringLiteral("VornUri"));
            member.CertificateSubjectKeyID = query.fieldText(QStringLiteral("CertificateSubjectKeyID"));
            member.CertificatePath = query.fieldText(QStringLiteral("CertificatePath"));
            member.CertificateStorage = query.fieldText(QStringLiteral("CertificateStorage"));
            m_configuration.RemoteMembers[row] = member;
            m_configuration.MemberBoxItems << member.VornMemberCode;
        }
        if (const int leftOut = query.recordCount() - row; leftOut > 0)
            m_messenger.debugLog(
                QStringLiteral("VORN_REMOTECLAN: %1 rows left out, the remote member table holds %2")
                    .arg(leftOut)
                    .arg(RemoteMemberCapacity));
    }

    const bool m_showDatabaseErrors;
    Messenger &m_messenger;
    QString m_marker;
    HostConfiguration m_configuration;
};
} // namespace

HostConfiguration ReadHostConfiguration(const DatabaseLogin &login, bool showDatabaseErrors,
                                        Messenger &messenger)
{
    return HostConfigurationReader(showDatabaseErrors, messenger).read(login);
}
