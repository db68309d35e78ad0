#include "export/XlsWorkbook.h"

#include "common/Exception.h"
#include "common/FileAccess.h"
#include "export/CompoundFile.h"

#include <algorithm>
#include <cmath>
#include <QHash>
#include <QtEndian>

namespace {

constexpr int kMaxRows = XlsWorkbook::MaxRows;
constexpr int kMaxColumns = 256;
constexpr int kMaxTextLength = XlsWorkbook::MaxTextLength;
constexpr qsizetype kMaxRecordData = 8224;

constexpr quint16 kBof = 0x0809;
constexpr quint16 kEof = 0x000A;
constexpr quint16 kCodePage = 0x0042;
constexpr quint16 kWindow1 = 0x003D;
constexpr quint16 kFont = 0x0031;
constexpr quint16 kXf = 0x00E0;
constexpr quint16 kStyle = 0x0293;
constexpr quint16 kBoundSheet = 0x0085;
constexpr quint16 kSst = 0x00FC;
constexpr quint16 kContinue = 0x003C;
constexpr quint16 kExtSst = 0x00FF;
constexpr quint16 kDefColWidth = 0x0055;
constexpr quint16 kColInfo = 0x007D;
constexpr quint16 kDimensions = 0x0200;
constexpr quint16 kRow = 0x0208;
constexpr quint16 kLabelSst = 0x00FD;
constexpr quint16 kBlank = 0x0201;
constexpr quint16 kWindow2 = 0x023E;

constexpr quint16 kAutomaticColour = 0x7FFF;
constexpr quint16 kDefaultCellXf = 15; // after the 15 style records every workbook starts with
constexpr quint16 kFirstOwnXf = 16;
constexpr quint16 kFirstOwnFont = 5; // font index 4 does not exist in the format
constexpr int kDefaultFonts = 4;

void add8(QByteArray &bytes, quint8 value)
{
    bytes.append(char(value));
}

void add16(QByteArray &bytes, quint16 value)
{
    char buffer[2];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, 2);
}

void add32(QByteArray &bytes, quint32 value)
{
    char buffer[4];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, 4);
}

bool fitsLatin1(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
}

// The characters in one byte each (Latin-1) or in two (UTF-16 little-endian).
void addCharacters(QByteArray &bytes, QStringView text, bool wide)
{
    for (const QChar c : text) {
        if (wide)
            add16(bytes, c.unicode());
        else
            add8(bytes, quint8(c.unicode()));
    }
}

// A string with a one-byte length, as the font and sheet names are stored.
void addShortString(QByteArray &bytes, const QString &text)
{
    const bool wide = !fitsLatin1(text);
    add8(bytes, quint8(text.size()));
    add8(bytes, wide ? 1 : 0);
    addCharacters(bytes, text, wide);
}

