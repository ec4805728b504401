#pragma once
// The first worksheet of a workbook as the texts its cells show. Reads the
// workbooks Orvane writes and the same after a spreadsheet program has saved
// them again, as .xls (BIFF8) or as .xlsx; the kind is told by the file's
// first bytes, not by its name.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>
#include <vector>

namespace orvane::workbook {

// rows[r][c] is the cell of sheet row r, column c (both from 0); a row holds
// as many entries as its last cell needs, missing cells are empty texts.
// A reader that left cells out (CellChoice) marks in otherContent the rows
// where any cell it left out shows text.
struct SheetRows {
    QVector<QStringList> rows;
    std::vector<bool> otherContent;
    QString cell(int row, int column) const
    {
        return row < rows.size() ? rows.at(row).value(column) : QString();
    }
    bool hasOtherContent(int row) const { return row >= 0 && std::size_t(row) < otherContent.size() && otherContent[std::size_t(row)]; }
};

// Which cells a reader turns into text. The rows down to the caption row
// are read whole; the caption row is the first of the top `searchRows` rows
// with a cell whose trimmed text is `marker`. Below it only the columns whose
// trimmed caption keep() accepts are read; of the other cells only whether
// they show text is kept. Without a marker every cell is read.
struct CellChoice {
    QString marker;
    int searchRows = 0;
    std::function<bool(const QString& caption)> keep;
};

// What a workbook may ask of memory. A hostile file (a small zip holding
// gigabytes of XML, millions of cells far out to the right) is refused with
// a message when it reaches one of these, before memory grows past them:
// - an XML part streamed out of an .xlsx over kMaxPartBytes uncompressed,
//   or a part read whole (the workbook, its relationships, the styles, a
//   part in UTF-16) over kMaxWholePartBytes;
// - a cell text over kMaxCellChars characters (what a spreadsheet cell holds);
// - the texts and cells held from one workbook over kMaxHeldBytes, counted
//   as 2 bytes a character and kHeldBytesPerCell a cell (a shared string
//   counts once in the table and again in each cell showing it).
inline constexpr long long kMaxPartBytes = 2LL << 30;
inline constexpr long long kMaxWholePartBytes = 64LL << 20;
inline constexpr int kMaxCellChars = 32767;
inline constexpr long long kMaxHeldBytes = 1LL << 30;
inline constexpr long long kHeldBytesPerCell = 64;

// Counts what a reader holds against kMaxHeldBytes. take() throws
// FormatError naming the file once the sum passes the limit.
class HeldMemory {
public:
    explicit HeldMemory(const QString& fileName) : m_fileName(fileName) {}
    void take(long long bytes);
    void takeText(qsizetype characters) { take(2 * (long long)characters + kHeldBytesPerCell); }
    // What a reader let go of (handed on to a SheetBuilder, which counts it anew).
    void releaseText(qsizetype characters) { m_held -= 2 * (long long)characters + kHeldBytesPerCell; }

private:
    QString m_fileName;
    long long m_held = 0;
};

// Reads the first worksheet. Throws FormatError naming the file when it is
// missing, unreadable, neither kind of workbook, or beyond the limits above.
SheetRows readFirstSheet(const QString& fileName, const CellChoice& choice = {});
// The first worksheet, read as readFirstSheet reads it, and beside it the
// worksheet of a name read whole, hidden or not (nullopt when the workbook
// has none of that name), in one opening of the file that reads what both
// share (the shared strings) once.
struct SheetAndNamedSheet {
    SheetRows first;
    std::optional<SheetRows> named;
};
SheetAndNamedSheet readFirstAndNamedSheet(const QString& fileName, const CellChoice& choice,
                                          const QString& sheetName);

// The text a cell holding a number or a date shows, as the grid shows such
// values (store::displayText): a log that a spreadsheet program turned into
// a number or a date comes back as text, never as its serial number.
QString shownNumber(double value);
QString shownDate(const QDateTime& value);
// Whether a number format shows a date: the built-in date formats, or a
// format code with a day, month, year or hour outside quotes and brackets.
bool isDateFormat(int id, const QString& code);
// A date serial number of the 1900 system (day 0 is 1899-12-30; the 1904
// system adds 1462 days before calling).
QDateTime dateFromSerial(double serial);

// The readers behind readFirstSheet, one per kind.
SheetRows readXlsSheet(const QString& fileName, const CellChoice& choice = {});
SheetRows readXlsxSheet(const QString& fileName, const CellChoice& choice = {});
SheetAndNamedSheet readXlsSheets(const QString& fileName, const CellChoice& choice, const QString& sheetName);
SheetAndNamedSheet readXlsxSheets(const QString& fileName, const CellChoice& choice, const QString& sheetName);

// Stores text into rows at (row, column), growing them as needed.
void putCell(SheetRows& sheet, int row, int column, const QString& text);

// Gathers the cells a reader gives, following a CellChoice. Readers give
// the cells of a row, then end the row; rows in ascending order.
class SheetBuilder {
public:
    // Every cell put counts against `held`.
    SheetBuilder(const CellChoice& choice, HeldMemory& held);

    // Whether the cell is to be given as text with put(); when not, and
    // needsOther(row) holds, the reader gives whether it shows text with other().
    bool wants(int row, int column);
    bool needsOther(int row) const { return !hasOtherContent(row); }
    void put(int row, int column, const QString& text);
    void other(int row, const QString& text);
    void endRow(int row);
    // False when the rows came in an order the choice cannot follow: the
    // reader then reads again without one.
    bool followedChoice() const { return !m_disordered; }
    SheetRows take() { return std::move(m_sheet); }

private:
    bool hasOtherContent(int row) const { return m_sheet.hasOtherContent(row); }
    bool holdsMarker(int row) const;

    const CellChoice& m_choice;
    HeldMemory& m_held;
    SheetRows m_sheet;
    int m_captionRow = -1;
    std::vector<bool> m_keep;   // by column, once the caption row is known
    bool m_disordered = false;
};

} // namespace orvane::workbook
