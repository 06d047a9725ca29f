#pragma once

#include <QString>

// How the platform's file systems compare and accept file names.
namespace FileNames {

// True where "Report.pdf" and "report.pdf" name two different files.
bool caseSensitive();

// Why the platform's file systems would refuse `name` as the name of a file, when a companion
// file takes the name with `suffixBytes` more bytes appended: an English sentence saying what is
// wrong, or empty when nothing is.
QString nameProblem(const QString &name, qsizetype suffixBytes);

} // namespace FileNames