// The workbook stream as it grows: records of a type and their data.
class RecordStream
{
public:
    qsizetype size() const { return m_bytes.size(); }
    void add(quint16 type, const QByteArray &data)
    {
        add16(m_bytes, type);
        add16(m_bytes, quint16(data.size()));
        m_bytes += data;
    }
    void patch32(qsizetype at, quint32 value) { qToLittleEndian(value, m_bytes.data() + at); }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

QByteArray bof(quint16 substreamType)
{
    QByteArray data;
    add16(data, 0x0600); // BIFF8
    add16(data, substreamType);
    add16(data, 0x0DBB); // build and year of the application that wrote it
    add16(data, 0x07CC);
    add32(data, 0);
    add32(data, 0x06); // lowest version that reads the file
    return data;
}

QByteArray font(std::optional<quint16> colour, bool bold)
{
    QByteArray data;
    add16(data, 200); // 10 points in twips
    add16(data, 0);
    add16(data, colour.value_or(kAutomaticColour));
    add16(data, bold ? 700 : 400);
    add16(data, 0); // no super- or subscript
    add8(data, 0);  // no underline
    add8(data, 2);  // family: swiss
    add8(data, 0);  // character set: ANSI
    add8(data, 0);
    addShortString(data, QStringLiteral("Arial"));
    return data;
}

// An XF record: a style record (the parent of cells) or a cell record with a font and a fill.
QByteArray xf(bool style, quint16 fontIndex, std::optional<quint16> fill)
{
    QByteArray data;
    add16(data, fontIndex);
    add16(data, 0);                       // number format "General"
    add16(data, style ? 0xFFF5 : 0x0001); // locked; a style has no parent, a cell the Normal style
    add8(data, 0x20);                     // aligned at the bottom
    add8(data, 0);
    add8(data, 0);
    add8(data, style ? 0 : 0xF8);        // a cell's font, alignment, borders, fill and protection are its own
    add32(data, 0);                      // no borders
    add32(data, fill ? (1u << 26) : 0u); // fill pattern 1: solid
    add16(data, quint16(fill.value_or(64) | (65 << 7))); // foreground colour, system background
    return data;
}

QByteArray colInfo(int column, double characters)
{
    // The file keeps the width with the cell's padding of 5 pixels at a digit width of 7 pixels,
    // in 1/256 of a digit: the spreadsheet shows 15 for 4022.
    const auto width = quint16(std::min(65535.0, std::floor((characters * 7 + 5) / 7 * 256)));
    QByteArray data;
    add16(data, quint16(column));
    add16(data, quint16(column));
    add16(data, width);
    add16(data, kDefaultCellXf);
    add16(data, 0x0002); // a width of its own
    add16(data, 0);
    return data;
}

// The shared string table: its SST record and the CONTINUE records that take what does not fit,
// with the EXTSST index of every bucket's first string. A string's header is never split; its
// characters continue in the next record after a byte that says whether they are wide.
void addSharedStrings(RecordStream &stream, const QStringList &strings, quint32 references)
{
    QList<QByteArray> records{QByteArray()};
    add32(records.back(), references);
    add32(records.back(), quint32(strings.size()));

    const int perBucket = std::max<int>(8, int((strings.size() + 127) / 128));
    QList<std::pair<int, qsizetype>> bucketStarts; // record and offset of each bucket's first string

    for (qsizetype s = 0; s < strings.size(); ++s) {
        const QString &text = strings[s];
        const bool wide = !fitsLatin1(text);
        const qsizetype charSize = wide ? 2 : 1;
        if (records.back().size() + 3 + charSize > kMaxRecordData)
            records.append(QByteArray());
        if (s % perBucket == 0)
            bucketStarts.append({int(records.size() - 1), records.back().size()});
        add16(records.back(), quint16(text.size()));
        add8(records.back(), wide ? 1 : 0);
        QStringView rest(text);
        for (;;) {
            const qsizetype fits = (kMaxRecordData - records.back().size()) / charSize;
            const qsizetype count = std::min(fits, rest.size());
            addCharacters(records.back(), rest.left(count), wide);
            rest = rest.mid(count);
            if (rest.isEmpty())
                break;
            records.append(QByteArray());
            add8(records.back(), wide ? 1 : 0);
        }
    }

    QList<qsizetype> recordStarts;
    for (qsizetype r = 0; r < records.size(); ++r) {
        recordStarts.append(stream.size());
        stream.add(r == 0 ? kSst : kContinue, records[r]);
    }
    QByteArray index;
    add16(index, quint16(perBucket));
    for (const auto &[record, offset] : bucketStarts) {
        const qsizetype withinRecord = 4 + offset; // counted from the record's header
        add32(index, quint32(recordStarts[record] + withinRecord));
        add16(index, quint16(withinRecord));
        add16(index, 0);
    }
    stream.add(kExtSst, index);
}

} // namespace

XlsWorkbook::XlsWorkbook(const QString &sheetName) : m_sheetName(sheetName)
{
    if (sheetName.isEmpty() || sheetName.size() > 31)
        throw EConvertError(QStringLiteral("Invalid sheet name \"%1\"").arg(sheetName));
}

