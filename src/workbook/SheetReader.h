#pragma once
// The first worksheet of a workbook as the texts its cells show. Reads the
// workbooks Orvane writes and the same after a spreadsheet program has saved
// them again, as .xls (BIFF8) or as .xlsx; the kind is told by the file's
// first bytes, not by its name.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

namespace orvane::workbook {

// rows[r][c] is the cell of sheet row r, column c (both from 0); a row holds
// as many entries as its last cell needs, missing cells are empty texts.
struct SheetRows {
    QVector<QStringList> rows;
    QString cell(int row, int column) const
    {
        return row < rows.size() ? rows.at(row).value(column) : QString();
    }
};

// Reads the first worksheet. Throws FormatError naming the file when it is
// missing, unreadable, or neither kind of workbook.
SheetRows readFirstSheet(const QString& fileName);

// The text a cell holding a number or a date shows, as the grid shows such
// values (store::displayText): a log that a spreadsheet program turned into
// a number or a date comes back as text, never as its serial number.
QString shownNumber(double value);
QString shownDate(const QDateTime& value);
// A date serial number of the 1900 system (day 0 is 1899-12-30; the 1904
// system adds 1462 days before calling).
QDateTime dateFromSerial(double serial);

// The readers behind readFirstSheet, one per kind.
SheetRows readXlsSheet(const QString& fileName);
SheetRows readXlsxSheet(const QString& fileName);

// Stores text into rows at (row, column), growing them as needed.
void putCell(SheetRows& sheet, int row, int column, const QString& text);

} // namespace orvane::workbook
