#pragma once
// The cell-level interface through which the grid-to-sheet export fills a
// spreadsheet writer, and the registry that maps export kinds to writers.

#include "export/ExportCellStyle.h"

#include "store/ExportRecord.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <memory>

namespace orvane::exporting {

// A money amount in 1/10000 units, for PutValue.
struct ExportCurrency {
    qint64 scaled = 0;
};

// The most characters a spreadsheet cell holds.
inline constexpr std::size_t kMaxCellChars = std::size_t(store::kMaxCellChars);
// How many of `count` UTF-16 characters a cell keeps: all of them, or
// kMaxCellChars (one less where that would split a surrogate pair).
std::size_t cellTextLength(const char16_t* chars, std::size_t count);

// Dates and times as a sheet holds them: days since 1899-12-30, the time of
// day as the fraction.
double dateSerial(const QDate& date);
double dateTimeSerial(const QDateTime& value);
double timeSerial(const QTime& time);

// Cells are addressed by zero-based column, then row. Every cell operation
// fails with "Invalid cell dimension" before SetSheetSize; a cell outside the
// sheet makes it do nothing.
class IcxExportProvider {
public:
    virtual ~IcxExportProvider() = default;

    // Writes the whole file and closes it.
    virtual void WriteWorkbook() = 0;
    // The style of a cell, or nullptr for a cell outside the sheet. The
    // pointer is valid until the next style is registered: copy the style
    // before changing and registering it.
    virtual const ExportCellStyle* CellStyleOf(int column, int row) = 0;
    virtual const ExportCellStyle& StyleAt(int index) = 0;
    virtual int AddStyle(ExportCellStyle& style) = 0;
    virtual void PutNumber(int column, int row, double value) = 0;
    virtual void PutInteger(int column, int row, qint32 value) = 0;
    // 8-bit text in the system's ANSI code page.
    virtual void PutText(int column, int row, QByteArrayView text) = 0;
    virtual void PutWideText(int column, int row, QStringView text) = 0;
    virtual void ApplyStyle(int column, int row, int styleIndex) = 0;
    virtual void CopyCellStyle(int column, int row, int exampleColumn, int exampleRow) = 0;
    virtual void ApplyStyleRecord(int column, int row, ExportCellStyle& style) = 0;
    virtual void MergeCells(int column, int row, int rowSpan, int columnSpan, int styleIndex) = 0;
    virtual void AddMergedRange(int column, int row, int rowSpan, int columnSpan) = 0;
    virtual void PutValue(int column, int row, const QVariant& value) = 0;
    virtual void SetColumnPixelWidth(int column, int width) = 0;
    virtual void SetBaseStyle(const ExportCellStyle& style) = 0;
    virtual void SetSheetSize(int columnCount, int rowCount, bool gridLines) = 0;
    virtual void SetRowPixelHeight(int row, int height) = 0;

    // ApplyStyle on the cells (column, firstRow + i), i < rowCount, with
    // pattern[i % patternLength]: the alternating record styles of a whole
    // column in one call.
    virtual void ApplyColumnStyles(int column, int firstRow, int rowCount, const int* pattern, int patternLength)
    {
        for (int i = 0; i < rowCount; ++i)
            ApplyStyle(column, firstRow + i, pattern[i % patternLength]);
    }

    // Keeps rows 0 to rows - 1 in view while the rest of the sheet scrolls.
    virtual void FreezeRows(int rows) { static_cast<void>(rows); }
    // Filter buttons on the cells of `row` from firstColumn to lastColumn,
    // filtering the rows below it down to lastRow.
    virtual void SetAutoFilter(int row, int firstColumn, int lastColumn, int lastRow)
    {
        static_cast<void>(row), static_cast<void>(firstColumn), static_cast<void>(lastColumn),
            static_cast<void>(lastRow);
    }
    // How many texts were cut because a cell could not hold all of them.
    virtual int ShortenedTextCount() const { return 0; }
    // The rows and columns a sheet of this kind holds at most.
    virtual int MaxRows() const = 0;
    virtual int MaxColumns() const = 0;
    // Rows up to lastRow get no more cells and keep their styles as they
    // are: a writer that streams rows may write them out. The export walk
    // sets every style before it puts the first record's values.
    virtual void RowsComplete(int lastRow) { static_cast<void>(lastRow); }

    // A second worksheet, hidden behind the first, that holds texts only:
    // the export's record of what it wrote. Its cells are given row by row,
    // left to right, after every cell of the first sheet; a text is cut
    // where a cell cannot hold it, as on the first sheet, without counting
    // in ShortenedTextCount. A provider without such a sheet ignores both.
    virtual void AddHiddenSheet(const QString& name, int columnCount, int rowCount)
    {
        static_cast<void>(name), static_cast<void>(columnCount), static_cast<void>(rowCount);
    }
    virtual void PutHiddenText(int column, int row, QStringView text)
    {
        static_cast<void>(column), static_cast<void>(row), static_cast<void>(text);
    }

    // A display text: text that the system's ANSI code page holds goes to
    // PutText as 8-bit text, any other to PutWideText, so that no character
    // is ever replaced.
    virtual void PutDisplayText(int column, int row, QStringView text);
};

// Export kinds.
inline constexpr int kExportXls = 1;
inline constexpr int kExportXlsx = 2;

// The kind a file name asks for: .xlsx (in any case) for the Office Open
// XML workbook, any other name the .xls workbook.
int exportKindForFileName(const QString& fileName);
// The file an export to that name writes: the .xlsx name as it is, any
// other with its extension replaced by ".xls".
QString exportOutputName(const QString& fileName);

class TcxExport {
public:
    using Factory = std::unique_ptr<IcxExportProvider> (*)(const QString& fileName, const SystemColors& colors);

    // Refuses (returns false) a kind that is taken or a class registered twice.
    static bool RegisterProviderClass(int kind, const QString& className, Factory factory);
    // Creates the provider of a kind for a file name, drawing in the given
    // colours. Throws EcxExportData "Unsupported export type: <kind>" for a
    // kind nobody registered.
    static std::unique_ptr<IcxExportProvider> Provider(int kind, const QString& fileName,
                                                       const SystemColors& colors = SystemColors{});
};

} // namespace orvane::exporting

Q_DECLARE_METATYPE(orvane::exporting::ExportCurrency)
