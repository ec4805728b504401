#pragma once
// The .xlsx writer: fills an Office Open XML workbook through libxlsxwriter
// in its constant-memory mode, which writes each row out as the next one
// begins. The export walk sets every style before the first record's
// values and says when rows are complete (RowsComplete), so the rows go out
// as they come and memory stays flat however many rows there are.
//
// A record cell without a value takes its column's format (the style most
// of the column's record rows have); only cells styled otherwise are
// written as blank cells of their own. The hidden sheet of exported texts
// follows the first sheet, which stays the active one.

#include "export/ExportProvider.h"

#include <QString>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace orvane {
class ReplacingFile;
}

namespace orvane::exporting {

class TcxExportStyleManager;

class TcxXLSXExportProvider final : public IcxExportProvider {
public:
    static constexpr int kMaxColumns = 16384;
    static constexpr int kMaxRows = 1048576;

    // Starts the new file that replaces the one named (kept as named) only
    // when WriteWorkbook() completes; a failure raises ExportFileError.
    explicit TcxXLSXExportProvider(const QString& fileName, const SystemColors& colors = SystemColors{});
    ~TcxXLSXExportProvider() override;

    static std::unique_ptr<IcxExportProvider> Create(const QString& fileName, const SystemColors& colors);

    // IcxExportProvider
    void WriteWorkbook() override;
    const ExportCellStyle* CellStyleOf(int column, int row) override;
    const ExportCellStyle& StyleAt(int index) override;
    int AddStyle(ExportCellStyle& style) override;
    void PutNumber(int column, int row, double value) override;
    void PutInteger(int column, int row, qint32 value) override;
    void PutText(int column, int row, QByteArrayView text) override;
    void PutWideText(int column, int row, QStringView text) override;
    void PutDisplayText(int column, int row, QStringView text) override;
    void ApplyStyle(int column, int row, int styleIndex) override;
    void CopyCellStyle(int column, int row, int exampleColumn, int exampleRow) override;
    void ApplyStyleRecord(int column, int row, ExportCellStyle& style) override;
    void MergeCells(int column, int row, int rowSpan, int columnSpan, int styleIndex) override;
    void AddMergedRange(int column, int row, int rowSpan, int columnSpan) override;
    void PutValue(int column, int row, const QVariant& value) override;
    void SetColumnPixelWidth(int column, int width) override;
    void SetBaseStyle(const ExportCellStyle& style) override;
    void SetSheetSize(int columnCount, int rowCount, bool gridLines) override;
    void SetRowPixelHeight(int row, int height) override;
    void ApplyColumnStyles(int column, int firstRow, int rowCount, const int* pattern, int patternLength) override;
    void FreezeRows(int rows) override;
    void SetAutoFilter(int row, int firstColumn, int lastColumn, int lastRow) override;
    int ShortenedTextCount() const override { return m_shortened; }
    int MaxRows() const override { return kMaxRows; }
    int MaxColumns() const override { return kMaxColumns; }
    void RowsComplete(int lastRow) override;
    void AddHiddenSheet(const QString& name, int columnCount, int rowCount) override;
    void PutHiddenText(int column, int row, QStringView text) override;

private:
    enum class Kind : std::uint8_t { Number, Boolean, Text };
    enum Mark : std::uint8_t { NoMark = 0, DateTimeMark, DateMark, TimeMark, CurrencyMark, MarkCount };

    // A value waiting for its row to be written.
    struct PendingCell {
        int row, column;
        Kind kind;
        Mark mark;
        double number;
        std::size_t text;   // offset of its UTF-8 text in m_textArena
    };
    // The styles of a column's record rows: pattern[(row - firstRow) % size].
    struct ColumnStyles {
        int firstRow = 0, rowCount = 0;
        std::vector<std::uint16_t> pattern;
        int format = -1;   // the style that is the column's format, -1 for none
        int pixelWidth = -1;
    };
    struct StyledCell {
        int row, column;
        std::uint16_t style;
    };

    bool validCell(int column, int row) const;
    void checkSheetSize() const;
    // A cell's style from the overrides and the column's pattern.
    int styleOf(int column, int row) const;
    void refuseWrittenRow(int row) const;
    void putPending(int column, int row, Kind kind, Mark mark, double number, QStringView text);
    // Turns the styles into the form the row writer walks: from here on
    // they stay as they are.
    void settleStyles();
    void writeRowsUpTo(int lastRow);
    void writeRow(int row, std::size_t& pending, std::size_t& styled);
    lxw_format* formatOf(int styleIndex, Mark mark = NoMark);
    void checkTemporaryFiles();
    void check(int error, const char* what);
    // The UTF-8 text of UTF-16 characters, cut to what a cell holds;
    // returns whether it was cut.
    bool toCellText(QStringView text, std::string& out) const;

    // The library prints numbers (column widths, cell values) with the C
    // library's printf, which follows the process's numeric locale: a
    // decimal comma would break the XML. The C locale's numbers hold while
    // the workbook is written.
    class NumericLocale {
    public:
        NumericLocale();
        ~NumericLocale();
        NumericLocale(const NumericLocale&) = delete;
        NumericLocale& operator=(const NumericLocale&) = delete;

    private:
        std::string m_saved;
    };

    NumericLocale m_numericLocale;
    QString m_outputName;
    SystemColors m_colors;
    std::unique_ptr<ReplacingFile> m_output;
    QString m_workFile;   // where the library writes the package before it is put in place
    QByteArray m_workFileName, m_temporaryFolder;
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    lxw_worksheet* m_hiddenSheet = nullptr;
    TcxExportStyleManager* m_styles = nullptr;
    ExportCellStyle m_defaultStyle;

    int m_columnCount = -1;
    int m_rowCount = -1;
    int m_nextRow = 0;   // the first row not yet written
    bool m_settled = false;
    std::vector<ColumnStyles> m_columns;
    std::vector<std::map<int, std::uint16_t>> m_overrides;   // per column: row -> style, before settling
    std::vector<StyledCell> m_styledCells;                   // after settling, by row and column
    std::size_t m_styledAt = 0;
    std::map<int, int> m_rowHeights;
    std::vector<PendingCell> m_pending;
    std::string m_textArena;
    std::string m_scratch;
    std::vector<lxw_format*> m_formats;   // per (style, mark), created on first use
    struct Range {
        int firstRow, lastRow, firstColumn, lastColumn;
    };
    std::vector<Range> m_merged;
    int m_shortened = 0;
    int m_hiddenColumns = 0, m_hiddenRows = 0;
};

} // namespace orvane::exporting
