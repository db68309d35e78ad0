#pragma once

#include <map>
#include <optional>
#include <QByteArray>
#include <QString>
#include <utility>
#include <vector>

// Colour indexes of the spreadsheet's default palette as the file records them (the palette's
// first entry is index 8; an automation interface that counts from 1 names index n + 7 as n).
namespace XlsColour {
constexpr quint16 Red = 10; // RGB 255,0,0
constexpr quint16 Tan = 47; // RGB 255,204,153
} // namespace XlsColour

// How a cell looks: a solid fill and the font's colour and weight; all unset is the default look.
struct XlsCellFormat
{
    std::optional<quint16> fillColour; // palette index of a solid fill
    std::optional<quint16> fontColour; // palette index; the automatic colour when unset
    bool bold = false;

    bool isDefault() const { return !fillColour && !fontColour && !bold; }
    auto operator<=>(const XlsCellFormat &) const = default;
};

// A workbook of one sheet of text cells with column widths, fills and fonts, saved as a
// BIFF8 .xls file (a compound document with a "Workbook" stream). Rows and columns count from
// 0; a sheet holds 65536 rows of 256 columns and a cell at most 32767 characters. Texts that
// fit Latin-1 are stored with one byte a character, all others as UTF-16.
class XlsWorkbook
{
public:
    static constexpr int MaxRows = 65536;
    static constexpr int MaxTextLength = 32767;

    explicit XlsWorkbook(const QString &sheetName = QStringLiteral("Sheet1"));

    // The width as the spreadsheet shows it, in characters of the default font's digits.
    void setColumnWidth(int column, double characters);
    // An empty text leaves the cell without content (it keeps its format).
    void setText(int row, int column, const QString &text);
    XlsCellFormat &format(int row, int column);

    // The bytes of the "Workbook" stream.
    QByteArray workbookStream() const;
    // The whole .xls file.
    QByteArray fileBytes() const;
    // Writes the file under a temporary name in the target's folder and renames it into place,
    // so the path holds the whole workbook or what was there before. Throws EFCreateError
    // "Cannot create file "<path>". <reason>".
    void save(const QString &path) const;

private:
    struct Cell
    {
        QString text;
        XlsCellFormat format;
    };
    using Position = std::pair<int, int>; // row, column: the order of the file's cell records

    Cell &cell(int row, int column);

    QString m_sheetName;
    std::map<int, double> m_columnWidths;
    std::map<Position, Cell> m_cells;
};