void XlsWorkbook::setColumnWidth(int column, double characters)
{
    if (column < 0 || column >= kMaxColumns || !(characters > 0 && characters <= 255))
        throw EConvertError(QStringLiteral("Invalid width %1 of column %2").arg(characters).arg(column));
    m_columnWidths[column] = characters;
}

XlsWorkbook::Cell &XlsWorkbook::cell(int row, int column)
{
    if (row < 0 || row >= kMaxRows || column < 0 || column >= kMaxColumns)
        throw EConvertError(QStringLiteral("Cell %1,%2 lies outside the sheet").arg(row).arg(column));
    return m_cells[{row, column}];
}

void XlsWorkbook::setText(int row, int column, const QString &text)
{
    if (text.size() > kMaxTextLength)
        throw EConvertError(QStringLiteral("The text of cell %1,%2 is longer than %3 characters")
                                .arg(row)
                                .arg(column)
                                .arg(kMaxTextLength));
    cell(row, column).text = text;
}

XlsCellFormat &XlsWorkbook::format(int row, int column)
{
    return cell(row, column).format;
}

QByteArray XlsWorkbook::workbookStream() const
{
    // The fonts and XF records the cells need, each distinct look once.
    std::map<std::pair<std::optional<quint16>, bool>, quint16> fonts;
    std::map<XlsCellFormat, quint16> xfs;
    QStringList strings;
    QHash<QString, quint32> stringIndex;
    quint32 references = 0;
    for (const auto &[position, cell] : m_cells) {
        const XlsCellFormat &look = cell.format;
        if (!look.isDefault() && !xfs.contains(look)) {
            if ((look.fontColour || look.bold) && !fonts.contains({look.fontColour, look.bold}))
                fonts.emplace(std::pair{look.fontColour, look.bold}, quint16(kFirstOwnFont + fonts.size()));
            xfs.emplace(look, quint16(kFirstOwnXf + xfs.size()));
        }
        if (!cell.text.isEmpty()) {
            ++references;
            if (!stringIndex.contains(cell.text)) {
                stringIndex.insert(cell.text, quint32(strings.size()));
                strings << cell.text;
            }
        }
    }

    RecordStream stream;
    stream.add(kBof, bof(0x0005));
    QByteArray codePage;
    add16(codePage, 1200); // strings are Unicode
    stream.add(kCodePage, codePage);
    QByteArray window1;
    for (const quint16 value : {0, 0, 0x3A5C, 0x1F40, 0x0038, 0, 0, 1, 0x0258})
        add16(window1, value);
    stream.add(kWindow1, window1);
    for (int i = 0; i < kDefaultFonts; ++i)
        stream.add(kFont, font(std::nullopt, false));
    // In index order: a map of looks is not ordered by index.
    std::vector<std::pair<std::optional<quint16>, bool>> fontsByIndex(fonts.size());
    for (const auto &[look, index] : fonts)
        fontsByIndex[index - kFirstOwnFont] = look;
    for (const auto &[colour, bold] : fontsByIndex)
        stream.add(kFont, font(colour, bold));
    for (int i = 0; i < kDefaultCellXf; ++i)
        stream.add(kXf, xf(true, 0, std::nullopt));
    stream.add(kXf, xf(false, 0, std::nullopt));
    std::vector<XlsCellFormat> xfsByIndex(xfs.size());
    for (const auto &[look, index] : xfs)
        xfsByIndex[index - kFirstOwnXf] = look;
    for (const XlsCellFormat &look : xfsByIndex) {
        const quint16 fontIndex = (look.fontColour || look.bold) ? fonts.at({look.fontColour, look.bold}) : 0;
        stream.add(kXf, xf(false, fontIndex, look.fillColour));
    }
    QByteArray normalStyle;
    add16(normalStyle, 0x8000); // built-in style of XF 0
    add8(normalStyle, 0);       // "Normal"
    add8(normalStyle, 0xFF);
    stream.add(kStyle, normalStyle);

    QByteArray boundSheet;
    add32(boundSheet, 0); // where the sheet starts, set below
    add8(boundSheet, 0);  // visible
    add8(boundSheet, 0);  // worksheet
    addShortString(boundSheet, m_sheetName);
    const qsizetype sheetPositionAt = stream.size() + 4;
    stream.add(kBoundSheet, boundSheet);
    addSharedStrings(stream, strings, references);
    stream.add(kEof, {});

    stream.patch32(sheetPositionAt, quint32(stream.size()));
    stream.add(kBof, bof(0x0010));
    QByteArray defaultWidth;
    add16(defaultWidth, 8);
    stream.add(kDefColWidth, defaultWidth);
    for (const auto &[column, characters] : m_columnWidths)
        stream.add(kColInfo, colInfo(column, characters));

    QByteArray dimensions;
    int lastRow = -1;
    int lastColumn = -1;
    for (const auto &[position, cell] : m_cells) {
        lastRow = std::max(lastRow, position.first);
        lastColumn = std::max(lastColumn, position.second);
    }
    add32(dimensions, 0);
    add32(dimensions, quint32(lastRow + 1));
    add16(dimensions, 0);
    add16(dimensions, quint16(lastColumn + 1));
    add16(dimensions, 0);
    stream.add(kDimensions, dimensions);

    // Rows in blocks of 32: the ROW records of a block, then its cells.
    for (auto blockStart = m_cells.cbegin(); blockStart != m_cells.cend();) {
        const int block = blockStart->first.first / 32;
        auto blockEnd = blockStart;
        while (blockEnd != m_cells.cend() && blockEnd->first.first / 32 == block)
            ++blockEnd;
        for (auto it = blockStart; it != blockEnd;) {
            const int row = it->first.first;
            int first = it->first.second;
            int last = first;
            for (; it != blockEnd && it->first.first == row; ++it)
                last = it->first.second;
            QByteArray rowRecord;
            add16(rowRecord, quint16(row));
            add16(rowRecord, quint16(first));
            add16(rowRecord, quint16(last + 1));
            add16(rowRecord, 0x00FF); // default height
            add16(rowRecord, 0);
            add16(rowRecord, 0);
            add16(rowRecord, 0x0100);
            add16(rowRecord, kDefaultCellXf);
            stream.add(kRow, rowRecord);
        }
        for (auto it = blockStart; it != blockEnd; ++it) {
            const auto &[position, cell] = *it;
            const quint16 xfIndex = cell.format.isDefault() ? kDefaultCellXf : xfs.at(cell.format);
            if (cell.text.isEmpty() && xfIndex == kDefaultCellXf)
                continue;
            QByteArray data;
            add16(data, quint16(position.first));
            add16(data, quint16(position.second));
            add16(data, xfIndex);
            if (cell.text.isEmpty()) {
                stream.add(kBlank, data);
            } else {
                add32(data, stringIndex.value(cell.text));
                stream.add(kLabelSst, data);
            }
        }
        blockStart = blockEnd;
    }

    QByteArray window2;
    for (const quint16 value : {0x06B6, 0, 0, 64, 0, 0, 0, 0, 0})
        add16(window2, value);
    stream.add(kWindow2, window2);
    stream.add(kEof, {});
    return stream.bytes();
}

QByteArray XlsWorkbook::fileBytes() const
{
    return CompoundFileWithStream(QStringLiteral("Workbook"), workbookStream());
}

void XlsWorkbook::save(const QString &path) const
{
    const QByteArray bytes = fileBytes();
    // A link at the name is replaced by the workbook, never written through.
    FolderSaveFile file(path);
    if (!file.open() || !file.write(bytes) || !file.commit())
        throw EFCreateError(file.cannotCreateMessage());
}
