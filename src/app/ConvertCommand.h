#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

// The headless converter VornConvert: runs one DoImport for schedulers and scripts.
//
//   VornConvert ALIAS USER PASSWORD --type TEXT [--member CODE] [--suffix TEXT]
//               [--only-active] [--debug] [--settings FILE] [--date YYYY-MM-DD]
//   VornConvert --help | --version      (on out, exit code 0)
//
// A password "-" is read from the environment variable VORN_PASSWORD. TEXT is a report type
// list entry ("Stanja - MemberAccountPositions") or its label ("Stanja"). The settings file is
// VornImport.ini in the program folder unless --settings names one; the host configuration,
// the aliases and "tipi.ini" are those of VornImport. The log lines go to out, message boxes,
// usage errors and the run's summary line to err; each run is appended to the run journal.
// The type "Dnevne Teoretične vrednosti" writes the daily bond values workbook of the stored
// DailyBondValues.xml instead, named after --date (today by default), and prints "Saved " and
// its path.
//
// Exit code: 0 when the converter reported its OK text, 1 when it completed with missing
// securities (for the workbook: ISINs the host does not know), 2 when the arguments, the
// conversion or the dispatch failed (for the workbook: also a failed lookup), or when the type
// has no converter.
int RunVornConvert(const QStringList &arguments, const QString &programFolder, QTextStream &out,
                   QTextStream &err);
