#pragma once
// The grid-to-sheet export: lays out a banded grid view as shown (visible
// bands and columns in display order, the records the view shows, in its
// order) as a table of sheet cells with merged header cells and registered
// styles, and hands it to a spreadsheet provider.

#include "export/ExportProvider.h"
#include "export/ExportSource.h"
#include "store/ExportRecord.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace orvane::grid {
class GridViewModel;
}

namespace orvane::exporting {

struct TcxGridExportTableMapItem {
    int rowSpan = 1;
    int index = 0;        // band index for band items, column index for column items
    int firstColumn = 0;  // sheet column
    QString caption;
    int columnSpan = 1;   // sheet columns
};

using TcxGridExportTableMapLine = std::vector<TcxGridExportTableMapItem>;

// Sheet columns and the lines of header items over them.
struct TcxGridExportTableMap {
    std::vector<int> columnWidths;                  // pixels, per sheet column
    TcxGridExportTableMapLine bandLine;
    std::vector<TcxGridExportTableMapLine> headerLines;   // one per header row

    // Adds a sheet column boundary at pixel b, splitting or appending columns.
    void addBoundary(int b);
    // The sheet column of a pixel position.
    int sheetColumnOf(int position) const;
};

// What the export could not put into the sheet. An .xls sheet holds 65,536
// rows and 256 columns, an .xlsx sheet 1,048,576 rows and 16,384 columns,
// a cell 32,767 characters; whatever lies beyond is left out and counted
// here so the caller can tell the user.
struct ExportResult {
    int sheetColumnLimit = 256;
    int recordsExported = 0;
    int recordsLeftOut = 0;
    int columnsLeftOut = 0;   // grid columns that start beyond the last sheet column
    int textsShortened = 0;   // cells whose text was cut to what a cell holds

    bool complete() const { return recordsLeftOut == 0 && columnsLeftOut == 0 && textsShortened == 0; }
    // A plain sentence for the user, empty when everything was written.
    QString notice() const;
};

class TcxGridBandedTableViewExport {
public:
    TcxGridBandedTableViewExport(const QString& fileName, int exportType, const ExportSource& source,
                                 const SystemColors& colors = SystemColors{});

    ExportResult DoExport();

    // The table map, available after DoExport (for checks).
    const TcxGridExportTableMap& TableMap() const { return m_map; }

private:
    // Where the sheet's parts lie, worked out once the table map stands.
    struct SheetFrame {
        int headerRows = 1;          // sheet rows per record and in the header
        int visibleColumnCount = 0;  // header items over all lines
        int sheetColumns = 0;        // columns of the table map
        int headerStart = 0;         // first column-header row
        int recordStart = 0;         // first record row
        int rowsInSheet = 0;         // rows written, at most a sheet's
        int columnsInSheet = 0;      // columns written, at most a sheet's
    };

    // The parts of the sheet, in the order they are written.
    void collectLayout();
    void registerStyles();
    void buildTableMap();
    void sizeSheet(const ExportViewOptions& opt, int records);
    int columnsLeftOut() const;
    void writeBandRow(const ExportViewOptions& opt);
    void mapBandsToColumns();
    void writeBandBackgrounds();
    void placeHeaderItems();
    void writeColumnHeaders();
    std::vector<int> recordPattern(int parity, ExportGridLines gridLines);
    void writeRecordStyles(ExportGridLines gridLines, int recordsInSheet);
    void mergeRecordCells(int record);
    void writeRecordTexts(int record);
    void drawClosingEdges(ExportGridLines gridLines);
    void freezeHeaderRows(const ExportViewOptions& opt);
    void prepareExportRecord();
    void recordTexts(std::size_t line);
    void writeExportRecord();

    int bandStyle(const std::vector<int>& styles, int sheetColumn) const;
    void putTextOf(int column, int row, QStringView text);

    const ExportSource& m_source;
    const SystemColors m_colors;
    std::unique_ptr<IcxExportProvider> m_provider;
    TcxGridExportTableMap m_map;
    SheetFrame m_frame;
    QVector<ExportBandInfo> m_bands;
    std::vector<ExportColumnInfo> m_columns;     // all columns by index
    // Per header line item: its row relative to the first header row.
    std::vector<std::vector<int>> m_itemRows;
    std::vector<int> m_itemBand;                 // per band item: position in m_bands
    std::vector<int> m_bandOf;                   // per sheet column: position in m_bands, or -1
    std::vector<char> m_bandEnds;                // per sheet column: the last of its band (not the last band)
    std::vector<std::pair<int, int>> m_multiCell;   // (line, item) spanning more than one cell
    std::vector<int> m_recordStyles[2];          // per parity: [relative row * columnsInSheet + column]

    // Registry indices.
    std::vector<int> m_headerStyle, m_contentEven, m_contentOdd;
    std::vector<int> m_bandHeaderStyle, m_bandBackground, m_bandContentEven, m_bandContentOdd;
    std::vector<std::vector<int>> m_lineColumns;   // column indices of each header line
    std::vector<QStringView> m_texts;

    // The record of what was exported (store/ExportRecord.h): the header
    // items it reads, ActivityID first; the texts of items on other header
    // lines than the last, kept until the record's last line is read.
    struct RecordSlot {
        std::size_t line;
        std::size_t item;
    };
    std::vector<RecordSlot> m_recordSlots;
    std::vector<QString> m_recordTexts;
    std::vector<QStringView> m_recordViews;      // the texts of one record, ActivityID left out
    std::optional<store::ExportDigestRecordBuilder> m_record;
};

// Exports a source through the provider of a kind. Does nothing for a null
// source. Raises EcxGridExport for a source without active level or view and
// when the output file cannot be created; provider errors pass unchanged.
ExportResult ExportGridWithProvider(const QString& fileName, int exportType, const ExportSource* source,
                                    const SystemColors& colors = SystemColors{});

// The grid view model as an export source.
class GridExportSource final : public ExportSource {
public:
    explicit GridExportSource(const grid::GridViewModel& model) : m_model(model) {}
    ExportViewOptions options() const override;
    int columnCount() const override;
    ExportColumnInfo column(int index) const override;
    QVector<ExportBandInfo> visibleBands() const override;
    QVector<int> visibleColumns(int band) const override;
    int headerRowCount() const override;
    int recordCount() const override;
    QStringView displayText(int record, int column) const override;
    void displayTexts(int record, const int* columns, int count, QStringView* texts) const override;

private:
    const grid::GridViewModel& m_model;
    mutable QString m_text;
    mutable std::vector<QString> m_texts;
};

// Writes the grid view as shown into a workbook of the kind the name asks
// for (exportKindForFileName; the file written is exportOutputName's).
// Returns what did not fit into the sheet.
ExportResult ExportGridAsWorkbook(const QString& fileName, const grid::GridViewModel* grid,
                                  const SystemColors& colors = SystemColors{});

} // namespace orvane::exporting
