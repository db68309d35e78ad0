#pragma once

#include <QString>
#include <QStringList>

// One row of the type table as the transactions converters read it.
struct TypeLookup
{
    bool found = false;
    int kind = 0;
    int direction = 0;
    QString fifthFlag; // meaningful only when found; otherwise the caller keeps its own
    QString sixthFlag = "N";
};

// The type table "tipi.ini": one row per line, fields split by commas or blanks, with
// double-quoted fields that may hold either.
class TypeTable
{
public:
    TypeTable() = default;
    explicit TypeTable(QStringList lines) : m_lines(std::move(lines)) {}

    // Reads every line of the file, blank lines included. Throws EFOpenError
    // "Cannot open file "<path>". <reason>".
    static TypeTable load(const QString &path);

    // Field n (from 1) of a row; empty when the row has no such field.
    static QString CsvField(QStringView line, int n);
    static QStringList splitRow(QStringView line);

    // The first row whose type code matches, ignoring letter case. The search ends at the
    // first blank line: rows after it are never found.
    TypeLookup FindType(const QString &code, int direction) const;

    const QStringList &lines() const { return m_lines; }

private:
    QStringList m_lines;
};
