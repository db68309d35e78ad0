#pragma once

#include <map>
#include <QString>
#include <QStringList>
#include <utility>

// A workbook as Perl's Spreadsheet::ParseExcel reads it back.
struct ParsedCell
{
    QString text;
    QString type; // "Text" for a text cell
    int fillPattern = 0;
    int fillColour = 0; // palette index of the fill's foreground
    int fontColour = 0; // palette index; 32767 for automatic
    bool bold = false;
};

struct ParsedWorkbook
{
    QStringList sheetNames;
    std::map<int, double> columnWidths;              // in characters, as the spreadsheet shows them
    std::map<std::pair<int, int>, ParsedCell> cells; // by row and column, from 0
    QString rgbOfColour(int index) const;            // "FFCC99" for 47, from the reader's palette
    // The texts row by row from the first, each row `columns` wide; "" where there is no cell.
    QList<QStringList> rowTexts(int columns) const;
    std::map<int, QString> palette;
};

// Throws when the reader refuses the file.
ParsedWorkbook ParseWithSpreadsheetParseExcel(const QString &path);

// The first sheet as Gnumeric's ssconvert converts it to CSV (UTF-8), one list of fields a line;
// the fields must hold no comma or line break. Throws when ssconvert fails or warns.
QList<QStringList> ConvertWithSsconvert(const QString &path);
