#include "host/HostDatabase.h"

#include "common/Exception.h"
#include "host/HostAlias.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

namespace {
QString engineMessage(const QSqlError &error)
{
    const QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("Unknown database error") : text;
}

QString nextConnectionName()
{
    static int counter = 0;
    return QStringLiteral("vorn-host-%1").arg(++counter);
}

QString qtDriverName(HostAlias::Driver driver)
{
    switch (driver) {
    case HostAlias::Driver::SQLite:
        return QStringLiteral("QSQLITE");
    case HostAlias::Driver::PostgreSQL:
        return QStringLiteral("QPSQL");
    case HostAlias::Driver::Odbc:
        return QStringLiteral("QODBC");
    }
    return {};
}

// Qt's ODBC driver appends ";UID=" and ";PWD=" with the values as they are, so a ';' in a password would
// end it and start another attribute of the connection string (a "Database=" of the password's choosing,
// say). A value in braces is taken whole, with "}}" standing for '}'. The PostgreSQL ODBC driver takes
// the user name literally, braces included, so a user name that would end its attribute is refused.
void configureOdbcLogin(QSqlDatabase &db, const HostAlias &alias, const QString &userName,
                        const QString &password)
{
    if (userName.contains(u';'))
        throw EDatabaseError(
            QStringLiteral("Alias %1: an ODBC user name cannot contain \";\"").arg(alias.name));
    db.setUserName(userName);
    if (!password.isEmpty())
        db.setPassword(u'{' + QString(password).replace(u'}', QStringLiteral("}}")) + u'}');
}

void configure(QSqlDatabase &db, const HostAlias &alias, const QString &userName, const QString &password)
{
    if (alias.driver == HostAlias::Driver::SQLite) {
        if (!QFileInfo(alias.database).isFile())
            throw EDatabaseError(QStringLiteral("Alias %1: the SQLite database %2 does not exist")
                                     .arg(alias.name, alias.database));
        // Opened by URI with mode=rw, so that SQLite never creates a missing file (Qt asks it to by default).
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        db.setDatabaseName(QUrl::fromLocalFile(alias.database).toString(QUrl::FullyEncoded) +
                           QStringLiteral("?mode=rw"));
        return;
    }
    db.setDatabaseName(alias.database);
    if (alias.driver == HostAlias::Driver::Odbc) {
        configureOdbcLogin(db, alias, userName, password);
        return; // the data source names the server
    }
    db.setUserName(userName);
    db.setPassword(password);
    if (!alias.host.isEmpty())
        db.setHostName(alias.host);
    if (alias.port > 0)
        db.setPort(alias.port);
    if (alias.driver == HostAlias::Driver::PostgreSQL)
        db.setConnectOptions(QStringLiteral("connect_timeout=15"));
}
} // namespace

HostConnection::HostConnection() = default;

HostConnection::~HostConnection()
{
    close();
}

void HostConnection::setAlias(const QString &alias)
{
    m_alias = alias.toUpper();
}

void HostConnection::setParams(const QStringList &lines)
{
    m_userName.clear();
    m_password.clear();
    for (const QString &line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        const QString name = line.left(equals).trimmed();
        if (equals < 0)
            continue;
        if (name.compare(QLatin1String("USER NAME"), Qt::CaseInsensitive) == 0)
            m_userName = line.mid(equals + 1);
        else if (name.compare(QLatin1String("PASSWORD"), Qt::CaseInsensitive) == 0)
            m_password = line.mid(equals + 1);
    }
}

void HostConnection::open()
{
    close();
    const HostAlias alias = ResolveHostAlias(m_alias);
    const QString name = nextConnectionName();
    try {
        QSqlDatabase db = QSqlDatabase::addDatabase(qtDriverName(alias.driver), name);
        if (!db.isValid())
            throw EDatabaseError(QStringLiteral("Alias %1: the database driver %2 is not available")
                                     .arg(alias.name, qtDriverName(alias.driver)));
        configure(db, alias, m_userName, m_password);
        if (!db.open())
            throw EDatabaseError(engineMessage(db.lastError()));
        if (alias.driver == HostAlias::Driver::SQLite) {
            // SQLite reads the file lazily: make a file that is no database fail here, not at the first
            // query.
            QSqlQuery probe(db);
            if (!probe.exec(QStringLiteral("PRAGMA schema_version")))
                throw EDatabaseError(engineMessage(probe.lastError()));
        }
    } catch (...) {
        QSqlDatabase::removeDatabase(name);
        throw;
    }
    m_connectionName = name;
}

bool HostConnection::isOpen() const
{
    return !m_connectionName.isEmpty();
}

void HostConnection::close()
{
    if (m_connectionName.isEmpty())
        return;
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
}

HostQuery::HostQuery(HostConnection &connection) : m_connection(connection) {}

HostQuery::~HostQuery() = default;

void HostQuery::clearSql()
{
    close();
    m_sql.clear();
    m_bindings.clear();
}

void HostQuery::addSql(const QString &line)
{
    m_sql << line;
}

void HostQuery::bind(const QString &name, const QVariant &value)
{
    for (auto &binding : m_bindings) {
        if (binding.first.compare(name, Qt::CaseInsensitive) == 0) {
            binding.second = value;
            return;
        }
    }
    m_bindings.append({name, value});
}

