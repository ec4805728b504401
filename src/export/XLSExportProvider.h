#pragma once
// The .xls writer: collects a sheet of cells through IcxExportProvider and,
// at WriteWorkbook, writes one compound document whose only stream is a
// BIFF8 workbook with the workbook globals and one worksheet.

#include "export/BiffRecords.h"
#include "export/ExportProvider.h"
#include "export/XlsPalette.h"
#include "export/XlsSharedStrings.h"
#include "export/ZeroedBuffer.h"

#include <QString>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

namespace orvane::exporting {

class FileSink;
class TcxExportStyleManager;

// A list of prebuilt records of one type, each kept once (same bytes, same
// entry) when deduplicating.
class TcxXLSRecordsList {
public:
    explicit TcxXLSRecordsList(std::uint16_t recordType) : m_type(recordType) {}
    // Returns the entry's position in the list.
    int AddUnique(std::vector<std::uint8_t> data);
    void Add(std::vector<std::uint8_t> data) { m_records.push_back(std::move(data)); }
    std::size_t Count() const { return m_records.size(); }
    std::uint64_t RecordsSize() const;   // with the 4-byte headers
    void Write(FileSink& out) const;

private:
    std::uint16_t m_type;
    std::vector<std::vector<std::uint8_t>> m_records;
    std::unordered_multimap<std::uint32_t, int> m_byHash;
};

class TcxXLSExportProvider final : public IcxExportProvider {
public:
    static constexpr int kMaxColumns = 256;
    static constexpr int kMaxRows = 65536;

    // Starts the new file for the output name (the name with extension
    // ".xls"), which replaces a file of that name only when WriteWorkbook()
    // completes; a failure raises ExportFileError.
    explicit TcxXLSExportProvider(const QString& fileName, const SystemColors& colors = SystemColors{});
    ~TcxXLSExportProvider() override;

    static int ExportType() { return kExportXls; }
    static std::unique_ptr<IcxExportProvider> Create(const QString& fileName, const SystemColors& colors);
    // The file a name is written to: its extension replaced by ".xls".
    static QString OutputNameFor(const QString& fileName);

    QString OutputFileName() const { return m_outputName; }
    QString SheetName() const { return m_sheetName; }
    int ColumnCount() const { return m_columnCount; }

    // IcxExportProvider
    void WriteWorkbook() override;
    const ExportCellStyle* CellStyleOf(int column, int row) override;
    const ExportCellStyle& StyleAt(int index) override;
    int AddStyle(ExportCellStyle& style) override;
    void PutNumber(int column, int row, double value) override;
    void PutInteger(int column, int row, qint32 value) override;
    void PutText(int column, int row, QByteArrayView text) override;
    void PutWideText(int column, int row, QStringView text) override;
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
    void PutDisplayText(int column, int row, QStringView text) override;
    // Both need SetSheetSize first ("Invalid cell dimension"); what lies
    // outside the sheet is cut off.
    void FreezeRows(int rows) override;
    void SetAutoFilter(int row, int firstColumn, int lastColumn, int lastRow) override;
    int ShortenedTextCount() const override { return int(m_strings.ShortenedCount() - m_hiddenShortened); }
    int MaxRows() const override { return kMaxRows; }
    int MaxColumns() const override { return kMaxColumns; }
    // The hidden sheet follows the first in the workbook; the first stays
    // the active one. At most 256 columns and 65,536 rows, as any sheet.
    void AddHiddenSheet(const QString& name, int columnCount, int rowCount) override;
    void PutHiddenText(int column, int row, QStringView text) override;

    // Typed stores.
    void PutBoolean(int column, int row, bool value);
    void PutCurrency(int column, int row, qint64 scaledBy10000);
    void PutDateTime(int column, int row, double serial);

    // Makes a sheet name acceptable to spreadsheet applications: at most 31
    // characters, none of : \ / ? * [ ], not empty, no apostrophe at either end.
    static QString AcceptableSheetName(const QString& name);

private:
    enum class Kind : std::uint8_t { Blank, Number, Boolean, Label, LabelSst };
    enum Mark : std::uint8_t { NoMark = 0, DateTimeMark, DateMark, TimeMark, CurrencyMark, MarkCount };

    // One cell of the sheet; its record is produced when written.
    // A cell is its style (registry index, the XF index once resolved), kept
    // for every cell, and its kind, marks and payload (number slot, label
    // pool offset / 2, string index or Boolean), kept only in
    // blocks of rows that hold a value or a merge: a full sheet is mostly
    // BLANK cells.
    struct CellState {
        Kind kind = Kind::Blank;
        std::uint8_t flags = 0;     // mark in bits 0-2, merged in bit 3
    };
    // Kinds, marks and payloads of 4096 rows of a column, made on the first
    // value or merge among them.
    static constexpr int kBlockShift = 12;
    static constexpr int kBlockRows = 1 << kBlockShift;
    struct ValueBlock {
        CellState state[kBlockRows];
        std::uint32_t payload[kBlockRows];
    };
    struct CellSlot {
        CellState& state;
        std::uint32_t& payload;
    };
    static constexpr std::uint8_t kMergedFlag = 0x08;
    static constexpr std::uint8_t kMarkMask = 0x07;

