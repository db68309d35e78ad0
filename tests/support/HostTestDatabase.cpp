#include "HostTestDatabase.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <stdexcept>

namespace {
QString uniqueName(const char *prefix)
{
    static int counter = 0;
    return QStringLiteral("%1_%2_%3")
        .arg(QLatin1String(prefix))
        .arg(QCoreApplication::applicationPid())
        .arg(++counter);
}

void run(const QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (!query.exec(statement))
        throw std::runtime_error("setup statement failed: " + statement.toStdString() + ": " +
                                 query.lastError().text().toStdString());
}

QSqlDatabase openPostgres(const QString &connectionName, const PostgresTestServer &server,
                          const QString &database)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
    db.setHostName(server.host);
    db.setPort(server.port);
    db.setUserName(server.user);
    db.setDatabaseName(database);
    if (!db.open())
        throw std::runtime_error("cannot connect to the PostgreSQL test server: " +
                                 db.lastError().text().toStdString());
    return db;
}

// Creates or drops a database through a short administration connection.
void administer(const PostgresTestServer &server, const QString &statement)
{
    const QString name = uniqueName("vorn_admin");
    {
        QSqlDatabase db = openPostgres(name, server, server.database);
        run(db, statement);
    }
    QSqlDatabase::removeDatabase(name);
}
} // namespace

std::string hostEngineName(HostEngine engine)
{
    switch (engine) {
    case HostEngine::SQLite:
        return "SQLite";
    case HostEngine::PostgreSQL:
        return "PostgreSQL";
    case HostEngine::ODBC:
        return "ODBC";
    }
    return "unknown";
}

void PrintTo(HostEngine engine, std::ostream *os)
{
    *os << hostEngineName(engine);
}

HostTestDatabase::HostTestDatabase(HostEngine engine, const QString &alias) : m_engine(engine), m_alias(alias)
{
    m_connectionName = uniqueName("vorn_setup");
    if (engine == HostEngine::SQLite) {
        const QString path = m_folder.filePath(QStringLiteral("host.sqlite"));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(path);
        if (!db.open())
            throw std::runtime_error("cannot create " + path.toStdString());
        m_aliasFile = std::make_unique<ScopedAliasFile>(m_folder.filePath(QStringLiteral("aliases.ini")),
                                                        ScopedAliasFile::sqliteSection(alias, path));
        return;
    }
    const auto server = PostgresTestServer::fromEnvironment();
    if (!server)
        throw std::runtime_error("no PostgreSQL test server configured");
    if (engine == HostEngine::ODBC && server->odbcDataSource.isEmpty())
        throw std::runtime_error("no ODBC data source for the PostgreSQL test server configured");
    m_postgresDatabase = uniqueName("vorn_test");
    administer(*server, QStringLiteral("CREATE DATABASE ") + m_postgresDatabase);
    openPostgres(m_connectionName, *server, m_postgresDatabase);
    m_aliasFile = std::make_unique<ScopedAliasFile>(
        m_folder.filePath(QStringLiteral("aliases.ini")),
        engine == HostEngine::ODBC ? ScopedAliasFile::odbcSection(alias, *server, m_postgresDatabase)
                                   : ScopedAliasFile::postgresSection(alias, *server, m_postgresDatabase));
}

HostTestDatabase::~HostTestDatabase()
{
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
    if (!m_postgresDatabase.isEmpty()) {
        try {
            administer(*PostgresTestServer::fromEnvironment(),
                       QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_postgresDatabase));
        } catch (const std::exception &) {
            // The whole cluster is removed after the run; a database left behind does no harm.
        }
    }
}

void HostTestDatabase::exec(const QString &statements)
{
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    for (const QString &statement : statements.split(u';', Qt::SkipEmptyParts)) {
        if (!statement.trimmed().isEmpty())
            run(db, statement);
    }
}

void HostTestDatabase::execScript(const QString &path)
{
    QFile script(path);
    if (!script.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    QString text = QString::fromUtf8(script.readAll());
    text.remove(QRegularExpression(QStringLiteral("--[^\n]*")));
    exec(text);
}

void HostTestDatabase::createHostTables()
{
    execScript(QStringLiteral(VORN_HOST_SCHEMA));
}
