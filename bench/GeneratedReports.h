#pragma once

#include <QString>

// The generated positions report of the benchmarks: kPositions positions over kDistinctIsins ISINs,
// of which the first kMissingIsins are not securities of the generated host database.
constexpr int kPositions = 1'000'000;
constexpr int kDistinctIsins = 20'000;
constexpr int kMissingIsins = 100;

// The ISIN of the host's security number index.
QString securityIsin(int index);
// The ISIN of the report's position number position.
QString reportIsin(int position);
// Writes the report (about 480 MB) to path; throws std::runtime_error when it cannot.
void generatePositionsReport(const QString &path);
