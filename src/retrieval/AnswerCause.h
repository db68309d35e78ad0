#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

// The status code of an answer's status line ("HTTP/1.1 400 Bad Request" gives 400); 0 without one.
int HttpStatusOf(const QStringList &headerLines);

// The readable text of an error page on one line: scripts, styles and tags left out, entities and blanks
// reduced, cut to at most maxLength characters (ending with "...").
QString ErrorPageText(const QByteArray &html, qsizetype maxLength = 300);

// The log line of an answer that brought no report: the HTTP status line and the page's text.
QString NoReportLine(const QStringList &headerLines, const QByteArray &body);

// An archive in the debug log: its size and its first bytes in hexadecimal.
QString ArchiveExcerpt(const QByteArray &body, qsizetype bytes = 32);

// The log line that starts a fetch: "Fetching <report> for <member> from <host> (<from>–<to>)".
QString FetchStartLine(const QString &reportType, const QString &member, const QString &url,
                       const QDate &from, const QDate &to);
