#pragma once

#include <memory>
#include <QDate>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QStringList>
#include <QVariant>

class QSqlQuery;

// The host's database, reached by alias (see HostAlias.h) through Qt Sql. Failures throw EDatabaseError
// with the engine's message. Used on one thread; each user keeps its own connection and queries.

// One connection to the host database, by alias.
class HostConnection
{
public:
    HostConnection();
    ~HostConnection(); // closes

    // The alias is looked up in upper case; sections of the alias file match without regard to case.
    void setAlias(const QString &alias);
    // Exactly the lines "USER NAME=<user>" and "PASSWORD=<password>"; SQLite ignores them.
    void setParams(const QStringList &lines);
    // Throws EDatabaseError with the engine's message, or the alias resolution's message. A SQLite
    // database file that does not exist is an open failure: it is never created.
    void open();
    bool isOpen() const;
    void close();

    // The Qt Sql connection name while open (for HostQuery).
    QString connectionName() const { return m_connectionName; }

    HostConnection(const HostConnection &) = delete;
    HostConnection &operator=(const HostConnection &) = delete;

private:
    QString m_alias;
    QString m_userName;
    QString m_password;
    QString m_connectionName; // empty while closed
};

// A statement on a connection. Opening it runs the statement and keeps its rows in order, so the row
// count is known on every engine. A statement opened again with the same text and parameter names is
// run again without being prepared anew.
class HostQuery
{
public:
    explicit HostQuery(HostConnection &connection);
    ~HostQuery();

    void clearSql(); // also forgets the bound parameters
    // The statement text is the lines appended in order, one per line.
    void addSql(const QString &line);
    // Binds ":<name>" wherever it occurs in the statement; a date binds without time of day.
    void bindDate(const QString &name, const QDate &date);
    void bindText(const QString &name, const QString &value);
    // Throws EDatabaseError with the engine's message; a statement without rows opens normally.
    void open();
    bool isOpen() const { return m_open; }
    bool eof() const; // past the last row (always true while closed)
    int recordCount();
    void first();
    void next();
    // A column of the current row as text, found by name without regard to case; null reads as "".
    // Throws EDatabaseError for an unknown column or when there is no current row.
    QString fieldText(const QString &column) const;
    // The same as the engine's driver gives it (a null value for null).
    QVariant fieldValue(const QString &column) const;
    void close();

    HostQuery(const HostQuery &) = delete;
    HostQuery &operator=(const HostQuery &) = delete;

private:
    void bind(const QString &name, const QVariant &value);
    // The statement of the current text on the current connection, prepared when it is not yet.
    QSqlQuery &preparedStatement();
    // A bound value as handed to the engine.
    QVariant engineValue(const QVariant &value);

    HostConnection &m_connection;
    QStringList m_sql;
    QList<std::pair<QString, QVariant>> m_bindings;

    std::unique_ptr<QSqlQuery> m_statement;
    QStringList m_statementLines;       // the text it was prepared from, as added
    QString m_statementConnection;      // the connection it was prepared on
    QStringList m_statementNames;       // the parameters bound at its last run, in order
    QStringList m_placeholders;         // the same as ":name"
    bool m_datesAsText = false;         // dates are bound as the text the engine's driver makes of them
    QHash<qint64, QString> m_dateTexts; // by Julian day

    QSqlRecord m_columns;     // of the rows read
    QList<QVariant> m_values; // the rows read, one after another
    qsizetype m_rowCount = 0;
    qsizetype m_position = 0;
    bool m_open = false;
};

// Groups the reading statements that follow into read transactions on engines where every statement
// would otherwise pay for one of its own: SQLite takes and releases its file lock, and looks for a
// journal left by a crash, for each statement. A transaction is held for a moment at most, so a writer
// of the host database never waits for a whole conversion. Other engines stay in autocommit.
class HostReadBatch
{
public:
    explicit HostReadBatch(HostConnection &connection);
    ~HostReadBatch(); // ends the transaction held

    // Before a statement: begins a transaction, or ends one held longer than a moment and begins anew.
    void enter();
    // Between statements: ends a transaction held longer than a moment, so the lock is not kept
    // through work that runs no statement.
    void endIfDue();
    // Ends the transaction held, if any: before closing, or after a failed statement so that the next
    // one starts afresh as it would in autocommit.
    void end();

    HostReadBatch(const HostReadBatch &) = delete;
    HostReadBatch &operator=(const HostReadBatch &) = delete;

private:
    HostConnection &m_connection;
    QString m_checkedConnection; // the connection whose engine m_batches describes
    bool m_batches = false;
    QElapsedTimer m_held; // valid while a transaction is held
};
