#include "retrieval/AnswerCause.h"

#include <QRegularExpression>
#include <QUrl>

int HttpStatusOf(const QStringList &headerLines)
{
    static const QRegularExpression statusLine(QStringLiteral("^HTTP/\\S+\\s+(\\d{3})"));
    for (const QString &line : headerLines) {
        const QRegularExpressionMatch match = statusLine.match(line);
        if (match.hasMatch())
            return match.captured(1).toInt();
    }
    return 0;
}

QString ErrorPageText(const QByteArray &html, qsizetype maxLength)
{
    static const QRegularExpression hidden(QStringLiteral("<(script|style|head)\\b.*?</\\1\\s*>"),
                                           QRegularExpression::CaseInsensitiveOption |
                                               QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString text = QString::fromUtf8(html);
    text.remove(hidden);
    text.replace(tag, QStringLiteral(" "));
    text.replace(QStringLiteral("&nbsp;"), QStringLiteral(" "))
        .replace(QStringLiteral("&lt;"), QStringLiteral("<"))
        .replace(QStringLiteral("&gt;"), QStringLiteral(">"))
        .replace(QStringLiteral("&quot;"), QStringLiteral("\""))
        .replace(QStringLiteral("&#39;"), QStringLiteral("'"))
        .replace(QStringLiteral("&amp;"), QStringLiteral("&"));
    text = text.simplified();
    if (text.size() > maxLength)
        text = text.left(maxLength - 3).trimmed() + QStringLiteral("...");
    return text;
}

QString NoReportLine(const QStringList &headerLines, const QByteArray &body)
{
    const QString status = headerLines.isEmpty() ? QStringLiteral("no status") : headerLines.first();
    const QString text = ErrorPageText(body);
    return QStringLiteral("The depository sent no report (%1)%2; see the page \"Vorn Error\", check the "
                          "member, the period and the client certificate.")
        .arg(status, text.isEmpty() ? QString() : QStringLiteral(": ") + text);
}

QString ArchiveExcerpt(const QByteArray &body, qsizetype bytes)
{
    return QStringLiteral("(archive of %1 bytes: %2%3)")
        .arg(body.size())
        .arg(QString::fromLatin1(body.left(bytes).toHex(' ')))
        .arg(body.size() > bytes ? QStringLiteral(" ...") : QString());
}

QString FetchStartLine(const QString &reportType, const QString &member, const QString &url,
                       const QDate &from, const QDate &to)
{
    const QUrl parsed(url);
    const QString host =
        parsed.port() > 0 ? parsed.host() + u':' + QString::number(parsed.port()) : parsed.host();
    const QString format = QStringLiteral("d.M.yyyy");
    return QStringLiteral("Fetching %1 for %2 from %3 (%4–%5)")
        .arg(reportType, member, host, from.toString(format), to.toString(format));
}
