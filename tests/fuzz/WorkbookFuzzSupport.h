#pragma once
// What the workbook readers' fuzz targets share: the input written to a
// file (the readers take a file name), and the read both ways an update
// reads a workbook.

#include <QByteArray>
#include <QString>

namespace orvane::fuzz {

// A file of this process's own, rewritten for every input.
QString scratchFile(const char* name);
void writeFile(const QString& path, const QByteArray& bytes);

// Reads the workbook as every cell and as an update reads it (only some
// columns below a caption row, and the sheet of the export's record). Either read may
// refuse the file with FormatError, and only so; when both read it, every
// cell the update reads shows the text the full read gives it. Aborts on
// any other outcome.
void readWorkbookBothWays(const QString& path);

} // namespace orvane::fuzz
