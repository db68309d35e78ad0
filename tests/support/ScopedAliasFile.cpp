#include "ScopedAliasFile.h"

#include "PostgresTestServer.h"

#include <QFile>
#include <stdexcept>

ScopedAliasFile::ScopedAliasFile(const QString &path, const QByteArray &contents)
    : m_path(path), m_previous(qgetenv("VORNIMPORT_ALIASES")),
      m_hadPrevious(qEnvironmentVariableIsSet("VORNIMPORT_ALIASES"))
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        throw std::runtime_error("cannot write " + path.toStdString());
    qputenv("VORNIMPORT_ALIASES", path.toLocal8Bit());
}

ScopedAliasFile::~ScopedAliasFile()
{
    if (m_hadPrevious)
        qputenv("VORNIMPORT_ALIASES", m_previous);
    else
        qunsetenv("VORNIMPORT_ALIASES");
}

QByteArray ScopedAliasFile::sqliteSection(const QString &alias, const QString &databasePath)
{
    return QStringLiteral("[%1]\r\nDriver=SQLITE\r\nDatabase=%2\r\n").arg(alias, databasePath).toUtf8();
}

QByteArray ScopedAliasFile::postgresSection(const QString &alias, const PostgresTestServer &server,
                                            const QString &database)
{
    return QStringLiteral("[%1]\r\nDriver=POSTGRESQL\r\nDatabase=%2\r\nHost=%3\r\nPort=%4\r\n")
        .arg(alias, database, server.host)
        .arg(server.port)
        .toUtf8();
}

QByteArray ScopedAliasFile::odbcSection(const QString &alias, const PostgresTestServer &server,
                                        const QString &database)
{
    // Attributes of the connection string override those of the data source.
    return QStringLiteral("[%1]\r\nDriver=ODBC\r\nDatabase=%2;Database=%3\r\n")
        .arg(alias, server.odbcDataSource, database)
        .toUtf8();
}
