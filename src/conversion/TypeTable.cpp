#include "TypeTable.h"

#include "common/Exception.h"
#include "common/FileAccess.h"
#include "conversion/Windows1250.h"

#include <QFile>
#include <QRegularExpression>

namespace {

bool isSeparatorBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

bool isBlankLine(QStringView line)
{
    for (const QChar c : line) {
        if (c.unicode() > 32)
            return false;
    }
    return true;
}

// A whole number in decimal with an optional sign; 0 for anything else.
int wholeNumberOrZero(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok && !text.isEmpty() && !text.front().isSpace() && !text.back().isSpace() ? value : 0;
}

} // namespace

TypeTable TypeTable::load(const QString &path)
{
    QFile file(path);
    if (const QString reason = openRegularFileForReading(file); !reason.isEmpty())
        throw EFOpenError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = fromWindows1250(file.readAll()).split(lineBreak);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // the break after the last line ends it, it does not start another
    return TypeTable(std::move(lines));
}

QStringList TypeTable::splitRow(QStringView line)
{
    // A NUL ends the row, as the end of the text does.
    const qsizetype nul = line.indexOf(QChar(0));
    if (nul >= 0)
        line = line.left(nul);
    QStringList fields;
    qsizetype pos = 0;
    const qsizetype size = line.size();
    while (pos < size && isSeparatorBlank(line[pos]))
        ++pos;
    while (pos < size) {
        QString field;
        if (line[pos] == u'"') {
            ++pos;
            while (pos < size) {
                if (line[pos] == u'"') {
                    if (pos + 1 < size && line[pos + 1] == u'"') {
                        field.append(u'"');
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                field.append(line[pos++]);
            }
        } else {
            const qsizetype start = pos;
            while (pos < size && line[pos] != u',' && !isSeparatorBlank(line[pos]))
                ++pos;
            field = line.mid(start, pos - start).toString();
        }
        fields.append(field);
        while (pos < size && isSeparatorBlank(line[pos]))
            ++pos;
        if (pos < size && line[pos] == u',') {
            if (pos + 1 == size)
                fields.append(QString());
            ++pos;
            while (pos < size && isSeparatorBlank(line[pos]))
                ++pos;
        }
    }
    return fields;
}

QString TypeTable::CsvField(QStringView line, int n)
{
    return n >= 1 ? splitRow(line).value(n - 1) : QString();
}

TypeLookup TypeTable::FindType(const QString &code, int direction) const
{
    TypeLookup result;
    const QString wanted = code.toUpper();
    for (const QString &line : m_lines) {
        if (isBlankLine(line))
            break;
        const QStringList fields = splitRow(line);
        if (fields.value(0).toUpper() != wanted)
            continue;
        result.found = true;
        result.fifthFlag = fields.value(4);
        result.sixthFlag = fields.value(5);
        result.kind = wholeNumberOrZero(fields.value(1));
        result.direction = wholeNumberOrZero(fields.value(direction == 1 ? 2 : 3));
        return result;
    }
    return result;
}
