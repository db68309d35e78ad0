#include "WorkbookReaders.h"

#include "RunTool.h"
#include "TempDir.h"

#include <QFileInfo>
#include <QProcess>
#include <stdexcept>

namespace {

// Prints the sheets, the widths of the columns and every cell with its look, one item a line,
// fields separated by tabs; then the palette entries the cells name.
const char kParseScript[] = R"PERL(
use strict; use warnings;
use Spreadsheet::ParseExcel;
binmode STDOUT, ':encoding(UTF-8)';
my $parser = Spreadsheet::ParseExcel->new;
my $workbook = $parser->parse($ARGV[0]) or die 'ParseExcel: ' . $parser->error() . "\n";
my %colours;
for my $sheet ($workbook->worksheets()) { print "sheet\t", $sheet->get_name(), "\n"; }
my $sheet = $workbook->worksheet(0);
my $widths = $sheet->{ColWidth} || [];
for my $c (0 .. $#$widths) { print "width\t$c\t$widths->[$c]\n" if defined $widths->[$c]; }
my ($rmin, $rmax) = $sheet->row_range();
my ($cmin, $cmax) = $sheet->col_range();
for my $r ($rmin .. $rmax) {
  for my $c ($cmin .. $cmax) {
    my $cell = $sheet->get_cell($r, $c) or next;
    my $format = $cell->get_format();
    my $fill = $format->{Fill};
    my $font = $format->{Font};
    $colours{$fill->[1]} = 1; $colours{$font->{Color}} = 1;
    print join("\t", 'cell', $r, $c, $cell->{Type}, $fill->[0], $fill->[1], $font->{Color},
               $font->{Bold} ? 1 : 0, $cell->value()), "\n";
  }
}
for my $index (sort { $a <=> $b } keys %colours) {
  print "colour\t$index\t", Spreadsheet::ParseExcel->ColorIdxToRGB($index), "\n";
}
)PERL";

} // namespace

QString ParsedWorkbook::rgbOfColour(int index) const
{
    const auto it = palette.find(index);
    return it == palette.end() ? QString() : it->second;
}

QList<QStringList> ParsedWorkbook::rowTexts(int columns) const
{
    QList<QStringList> rows;
    for (const auto &[position, cell] : cells) {
        while (rows.size() <= position.first)
            rows << QStringList(columns);
        rows[position.first][position.second] = cell.text;
    }
    return rows;
}

ParsedWorkbook ParseWithSpreadsheetParseExcel(const QString &path)
{
    const QString output = QString::fromUtf8(runTool(QFileInfo(path).absolutePath(), QStringLiteral("perl"),
                                                     {QStringLiteral("-e"), kParseScript, path}));
    ParsedWorkbook workbook;
    for (const QString &line : output.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(u'\t');
        if (fields[0] == u"sheet") {
            workbook.sheetNames << fields.value(1);
        } else if (fields[0] == u"width") {
            workbook.columnWidths[fields[1].toInt()] = fields[2].toDouble();
        } else if (fields[0] == u"cell" && fields.size() >= 9) {
            ParsedCell cell;
            cell.type = fields[3];
            cell.fillPattern = fields[4].toInt();
            cell.fillColour = fields[5].toInt();
            cell.fontColour = fields[6].toInt();
            cell.bold = fields[7] == u"1";
            cell.text = fields.mid(8).join(u'\t');
            workbook.cells[{fields[1].toInt(), fields[2].toInt()}] = cell;
        } else if (fields[0] == u"colour") {
            workbook.palette[fields[1].toInt()] = fields.value(2).toUpper().remove(u'#');
        }
    }
    return workbook;
}

QList<QStringList> ConvertWithSsconvert(const QString &path)
{
    TempDir home; // ssconvert keeps settings in the home folder
    const QString csv = home.filePath(QStringLiteral("sheet.csv"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("DISPLAY"));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("ssconvert"),
                  {QStringLiteral("--export-type=Gnumeric_stf:stf_csv"), path, csv});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error("ssconvert failed: " + process.readAllStandardError().toStdString());
    // Warnings about the file's format would mean the reader had to guess or repair.
    const QByteArray warnings = process.readAllStandardError() + process.readAllStandardOutput();
    if (!warnings.trimmed().isEmpty())
        throw std::runtime_error("ssconvert warned: " + warnings.toStdString());
    QList<QStringList> rows;
    for (const QString &line :
         QString::fromUtf8(home.read(QStringLiteral("sheet.csv"))).split(u'\n', Qt::SkipEmptyParts)) {
        QStringList fields;
        for (const QString &field : line.split(u','))
            fields
                << (field.startsWith(u'"') && field.endsWith(u'"') && field.size() >= 2
                        ? field.mid(1, field.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""))
                        : field);
        rows << fields;
    }
    return rows;
}
