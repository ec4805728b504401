#include "export/GridExport.h"

#include "common/Errors.h"
#include "export/FileSink.h"
#include "export/XLSExportProvider.h"
#include "grid/GridViewModel.h"
#include "store/ExportRecord.h"

#include <QLocale>
#include <algorithm>
#include <map>

namespace orvane::exporting {

namespace {

bool verticalLines(ExportGridLines g) { return g == ExportGridLines::Both || g == ExportGridLines::VerticalOnly; }
bool horizontalLines(ExportGridLines g) { return g == ExportGridLines::Both || g == ExportGridLines::HorizontalOnly; }

void setBorderWidths(ExportCellStyle& s, int horizontal, int vertical)
{
    s.border(BorderSide::Left).Width = vertical;
    s.border(BorderSide::Right).Width = vertical;
    s.border(BorderSide::Top).Width = horizontal;
    s.border(BorderSide::Bottom).Width = horizontal;
}

// Columns of a band, row by row, each row in display order.
QVector<int> bandColumnsRowByRow(const ExportSource& source, int band)
{
    QVector<int> ids = source.visibleColumns(band);
    std::stable_sort(ids.begin(), ids.end(), [&](int a, int b) {
        return source.column(a).rowIndex < source.column(b).rowIndex;
    });
    return ids;
}

enum BorderBits { kLeftLine = 1, kRightLine = 2, kTopLine = 4, kBottomLine = 8 };

} // namespace

// --- table map --------------------------------------------------------------

void TcxGridExportTableMap::addBoundary(int b)
{
    b = std::max(b, 0);
    int sum = 0;
    if (b == sum)
        return;
    for (std::size_t i = 0; i < columnWidths.size(); ++i) {
        sum += columnWidths[i];
        if (b == sum)
            return;
        if (b < sum) {
            const int right = sum - b;
            columnWidths[i] -= right;
            columnWidths.insert(columnWidths.begin() + std::ptrdiff_t(i) + 1, right);
            return;
        }
    }
    if (b > sum)
        columnWidths.push_back(b - sum);
}

int TcxGridExportTableMap::sheetColumnOf(int position) const
{
    if (position <= 0)
        return 0;
    int below = 0, sum = 0;
    for (int w : columnWidths) {
        sum += w;
        if (sum < position)
            ++below;
        else
            break;
    }
    return std::min(1 + below, int(columnWidths.size()));
}

// --- result -----------------------------------------------------------------

QString ExportResult::notice() const
{
    const QLocale locale;
    QStringList parts;
    if (recordsLeftOut > 0)
        parts << QStringLiteral("The sheet holds only %1 of the %2 rows shown; the last %3 rows were left out.")
                     .arg(locale.toString(recordsExported), locale.toString(recordsExported + recordsLeftOut),
                          locale.toString(recordsLeftOut));
    if (columnsLeftOut > 0)
        parts << QStringLiteral("A sheet has at most %1 columns; %2 of the grid's columns were left out.")
                     .arg(locale.toString(sheetColumnLimit), locale.toString(columnsLeftOut));
    if (textsShortened == 1)
        parts << QStringLiteral("A cell holds at most 32,767 characters; the text of 1 cell was cut there.");
    else if (textsShortened > 1)
        parts << QStringLiteral("A cell holds at most 32,767 characters; the texts of %1 cells were cut there.")
                     .arg(locale.toString(textsShortened));
    return parts.join(u' ');
}

// --- the export -------------------------------------------------------------

TcxGridBandedTableViewExport::TcxGridBandedTableViewExport(const QString& fileName, int exportType,
                                                           const ExportSource& source, const SystemColors& colors)
    : m_source(source), m_colors(colors)
{
    try {
        m_provider = TcxExport::Provider(exportType, fileName, colors);
    } catch (const ExportFileError&) {
        throw EcxGridExport(QStringLiteral("Can't create the export output file"));
    }
}

void TcxGridBandedTableViewExport::registerStyles()
{
    const ExportViewOptions opt = m_source.options();
    const int vertical = verticalLines(opt.gridLines) ? 1 : 0;
    const int horizontal = horizontalLines(opt.gridLines) ? 1 : 0;
    IcxExportProvider& p = *m_provider;
    auto add = [&p](ExportCellStyle s) { return p.AddStyle(s); };
    const ExportCellStyle base = defaultExportCellStyle(m_colors);

    p.SetBaseStyle(base);

    // Registry index 0: the style of every cell that no part of the sheet
    // styles (the cells of a merged range in its anchor's row or column, a
    // sheet column outside every band). Its XF is written, so it stays.
    ExportCellStyle unstyled = base;
    unstyled.FontColor = rgbColor(0, 0, 255);
    setBorderWidths(unstyled, horizontal, vertical);
    add(unstyled);

    const int columns = m_source.columnCount();
    m_headerStyle.assign(std::size_t(columns), 0);
    m_contentEven.assign(std::size_t(columns), 0);
    m_contentOdd.assign(std::size_t(columns), 0);
    for (int c = 0; c < columns; ++c) {
        ExportCellStyle header = base;
        header.BrushBkColor = m_colors.buttonFace;
        header.AlignText = std::uint8_t(m_columns[std::size_t(c)].headerAlignment);
        m_headerStyle[std::size_t(c)] = add(header);
    }
    for (int c = 0; c < columns; ++c) {
        ExportCellStyle content = base;
        setBorderWidths(content, horizontal, vertical);
        content.AlignText = std::uint8_t(m_columns[std::size_t(c)].contentAlignment);
        m_contentEven[std::size_t(c)] = add(content);
        m_contentOdd[std::size_t(c)] = add(content);
    }

    m_bandHeaderStyle.clear();
    m_bandBackground.clear();
    m_bandContentEven.clear();
    m_bandContentOdd.clear();
    for (const ExportBandInfo& band : m_bands) {
        ExportCellStyle header = base;
        header.AlignText = std::uint8_t(band.headerAlignment);
        header.BrushBkColor = m_colors.buttonFace;
        m_bandHeaderStyle.push_back(add(header));
    }
    for (std::size_t b = 0; b < std::size_t(m_bands.size()); ++b) {
        ExportCellStyle background = base;
        setBorderWidths(background, 0, 0);
        background.BrushBkColor = rgbColor(128, 128, 128);
        background.FontStyle = 0;
        m_bandBackground.push_back(add(background));
    }
    for (std::size_t b = 0; b < std::size_t(m_bands.size()); ++b) {
        ExportCellStyle content = base;
        setBorderWidths(content, 0, 0);
        content.FontStyle = 0;
        m_bandContentEven.push_back(add(content));
        m_bandContentOdd.push_back(add(content));
    }
}

void TcxGridBandedTableViewExport::buildTableMap()
{
    m_map = {};
    const int headerRows = std::max(1, m_source.headerRowCount());

    // First pass: every right edge becomes a sheet column boundary.
    int x = 0;
    for (const ExportBandInfo& band : m_bands) {
        std::vector<int> rowPos(std::size_t(headerRows), x);
        for (int id : bandColumnsRowByRow(m_source, band.index)) {
            const ExportColumnInfo& c = m_columns[std::size_t(id)];
            int& pos = rowPos[std::size_t(std::clamp(c.rowIndex, 0, headerRows - 1))];
            pos += c.width;
            m_map.addBoundary(pos);
        }
        x += band.width;
        m_map.addBoundary(x);
    }

    // Second pass: the band line and the header lines.
    m_map.headerLines.assign(std::size_t(headerRows), {});
    m_itemBand.clear();
    x = 0;
    for (int b = 0; b < m_bands.size(); ++b) {
        const ExportBandInfo& band = m_bands[b];
        const int first = m_map.sheetColumnOf(x);
        m_map.bandLine.push_back({1, band.index, first, band.caption, m_map.sheetColumnOf(x + band.width) - first});
        m_itemBand.push_back(b);
        std::vector<int> rowPos(std::size_t(headerRows), x);
        for (int id : bandColumnsRowByRow(m_source, band.index)) {
            const ExportColumnInfo& c = m_columns[std::size_t(id)];
            const std::size_t row = std::size_t(std::clamp(c.rowIndex, 0, headerRows - 1));
            const int left = rowPos[row];
            rowPos[row] = left + c.width;
            const int firstColumn = m_map.sheetColumnOf(left);
            m_map.headerLines[row].push_back(
                {std::max(1, c.rowSpan), id, firstColumn, c.caption, m_map.sheetColumnOf(left + c.width) - firstColumn});
        }
        x += band.width;
    }
}

void TcxGridBandedTableViewExport::putTextOf(int column, int row, QStringView text)
{
    m_provider->PutDisplayText(column, row, text);
}

void TcxGridBandedTableViewExport::collectLayout()
{
    m_bands = m_source.visibleBands();
    m_columns.clear();
    for (int c = 0; c < m_source.columnCount(); ++c) {
        ExportColumnInfo info = m_source.column(c);
        info.index = c;
        m_columns.push_back(info);
    }
}

ExportResult TcxGridBandedTableViewExport::DoExport()
{
    IcxExportProvider& p = *m_provider;
    const ExportViewOptions opt = m_source.options();
    collectLayout();
    // Expanding: this view has neither group nor master rows.
    registerStyles();
    buildTableMap();

    ExportResult result;
    result.sheetColumnLimit = p.MaxColumns();
    // Without bands there is no sheet to fill.
    if (m_bands.isEmpty()) {
        p.WriteWorkbook();
        return result;
    }
    const int records = m_source.recordCount();
    sizeSheet(opt, records);
    result.columnsLeftOut = columnsLeftOut();
    writeBandRow(opt);
    if (m_frame.visibleColumnCount == 0) {
        p.WriteWorkbook();
        return result;
    }
    mapBandsToColumns();
    writeBandBackgrounds();
    placeHeaderItems();
    if (opt.columnHeaders)
        writeColumnHeaders();

    const int recordsInSheet =
        std::max(0, std::min(records, (m_frame.rowsInSheet - m_frame.recordStart) / m_frame.headerRows));
    result.recordsExported = recordsInSheet;
    result.recordsLeftOut = records - recordsInSheet;
    // Every style first (column by column over all records, the merges
    // record by record, the closing edges), then the texts record by record,
    // top to bottom: each row is final once its record's texts are in, so
    // a writer can stream the rows out while the memory stays flat.
    writeRecordStyles(opt.gridLines, recordsInSheet);
    for (int r = 0; r < recordsInSheet; ++r)
        mergeRecordCells(r);
    drawClosingEdges(opt.gridLines);
    p.RowsComplete(m_frame.recordStart - 1);
    prepareExportRecord();
    for (int r = 0; r < recordsInSheet; ++r) {
        writeRecordTexts(r);
        p.RowsComplete(m_frame.recordStart + (r + 1) * m_frame.headerRows - 1);
    }
    freezeHeaderRows(opt);

    result.textsShortened = p.ShortenedTextCount();
    writeExportRecord();
    p.WriteWorkbook();
    return result;
}

void TcxGridBandedTableViewExport::sizeSheet(const ExportViewOptions& opt, int records)
{
    SheetFrame& f = m_frame;
    f = {};
    f.headerRows = int(m_map.headerLines.size());
    for (const auto& line : m_map.headerLines)
        f.visibleColumnCount += int(line.size());
    f.sheetColumns = int(m_map.columnWidths.size());
    f.headerStart = opt.bandHeaders ? 1 : 0;
    f.recordStart = f.headerStart + (opt.columnHeaders ? f.headerRows : 0);
    const std::int64_t wantedRows = std::int64_t(f.recordStart) + std::int64_t(records) * f.headerRows;
    m_provider->SetSheetSize(f.sheetColumns,
                             f.visibleColumnCount > 0 ? int(std::min<std::int64_t>(wantedRows, INT_MAX)) : 1, false);
    for (int i = 0; i < f.sheetColumns && i < m_provider->MaxColumns(); ++i)
        m_provider->SetColumnPixelWidth(i, m_map.columnWidths[std::size_t(i)]);
    f.rowsInSheet = int(std::min<std::int64_t>(wantedRows, m_provider->MaxRows()));
    f.columnsInSheet = std::min(f.sheetColumns, m_provider->MaxColumns());
}

int TcxGridBandedTableViewExport::columnsLeftOut() const
{
    int count = 0;
    for (const auto& line : m_map.headerLines)
        for (const auto& item : line)
            if (item.firstColumn >= m_provider->MaxColumns())
                ++count;
    return count;
}

void TcxGridBandedTableViewExport::writeBandRow(const ExportViewOptions& opt)
{
    if (!opt.bandHeaders)
        return;
    for (std::size_t i = 0; i < m_map.bandLine.size(); ++i) {
        const auto& item = m_map.bandLine[i];
        m_provider->MergeCells(item.firstColumn, 0, 1, item.columnSpan, m_bandHeaderStyle[i]);
        putTextOf(item.firstColumn, 0, item.caption);
    }
}

void TcxGridBandedTableViewExport::mapBandsToColumns()
{
    const int sheetColumns = m_frame.sheetColumns;
    m_bandOf.assign(std::size_t(sheetColumns), -1);
    for (std::size_t i = 0; i < m_map.bandLine.size(); ++i) {
        const auto& item = m_map.bandLine[i];
        for (int x = item.firstColumn; x < item.firstColumn + item.columnSpan && x < sheetColumns; ++x)
            m_bandOf[std::size_t(x)] = m_itemBand[i];
    }
    m_bandEnds.assign(std::size_t(sheetColumns), 0);
    for (int x = 0; x + 1 < sheetColumns; ++x)
        m_bandEnds[std::size_t(x)] = m_bandOf[std::size_t(x)] != m_bandOf[std::size_t(x + 1)];
}

int TcxGridBandedTableViewExport::bandStyle(const std::vector<int>& styles, int x) const
{
    const int b = m_bandOf[std::size_t(x)];
    return b >= 0 ? styles[std::size_t(b)] : 0;
}

void TcxGridBandedTableViewExport::writeBandBackgrounds()
{
    const SheetFrame& f = m_frame;
    for (int x = 0; x < f.columnsInSheet; ++x)
        for (int y = f.headerStart; y < f.headerStart + f.headerRows && y < f.rowsInSheet; ++y)
            m_provider->ApplyStyle(x, y, bandStyle(m_bandBackground, x));
}

void TcxGridBandedTableViewExport::placeHeaderItems()
{
    // Each line's items start at their band's running row as it stood when
    // the line reached the band.
    m_itemRows.assign(m_map.headerLines.size(), {});
    std::map<int, int> running;
    for (std::size_t l = 0; l < m_map.headerLines.size(); ++l) {
        const std::map<int, int> atLineStart = running;
        for (const auto& item : m_map.headerLines[l]) {
            const int band = m_columns[std::size_t(item.index)].band;
            const auto it = atLineStart.find(band);
            const int rel = it == atLineStart.end() ? 0 : it->second;
            m_itemRows[l].push_back(rel);
            running[band] = std::max(running[band], rel + item.rowSpan);
        }
    }
    m_multiCell.clear();
    m_lineColumns.clear();
    for (std::size_t l = 0; l < m_map.headerLines.size(); ++l) {
        std::vector<int> ids;
        for (std::size_t i = 0; i < m_map.headerLines[l].size(); ++i) {
            const auto& item = m_map.headerLines[l][i];
            if (item.rowSpan > 1 || item.columnSpan > 1)
                m_multiCell.push_back({int(l), int(i)});
            ids.push_back(item.index);
        }
        m_lineColumns.push_back(std::move(ids));
    }
}

void TcxGridBandedTableViewExport::writeColumnHeaders()
{
    for (std::size_t l = 0; l < m_map.headerLines.size(); ++l) {
        for (std::size_t i = 0; i < m_map.headerLines[l].size(); ++i) {
            const auto& item = m_map.headerLines[l][i];
            const int row = m_frame.headerStart + m_itemRows[l][i];
            m_provider->MergeCells(item.firstColumn, row, item.rowSpan, item.columnSpan,
                                   m_headerStyle[std::size_t(item.index)]);
            putTextOf(item.firstColumn, row, item.caption);
        }
    }
}

// Every record of one parity gets the same styles cell for cell, so the
// style of each cell of a record (band background, column content, the
// lines) is worked out once per parity and relative row, registering the
// styles in the order a cell-by-cell walk of the first records would.
std::vector<int> TcxGridBandedTableViewExport::recordPattern(int parity, ExportGridLines gridLines)
{
    const int headerRows = m_frame.headerRows;
    const int columnsInSheet = m_frame.columnsInSheet;
    const auto& bandContent = parity ? m_bandContentOdd : m_bandContentEven;
    const auto& content = parity ? m_contentOdd : m_contentEven;
    std::vector<int> base(std::size_t(headerRows * columnsInSheet));
    for (int rel = 0; rel < headerRows; ++rel)
        for (int x = 0; x < columnsInSheet; ++x)
            base[std::size_t(rel * columnsInSheet + x)] = bandStyle(bandContent, x);
    // Merging styles the anchor and the cells off its row and column.
    for (std::size_t l = 0; l < m_map.headerLines.size(); ++l) {
        for (std::size_t i = 0; i < m_map.headerLines[l].size(); ++i) {
            const auto& item = m_map.headerLines[l][i];
            const int rel0 = m_itemRows[l][i];
            const int style = content[std::size_t(item.index)];
            for (int x = item.firstColumn; x < item.firstColumn + item.columnSpan && x < columnsInSheet; ++x)
                for (int rel = rel0; rel < rel0 + item.rowSpan && rel < headerRows; ++rel)
                    if ((x == item.firstColumn && rel == rel0) || (x != item.firstColumn && rel != rel0))
                        base[std::size_t(rel * columnsInSheet + x)] = style;
        }
    }
    const bool vertical = verticalLines(gridLines);
    const bool horizontal = horizontalLines(gridLines);
    std::vector<int> out(base.size());
    std::map<std::pair<int, int>, int> memo;   // (style, lines) -> style
    for (int x = 0; x < columnsInSheet; ++x) {
        for (int rel = 0; rel < headerRows; ++rel) {
            int lines = 0;
            if (vertical && m_bandEnds[std::size_t(x)])
                lines |= kRightLine;
            if (vertical && x > 0 && m_bandEnds[std::size_t(x - 1)])
                lines |= kLeftLine;
            if (horizontal && rel == 0)
                lines |= kTopLine;
            if (horizontal && rel == headerRows - 1)
                lines |= kBottomLine;
            const int s = base[std::size_t(rel * columnsInSheet + x)];
            if (!lines) {
                out[std::size_t(rel * columnsInSheet + x)] = s;
                continue;
            }
            auto [it, fresh] = memo.try_emplace({s, lines}, 0);
            if (fresh) {
                ExportCellStyle copy = m_provider->StyleAt(s);
                if (lines & kRightLine) copy.border(BorderSide::Right).Width = 1;
                if (lines & kLeftLine) copy.border(BorderSide::Left).Width = 1;
                if (lines & kTopLine) copy.border(BorderSide::Top).Width = 1;
                if (lines & kBottomLine) copy.border(BorderSide::Bottom).Width = 1;
                it->second = m_provider->AddStyle(copy);
            }
            out[std::size_t(rel * columnsInSheet + x)] = it->second;
        }
    }
    return out;
}

void TcxGridBandedTableViewExport::writeRecordStyles(ExportGridLines gridLines, int recordsInSheet)
{
    if (recordsInSheet <= 0)
        return;
    const int headerRows = m_frame.headerRows;
    m_recordStyles[0] = recordPattern(0, gridLines);
    m_recordStyles[1] = recordsInSheet > 1 ? recordPattern(1, gridLines) : m_recordStyles[0];
    // The records alternate between the two parities' patterns.
    std::vector<int> columnPattern(std::size_t(2 * headerRows));
    for (int x = 0; x < m_frame.columnsInSheet; ++x) {
        for (int parity = 0; parity < 2; ++parity)
            for (int rel = 0; rel < headerRows; ++rel)
                columnPattern[std::size_t(parity * headerRows + rel)] =
                    m_recordStyles[parity][std::size_t(rel * m_frame.columnsInSheet + x)];
        m_provider->ApplyColumnStyles(x, m_frame.recordStart, recordsInSheet * headerRows, columnPattern.data(),
                                      int(columnPattern.size()));
    }
}

void TcxGridBandedTableViewExport::mergeRecordCells(int r)
{
    IcxExportProvider& p = *m_provider;
    const SheetFrame& f = m_frame;
    const auto& content = (r & 1) ? m_contentOdd : m_contentEven;
    const int y0 = f.recordStart + r * f.headerRows;
    for (const auto& [l, i] : m_multiCell) {
        const auto& item = m_map.headerLines[std::size_t(l)][std::size_t(i)];
        const int row = y0 + m_itemRows[std::size_t(l)][std::size_t(i)];
        p.MergeCells(item.firstColumn, row, item.rowSpan, item.columnSpan, content[std::size_t(item.index)]);
        // Merging restyled the range; its cells take their final styles again.
        const std::vector<int>& styles = m_recordStyles[r & 1];
        for (int x = item.firstColumn; x < item.firstColumn + item.columnSpan && x < f.columnsInSheet; ++x)
            for (int rel = 0; rel < f.headerRows; ++rel)
                p.ApplyStyle(x, y0 + rel, styles[std::size_t(rel * f.columnsInSheet + x)]);
    }
}

void TcxGridBandedTableViewExport::writeRecordTexts(int r)
{
    IcxExportProvider& p = *m_provider;
    const SheetFrame& f = m_frame;
    const int y0 = f.recordStart + r * f.headerRows;
    for (std::size_t l = 0; l < m_map.headerLines.size(); ++l) {
        const auto& line = m_map.headerLines[l];
        // One request per record and header line for all its texts.
        const std::vector<int>& ids = m_lineColumns[l];
        m_texts.resize(ids.size());
        m_source.displayTexts(r, ids.data(), int(ids.size()), m_texts.data());
        for (std::size_t i = 0; i < line.size(); ++i)
            if (line[i].firstColumn < f.columnsInSheet && !m_texts[i].isEmpty())
                p.PutDisplayText(line[i].firstColumn, y0 + m_itemRows[l][i], m_texts[i]);
        recordTexts(l);
    }
}

void TcxGridBandedTableViewExport::drawClosingEdges(ExportGridLines gridLines)
{
    IcxExportProvider& p = *m_provider;
    const SheetFrame& f = m_frame;
    // The last row gets bottom lines up to the first cell that has one.
    const int lastRow = f.rowsInSheet - 1;
    const int walk = std::min(f.columnsInSheet, int(m_map.headerLines.front().size()));
    for (int x = 0; x < walk; ++x) {
        const ExportCellStyle* current = p.CellStyleOf(x, lastRow);
        if (!current || current->border(BorderSide::Bottom).Width != 0)
            break;
        ExportCellStyle copy = *current;
        copy.border(BorderSide::Bottom).Width = 1;
        p.ApplyStyleRecord(x, lastRow, copy);
    }
    // The last column gets a right line in every row.
    if (verticalLines(gridLines) && f.columnsInSheet > 0) {
        for (int y = 0; y < f.rowsInSheet; ++y) {
            const ExportCellStyle* current = p.CellStyleOf(f.columnsInSheet - 1, y);
            if (!current)
                continue;
            ExportCellStyle copy = *current;
            copy.border(BorderSide::Right).Width = 1;
            p.ApplyStyleRecord(f.columnsInSheet - 1, y, copy);
        }
    }
}

void TcxGridBandedTableViewExport::freezeHeaderRows(const ExportViewOptions& opt)
{
    // The band and caption rows stay in view, and the caption row carries
    // filter buttons over the exported columns. A record of several rows
    // would be torn apart by a row filter, so it gets none.
    const SheetFrame& f = m_frame;
    m_provider->FreezeRows(f.recordStart);
    if (opt.columnHeaders && f.headerRows == 1 && f.columnsInSheet > 0)
        m_provider->SetAutoFilter(f.recordStart - 1, 0, f.columnsInSheet - 1, f.rowsInSheet - 1);
}

// The record of what was exported (store/ExportRecord.h) covers the
// ActivityID, Description and log columns that made it into the sheet.
// Without an exported ActivityID column no row could be matched, and there
// is no record.
void TcxGridBandedTableViewExport::prepareExportRecord()
{
    struct Recorded {
        RecordSlot slot;
        int sheetColumn;
        int field;
    };
    std::vector<Recorded> recorded;
    bool withId = false;
    for (std::size_t l = 0; l < m_map.headerLines.size(); ++l)
        for (std::size_t i = 0; i < m_map.headerLines[l].size(); ++i) {
            const TcxGridExportTableMapItem& item = m_map.headerLines[l][i];
            const int field = store::fieldIndex(m_columns[std::size_t(item.index)].caption);
            if (item.firstColumn >= m_frame.columnsInSheet
                || (field != store::kActivityIdColumn && !store::isWorkbookTextColumn(field)))
                continue;
            withId = withId || field == store::kActivityIdColumn;
            recorded.push_back({{l, i}, item.firstColumn, field});
        }
    if (!withId)
        return;
    // ActivityID first, the texts in sheet order.
    std::stable_sort(recorded.begin(), recorded.end(), [](const Recorded& a, const Recorded& b) {
        const bool aId = a.field == store::kActivityIdColumn, bId = b.field == store::kActivityIdColumn;
        return aId != bId ? aId : a.sheetColumn < b.sheetColumn;
    });
    std::vector<int> textFields;
    for (const Recorded& r : recorded) {
        m_recordSlots.push_back(r.slot);
        if (r.field != store::kActivityIdColumn)
            textFields.push_back(r.field);
    }
    m_recordTexts.resize(m_recordSlots.size());
    m_recordViews.resize(textFields.size());
    m_record.emplace(std::move(textFields));
}

// Called with each header line's texts of a record, while they are valid:
// once the record's last line is in, its texts join the record.
void TcxGridBandedTableViewExport::recordTexts(std::size_t line)
{
    if (!m_record)
        return;
    const bool lastLine = line + 1 == m_map.headerLines.size();
    const auto textOf = [&](std::size_t s) -> QStringView {
        const RecordSlot& slot = m_recordSlots[s];
        return slot.line == line ? m_texts[slot.item] : QStringView(m_recordTexts[s]);
    };
    if (!lastLine) {
        for (std::size_t s = 0; s < m_recordSlots.size(); ++s)
            if (m_recordSlots[s].line == line)
                m_recordTexts[s] = m_texts[m_recordSlots[s].item].toString();
        return;
    }
    for (std::size_t s = 1; s < m_recordSlots.size(); ++s)
        m_recordViews[s - 1] = textOf(s);
    m_record->addActivity(textOf(0), m_recordViews.data());
}

void TcxGridBandedTableViewExport::writeExportRecord()
{
    if (!m_record)
        return;
    const QStringList captions = m_record->captionRow();
    const QStringList lines = m_record->takeLineCells();
    IcxExportProvider& p = *m_provider;
    p.AddHiddenSheet(store::exportRecordSheetName(), int(captions.size()), 1 + int(lines.size()));
    for (int c = 0; c < captions.size(); ++c)
        p.PutHiddenText(c, 0, captions.at(c));
    for (int r = 0; r < lines.size(); ++r)
        p.PutHiddenText(0, 1 + r, lines.at(r));
}

ExportResult ExportGridWithProvider(const QString& fileName, int exportType, const ExportSource* source,
                                    const SystemColors& colors)
{
    if (!source)
        return {};
    if (!source->hasActiveLevel())
        throw EcxGridExport(QStringLiteral("Active grid level does not exist"));
    if (!source->hasView())
        throw EcxGridExport(QStringLiteral("Grid view does not exist"));
    TcxGridBandedTableViewExport exporter(fileName, exportType, *source, colors);
    return exporter.DoExport();
}

// --- the grid view model as a source ----------------------------------------

namespace {

ExportAlign alignOf(grid::Alignment a)
{
    switch (a) {
    case grid::Alignment::Left: return ExportAlign::Left;
    case grid::Alignment::Right: return ExportAlign::Right;
    case grid::Alignment::Center: break;
    }
    return ExportAlign::Center;
}

} // namespace

ExportViewOptions GridExportSource::options() const
{
    const grid::GridViewOptions& o = m_model.options();
    ExportViewOptions out;
    out.bandHeaders = o.bandHeaders;
    out.columnHeaders = o.columnHeaders;
    switch (o.gridLines) {
    case grid::GridLines::Both: out.gridLines = ExportGridLines::Both; break;
    case grid::GridLines::None: out.gridLines = ExportGridLines::None; break;
    case grid::GridLines::VerticalOnly: out.gridLines = ExportGridLines::VerticalOnly; break;
    case grid::GridLines::HorizontalOnly: out.gridLines = ExportGridLines::HorizontalOnly; break;
    }
    return out;
}

int GridExportSource::columnCount() const { return m_model.columnCount(); }

ExportColumnInfo GridExportSource::column(int index) const
{
    const grid::GridColumn& c = m_model.column(index);
    ExportColumnInfo out;
    out.index = index;
    out.band = c.band;
    out.caption = m_model.columnCaption(index);
    out.headerAlignment = alignOf(c.headerAlignment);
    out.contentAlignment = alignOf(c.contentAlignment);
    out.rowIndex = c.rowIndex;
    out.rowSpan = c.rowSpan;
    out.width = m_model.columnWidth(index);
    return out;
}

QVector<ExportBandInfo> GridExportSource::visibleBands() const
{
    QVector<ExportBandInfo> out;
    for (int b : m_model.visibleBands()) {
        const grid::GridBand& band = m_model.band(b);
        out.push_back({b, band.caption, alignOf(band.headerAlignment), m_model.bandWidth(b)});
    }
    return out;
}

QVector<int> GridExportSource::visibleColumns(int band) const { return m_model.visibleColumns(band); }

int GridExportSource::headerRowCount() const { return m_model.headerRowCount(); }

int GridExportSource::recordCount() const { return m_model.rowCount(); }

QStringView GridExportSource::displayText(int record, int column) const
{
    m_text = m_model.displayText(record, column);
    return m_text;
}

void GridExportSource::displayTexts(int record, const int* columns, int count, QStringView* texts) const
{
    m_texts.resize(std::size_t(count));
    m_model.displayTexts(record, columns, count, m_texts.data());
    for (int i = 0; i < count; ++i)
        texts[i] = m_texts[std::size_t(i)];
}

ExportResult ExportGridAsWorkbook(const QString& fileName, const grid::GridViewModel* grid,
                                  const SystemColors& colors)
{
    if (!grid)
        return {};
    // Every row the view shows is exported, also those a requery is still
    // fetching in the background.
    if (!grid->allRowsPresent())
        grid->fetchAllRows();
    const GridExportSource source(*grid);
    return ExportGridWithProvider(fileName, exportKindForFileName(fileName), &source, colors);
}

} // namespace orvane::exporting
