#pragma once

// How the platform's file systems compare file names.
namespace FileNames {

// True where "Report.pdf" and "report.pdf" name two different files.
bool caseSensitive();

} // namespace FileNames