    // False outside the sheet; throws before SetSheetSize.
    bool validCell(int column, int row) const
    {
        if (m_columnCount < 0 || m_rowCount < 0)
            throwInvalidCellDimension();
        return unsigned(column) < unsigned(m_columnCount) && unsigned(row) < unsigned(m_rowCount);
    }
    std::uint16_t& styleAt(int column, int row)
    {
        return m_cellStyles[std::size_t(column) * std::size_t(m_rowCount) + std::size_t(row)];
    }
    const ValueBlock* blockAt(int column, int row) const
    {
        return m_valueBlocks[std::size_t(column)][std::size_t(row >> kBlockShift)].get();
    }
    CellState stateAt(int column, int row) const
    {
        const ValueBlock* block = blockAt(column, row);
        return block ? block->state[row & (kBlockRows - 1)] : CellState{};
    }
    ValueBlock& valueBlock(int column, int row);
    [[noreturn]] static void throwInvalidCellDimension();
    void checkSheetSize() const;
    // Makes a cell of a kind whose record takes recordSize bytes, keeping
    // the total of the cell records' sizes; returns its state and payload.
    CellSlot takeCell(int column, int row, Kind kind, std::uint64_t recordSize);
    // Makes the cell a LABEL with room for `bytes` bytes of payload in the
    // label pool and returns where they go.
    std::uint8_t* newLabel(int column, int row, std::size_t bytes);
    // Room for `bytes` bytes of label payload in the label pool: where they
    // go, and the payload value that finds them again.
    std::pair<std::uint8_t*, std::uint32_t> allocateLabel(std::size_t bytes);
    void storeNumber(int column, int row, double value, Mark mark);
    void storeLabel8(int column, int row, QByteArrayView ascii);
    void storeLabel16(int column, int row, const char16_t* chars, std::size_t count);
    void storeShared(int column, int row, const char16_t* chars, std::size_t count);

    int fontIndexFor(const ExportCellStyle& style);
    std::uint16_t xfIndexFor(int styleIndex, Mark mark, bool merged);
    std::vector<std::uint8_t> buildXf(const ExportCellStyle& style, Mark mark, bool merged);

    std::uint64_t cellRecordSize(Kind kind, std::uint32_t payload) const;
    void writeCells(FileSink& out);
    std::uint64_t hiddenSheetSize() const;   // its substream, with the BOUNDSHEET and TABID entry it adds
    void writeHiddenSheet(FileSink& out);

    QString m_outputName;
    QString m_sheetName;
    std::unique_ptr<FileSink> m_file;
    TcxExportStyleManager* m_styles = nullptr;
    int m_columnCount = -1;
    int m_rowCount = -1;
    bool m_gridLines = false;
    int m_frozenRows = 0;
    biff::FilterArea m_filter;

    ZeroedBuffer m_styleMemory;
    std::uint16_t* m_cellStyles = nullptr;   // column by column; zero is registry style 0
    std::size_t m_cellCount = 0;
    std::vector<std::vector<std::unique_ptr<ValueBlock>>> m_valueBlocks;   // [column][row / 4096]
    std::uint64_t m_cellBytes = 0;   // the cell records' sizes with their headers
    std::vector<double> m_numbers;
    // Label payloads (count, option byte, characters), each at an even offset
    // inside a chunk and never across chunks.
    static constexpr std::size_t kChunkSize = std::size_t(1) << 22;
    std::vector<ZeroedBuffer> m_labelChunks;
    std::size_t m_labelUsed = kChunkSize;
    const std::uint8_t* labelAt(std::uint32_t payload) const;

    TcxXLSRecordsList m_fonts{biff::kFONT};
    TcxXLSRecordsList m_xfs{biff::kXF};
    TcxXLSRecordsList m_colInfos{biff::kCOLINFO};
    TcxXLSRecordsList m_rowRecords{biff::kROW};
    std::vector<biff::MergedRange> m_merged;
    ExportCellStyle m_defaultStyle;   // what a sheet without registered styles shows
    XlsPalette m_palette;
    TcxXLSSharedStringTable m_strings;
    // XF index per (style, mark, merged), -1 until built.
    std::vector<std::int32_t> m_xfCache;

    // The hidden sheet: its texts, as LABEL or LABELSST cells in the order given.
    struct HiddenCell {
        std::uint16_t row, column;
        Kind kind;
        std::uint32_t payload;
    };
    QString m_hiddenName;   // empty: no hidden sheet
    int m_hiddenColumns = 0;
    int m_hiddenRows = 0;
    std::vector<HiddenCell> m_hiddenCells;
    std::uint64_t m_hiddenCellBytes = 0;
    std::uint32_t m_hiddenShortened = 0;   // of the shared strings cut, those of the hidden sheet
};

} // namespace orvane::exporting