void HostQuery::bindDate(const QString &name, const QDate &date)
{
    bind(name, QVariant(date));
}

void HostQuery::bindText(const QString &name, const QString &value)
{
    bind(name, QVariant(value));
}

QSqlQuery &HostQuery::preparedStatement()
{
    QStringList names;
    names.reserve(m_bindings.size());
    for (const auto &binding : std::as_const(m_bindings))
        names << binding.first;
    // The same names rebind every parameter bound before, so no value of an earlier run stays.
    if (m_statement && m_statementConnection == m_connection.connectionName() && m_statementLines == m_sql &&
        m_statementNames == names)
        return *m_statement;
    m_statement.reset();
    const QString sql = m_sql.join(u'\n');
    const QSqlDatabase database = QSqlDatabase::database(m_connection.connectionName(), false);
    auto statement = std::make_unique<QSqlQuery>(database);
    statement->setForwardOnly(true);
    // Qt binds a named parameter at every place it occurs, also on engines without named parameters.
    if (!statement->prepare(sql))
        throw EDatabaseError(engineMessage(statement->lastError()));
    m_statement = std::move(statement);
    m_statementLines = m_sql;
    m_statementConnection = m_connection.connectionName();
    m_statementNames = names;
    m_placeholders.clear();
    for (const QString &name : std::as_const(names))
        m_placeholders << u':' + name;
    m_datesAsText = database.driverName() == u"QSQLITE";
    return *m_statement;
}

QVariant HostQuery::engineValue(const QVariant &value)
{
    if (!m_datesAsText || value.typeId() != QMetaType::QDate)
        return value;
    // The text SQLite's driver would make of the date itself, through a general conversion that
    // costs more than the look-up's statement; a conversion binds the same few dates again and again.
    const QDate date = value.toDate();
    if (!date.isValid())
        return value.toString();
    QString &text = m_dateTexts[date.toJulianDay()];
    if (text.isNull())
        text = value.toString();
    return text;
}

void HostQuery::open()
{
    close();
    if (!m_connection.isOpen())
        throw EDatabaseError(QStringLiteral("Database is not open"));
    QSqlQuery &query = preparedStatement();
    for (qsizetype i = 0; i < m_bindings.size(); ++i)
        query.bindValue(m_placeholders[i], engineValue(m_bindings[i].second));
    if (!query.exec()) {
        const QString message = engineMessage(query.lastError());
        m_statement.reset(); // prepared afresh next time, as a failed statement may be in any state
        throw EDatabaseError(message);
    }
    m_columns = query.record();
    const int columnCount = m_columns.count();
    while (query.next()) {
        for (int i = 0; i < columnCount; ++i)
            m_values << query.value(i);
        ++m_rowCount;
    }
    // Releases the engine's cursor (and SQLite's read lock) while keeping the statement prepared.
    query.finish();
    m_position = 0;
    m_open = true;
}

bool HostQuery::eof() const
{
    return m_position >= m_rowCount;
}

int HostQuery::recordCount()
{
    return int(m_rowCount);
}

void HostQuery::first()
{
    m_position = 0;
}

void HostQuery::next()
{
    if (m_position < m_rowCount)
        ++m_position;
}

QString HostQuery::fieldText(const QString &column) const
{
    const QVariant value = fieldValue(column);
    return value.isNull() ? QString() : value.toString();
}

QVariant HostQuery::fieldValue(const QString &column) const
{
    if (eof())
        throw EDatabaseError(QStringLiteral("No current record for field '%1'").arg(column));
    const int columnCount = m_columns.count();
    for (int i = 0; i < columnCount; ++i) {
        if (m_columns.fieldName(i).compare(column, Qt::CaseInsensitive) == 0)
            return m_values[m_position * columnCount + i];
    }
    throw EDatabaseError(QStringLiteral("Field '%1' not found").arg(column));
}

void HostQuery::close()
{
    m_values.clear();
    m_rowCount = 0;
    m_position = 0;
    m_open = false;
}

namespace {
// Long enough to spread a transaction's cost over thousands of statements, short enough that a writer
// waiting for SQLite's lock does not notice.
constexpr qint64 kReadBatchMilliseconds = 100;
} // namespace

HostReadBatch::HostReadBatch(HostConnection &connection) : m_connection(connection) {}

HostReadBatch::~HostReadBatch()
{
    end();
}

void HostReadBatch::endIfDue()
{
    if (m_held.isValid() && m_held.hasExpired(kReadBatchMilliseconds))
        end();
}

void HostReadBatch::enter()
{
    endIfDue();
    if (m_held.isValid())
        return;
    if (!m_connection.isOpen())
        return;
    QSqlDatabase database = QSqlDatabase::database(m_connection.connectionName(), false);
    if (m_checkedConnection != m_connection.connectionName()) {
        m_checkedConnection = m_connection.connectionName();
        m_batches = database.driverName() == u"QSQLITE";
    }
    // A transaction that cannot begin leaves the statements in autocommit, as they would be anyway.
    if (m_batches && database.transaction())
        m_held.start();
}

void HostReadBatch::end()
{
    if (!m_held.isValid())
        return;
    m_held.invalidate();
    if (!m_connection.isOpen() || m_connection.connectionName() != m_checkedConnection)
        return;
    QSqlDatabase database = QSqlDatabase::database(m_connection.connectionName(), false);
    if (!database.commit())
        database.rollback();
}
