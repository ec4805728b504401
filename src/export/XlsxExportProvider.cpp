#include "export/XlsxExportProvider.h"

#include "common/Errors.h"
#include "common/ReplacingFile.h"
#include "export/ExportStyleManager.h"
#include "export/TextCodec.h"
#include "export/XLSExportProvider.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <clocale>
#include <cstdlib>
#include <utility>
#include <xlsxwriter.h>

namespace orvane::exporting {

namespace {

// libxlsxwriter's colours are 0xRRGGBB, the styles' 0x00BBGGRR.
lxw_color_t lxwColor(ColorRef c)
{
    return lxw_color_t(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
}

std::uint8_t lxwBorder(const ExportCellBorder& b)
{
    if (b.IsDefault != 0 || b.Width <= 0)
        return LXW_BORDER_NONE;
    return b.Width == 1 ? LXW_BORDER_THIN : b.Width == 2 ? LXW_BORDER_MEDIUM : LXW_BORDER_THICK;
}

EcxExportData invalidCellDimension()
{
    return EcxExportData(QStringLiteral("Invalid cell dimension"));
}

// Appends UTF-8 of UTF-16 characters; a lone surrogate becomes U+FFFD.
void appendUtf8(std::string& out, const char16_t* p, std::size_t n)
{
    // At most three bytes a UTF-16 unit (a surrogate pair takes four).
    const std::size_t start = out.size();
    out.resize(start + 3 * n);
    char* d = out.data() + start;
    for (std::size_t i = 0; i < n; ++i) {
        std::uint32_t c = p[i];
        if (c < 0x80) {
            *d++ = char(c);
            continue;
        }
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (p[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x800) {
            *d++ = char(0xC0 | (c >> 6));
        } else if (c < 0x10000) {
            *d++ = char(0xE0 | (c >> 12));
            *d++ = char(0x80 | ((c >> 6) & 0x3F));
        } else {
            *d++ = char(0xF0 | (c >> 18));
            *d++ = char(0x80 | ((c >> 12) & 0x3F));
            *d++ = char(0x80 | ((c >> 6) & 0x3F));
        }
        *d++ = char(0x80 | (c & 0x3F));
    }
    out.resize(std::size_t(d - out.data()));
}

} // namespace

TcxXLSXExportProvider::NumericLocale::NumericLocale()
{
    if (const char* current = std::setlocale(LC_NUMERIC, nullptr))
        m_saved = current;
    std::setlocale(LC_NUMERIC, "C");
}

TcxXLSXExportProvider::NumericLocale::~NumericLocale()
{
    if (!m_saved.empty())
        std::setlocale(LC_NUMERIC, m_saved.c_str());
}

std::unique_ptr<IcxExportProvider> TcxXLSXExportProvider::Create(const QString& fileName,
                                                                 const SystemColors& colors)
{
    return std::make_unique<TcxXLSXExportProvider>(fileName, colors);
}

TcxXLSXExportProvider::TcxXLSXExportProvider(const QString& fileName, const SystemColors& colors)
    : m_outputName(fileName), m_colors(colors), m_defaultStyle(defaultExportCellStyle(colors))
{
    // The new file is made now, so a folder that takes none says so before
    // any work; it replaces the old one only once complete.
    m_output = std::make_unique<ReplacingFile>(m_outputName);
    // The library writes the package, and the rows before it, into the
    // system's folder for temporary files (on Windows the user's, since its
    // default there is the drive's root); the package is then copied into
    // the new file.
    QTemporaryFile work(QDir(QDir::tempPath()).filePath(QStringLiteral("orvane-XXXXXX.xlsx")));
    if (!work.open())
        throw FileWriteError(QStringLiteral("Cannot create file \"%1\": %2")
                                 .arg(QDir::toNativeSeparators(work.fileTemplate()), work.errorString()));
    m_workFile = work.fileName();
    work.setAutoRemove(false);
    work.close();
    m_workFileName = QFile::encodeName(m_workFile);
    m_temporaryFolder = QFile::encodeName(QDir::toNativeSeparators(QDir::tempPath()));

    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = m_temporaryFolder.data();
    m_workbook = workbook_new_opt(m_workFileName.constData(), &options);
    if (!m_workbook)
        throw FileWriteError(QStringLiteral("Cannot create file \"%1\"").arg(QDir::toNativeSeparators(m_workFile)));
    const QString sheetName =
        TcxXLSExportProvider::AcceptableSheetName(QFileInfo(m_outputName).completeBaseName());
    m_sheet = workbook_add_worksheet(m_workbook, sheetName.toUtf8().constData());
    if (!m_sheet)
        m_sheet = workbook_add_worksheet(m_workbook, nullptr);
    m_styles = TcxExportStyleManager::GetInstance(fileName, m_defaultStyle);
}

TcxXLSXExportProvider::~TcxXLSXExportProvider()
{
    // A workbook never closed is dropped with what it wrote.
    if (m_workbook)
        lxw_workbook_free(m_workbook);
    if (!m_workFile.isEmpty())
        QFile::remove(m_workFile);
    if (m_styles)
        m_styles->Release();
}

// --- the sheet and its styles -------------------------------------------------

bool TcxXLSXExportProvider::validCell(int column, int row) const
{
    checkSheetSize();
    return unsigned(column) < unsigned(m_columnCount) && unsigned(row) < unsigned(m_rowCount);
}

void TcxXLSXExportProvider::checkSheetSize() const
{
    if (m_columnCount < 0 || m_rowCount < 0)
        throw invalidCellDimension();
}

void TcxXLSXExportProvider::SetSheetSize(int columnCount, int rowCount, bool gridLines)
{
    m_columnCount = std::clamp(columnCount, 0, kMaxColumns);
    m_rowCount = std::clamp(rowCount, 0, kMaxRows);
    m_columns.assign(std::size_t(m_columnCount), {});
    m_overrides.assign(std::size_t(m_columnCount), {});
    if (!gridLines)
        worksheet_gridlines(m_sheet, LXW_HIDE_ALL_GRIDLINES);
}

void TcxXLSXExportProvider::SetColumnPixelWidth(int column, int width)
{
    if (column >= 0 && column < int(m_columns.size()))
        m_columns[std::size_t(column)].pixelWidth = width;
}

void TcxXLSXExportProvider::SetRowPixelHeight(int row, int height)
{
    if (row >= 0 && row < kMaxRows)
        m_rowHeights[row] = height;
}

void TcxXLSXExportProvider::SetBaseStyle(const ExportCellStyle&) {}

int TcxXLSXExportProvider::AddStyle(ExportCellStyle& style) { return m_styles->AddStyle(style); }

const ExportCellStyle& TcxXLSXExportProvider::StyleAt(int index) { return m_styles->StyleAt(index); }

int TcxXLSXExportProvider::styleOf(int column, int row) const
{
    const auto& overrides = m_overrides[std::size_t(column)];
    if (const auto it = overrides.find(row); it != overrides.end())
        return it->second;
    const ColumnStyles& c = m_columns[std::size_t(column)];
    if (row >= c.firstRow && row < c.firstRow + c.rowCount)
        return c.pattern[std::size_t(row - c.firstRow) % c.pattern.size()];
    return 0;
}

const ExportCellStyle* TcxXLSXExportProvider::CellStyleOf(int column, int row)
{
    if (!validCell(column, row))
        return nullptr;
    if (m_styles->Count() == 0)
        return &m_defaultStyle;
    return &m_styles->StyleAt(styleOf(column, row));
}

void TcxXLSXExportProvider::refuseWrittenRow(int row) const
{
    if (m_settled)
        throw EcxExportData(QStringLiteral("Row %1 of the sheet was already written").arg(row + 1));
}

void TcxXLSXExportProvider::ApplyStyle(int column, int row, int styleIndex)
{
    if (!validCell(column, row))
        return;
    refuseWrittenRow(row);
    if (styleIndex < 0 || styleIndex > 0xFFFF - 16)
        throw EcxExportData(QStringLiteral("Style index %1 is not registered").arg(styleIndex));
    auto& overrides = m_overrides[std::size_t(column)];
    overrides.erase(row);
    if (styleOf(column, row) != styleIndex)
        overrides[row] = std::uint16_t(styleIndex);
}

void TcxXLSXExportProvider::ApplyColumnStyles(int column, int firstRow, int rowCount, const int* pattern,
                                              int patternLength)
{
    checkSheetSize();
    if (column < 0 || column >= m_columnCount || patternLength <= 0)
        return;
    refuseWrittenRow(firstRow);
    ColumnStyles& c = m_columns[std::size_t(column)];
    c.pattern.clear();
    for (int i = 0; i < patternLength; ++i) {
        if (pattern[i] < 0 || pattern[i] > 0xFFFF - 16)
            throw EcxExportData(QStringLiteral("Style index %1 is not registered").arg(pattern[i]));
        c.pattern.push_back(std::uint16_t(pattern[i]));
    }
    c.firstRow = firstRow;
    c.rowCount = std::max(0, std::min(rowCount, m_rowCount - firstRow));
    auto& overrides = m_overrides[std::size_t(column)];
    overrides.erase(overrides.lower_bound(firstRow), overrides.lower_bound(firstRow + rowCount));
}

void TcxXLSXExportProvider::CopyCellStyle(int column, int row, int exampleColumn, int exampleRow)
{
    if (!validCell(column, row))
        return;
    const ExportCellStyle* example = CellStyleOf(exampleColumn, exampleRow);
    if (!example)
        return;
    ExportCellStyle copy = *example;
    ApplyStyle(column, row, AddStyle(copy));
}

void TcxXLSXExportProvider::ApplyStyleRecord(int column, int row, ExportCellStyle& style)
{
    ApplyStyle(column, row, AddStyle(style));
}

void TcxXLSXExportProvider::AddMergedRange(int column, int row, int rowSpan, int columnSpan)
{
    checkSheetSize();
    if (column < 0 || row < 0 || column >= m_columnCount || row >= m_rowCount || rowSpan < 1 || columnSpan < 1)
        return;
    const int lastRow = std::min(row + rowSpan - 1, m_rowCount - 1);
    const int lastColumn = std::min(column + columnSpan - 1, m_columnCount - 1);
    if (lastRow > row || lastColumn > column)
        m_merged.push_back({row, lastRow, column, lastColumn});
}

// Styles the cells as the .xls writer does: the anchor and the cells off
// its row and column.
void TcxXLSXExportProvider::MergeCells(int column, int row, int rowSpan, int columnSpan, int styleIndex)
{
    if (!validCell(column, row))
        return;
    const int rows = std::min(rowSpan, m_rowCount - row);
    const int cols = std::min(columnSpan, m_columnCount - column);
    if (rows <= 1 && cols <= 1) {
        ApplyStyle(column, row, styleIndex);
        return;
    }
    AddMergedRange(column, row, rows, cols);
    ApplyStyle(column, row, styleIndex);
    for (int x = column + 1; x < column + cols; ++x)
        for (int y = row + 1; y < row + rows; ++y)
            ApplyStyle(x, y, styleIndex);
}

// --- values -------------------------------------------------------------------

bool TcxXLSXExportProvider::toCellText(QStringView text, std::string& out) const
{
    const auto* chars = reinterpret_cast<const char16_t*>(text.utf16());
    const std::size_t kept = cellTextLength(chars, std::size_t(text.size()));
    appendUtf8(out, chars, kept);
    return kept < std::size_t(text.size());
}

void TcxXLSXExportProvider::putPending(int column, int row, Kind kind, Mark mark, double number, QStringView text)
{
    if (row < m_nextRow)
        throw EcxExportData(QStringLiteral("Row %1 of the sheet was already written").arg(row + 1));
    PendingCell cell{row, column, kind, mark, number, m_textArena.size()};
    if (kind == Kind::Text) {
        if (toCellText(text, m_textArena))
            ++m_shortened;
        m_textArena.push_back('\0');
    }
    // A later value for the same cell replaces the earlier one.
    for (auto it = m_pending.rbegin(); it != m_pending.rend() && it->row == row; ++it)
        if (it->column == column) {
            *it = cell;
            return;
        }
    m_pending.push_back(cell);
}

void TcxXLSXExportProvider::PutNumber(int column, int row, double value)
{
    if (validCell(column, row))
        putPending(column, row, Kind::Number, NoMark, value, {});
}

void TcxXLSXExportProvider::PutInteger(int column, int row, qint32 value) { PutNumber(column, row, double(value)); }

void TcxXLSXExportProvider::PutText(int column, int row, QByteArrayView text)
{
    if (!validCell(column, row) || text.isEmpty())
        return;
    const int charset = m_styles->Count() ? m_styles->StyleAt(styleOf(column, row)).FontCharset
                                          : m_defaultStyle.FontCharset;
    PutWideText(column, row, decodeCodePage(text, codePageForCharset(charset)));
}

void TcxXLSXExportProvider::PutWideText(int column, int row, QStringView text)
{
    if (validCell(column, row) && !text.isEmpty())
        putPending(column, row, Kind::Text, NoMark, 0, text);
}

void TcxXLSXExportProvider::PutDisplayText(int column, int row, QStringView text)
{
    PutWideText(column, row, text);
}

void TcxXLSXExportProvider::PutValue(int column, int row, const QVariant& value)
{
    if (!validCell(column, row))
        return;
    const auto put = [&](double serial, Mark mark) { putPending(column, row, Kind::Number, mark, serial, {}); };
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::UInt:
    case QMetaType::Float:
    case QMetaType::Double:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        PutNumber(column, row, value.toDouble());
        return;
    case QMetaType::QDateTime: {
        const double serial = dateTimeSerial(value.toDateTime());
        put(serial, serial == std::trunc(serial) ? DateMark : DateTimeMark);
        return;
    }
    case QMetaType::QDate:
        put(dateSerial(value.toDate()), DateMark);
        return;
    case QMetaType::QTime:
        put(timeSerial(value.toTime()), TimeMark);
        return;
    case QMetaType::QString:
        PutWideText(column, row, value.toString());
        return;
    case QMetaType::Bool:
        putPending(column, row, Kind::Boolean, NoMark, value.toBool() ? 1 : 0, {});
        return;
    default:
        if (value.metaType() == QMetaType::fromType<ExportCurrency>())
            put(double(value.value<ExportCurrency>().scaled) / 10000.0, CurrencyMark);
        return;
    }
}

// --- panes, filter, hidden sheet ------------------------------------------------

void TcxXLSXExportProvider::FreezeRows(int rows)
{
    checkSheetSize();
    rows = std::clamp(rows, 0, std::min(m_rowCount, kMaxRows - 1));
    if (rows > 0)
        worksheet_freeze_panes(m_sheet, lxw_row_t(rows), 0);
}

void TcxXLSXExportProvider::SetAutoFilter(int row, int firstColumn, int lastColumn, int lastRow)
{
    checkSheetSize();
    firstColumn = std::max(firstColumn, 0);
    lastColumn = std::min(lastColumn, m_columnCount - 1);
    lastRow = std::min(lastRow, m_rowCount - 1);
    if (row < 0 || row > lastRow || firstColumn > lastColumn)
        return;
    check(worksheet_autofilter(m_sheet, lxw_row_t(row), lxw_col_t(firstColumn), lxw_row_t(lastRow),
                               lxw_col_t(lastColumn)),
          "autofilter");
}

void TcxXLSXExportProvider::AddHiddenSheet(const QString& name, int columnCount, int rowCount)
{
    if (m_hiddenSheet)
        return;
    m_hiddenSheet = workbook_add_worksheet(m_workbook, name.toUtf8().constData());
    if (!m_hiddenSheet)
        throw EcxExportData(QStringLiteral("The sheet name \"%1\" is not accepted").arg(name));
    worksheet_hide(m_hiddenSheet);
    m_hiddenColumns = std::clamp(columnCount, 0, kMaxColumns);
    m_hiddenRows = std::clamp(rowCount, 0, kMaxRows);
}

void TcxXLSXExportProvider::PutHiddenText(int column, int row, QStringView text)
{
    if (!m_hiddenSheet || unsigned(column) >= unsigned(m_hiddenColumns) || unsigned(row) >= unsigned(m_hiddenRows)
        || text.isEmpty())
        return;
    m_scratch.clear();
    toCellText(text, m_scratch);
    check(worksheet_write_string(m_hiddenSheet, lxw_row_t(row), lxw_col_t(column), m_scratch.c_str(), nullptr),
          "hidden text");
}

// --- writing ------------------------------------------------------------------------

lxw_format* TcxXLSXExportProvider::formatOf(int styleIndex, Mark mark)
{
    const std::size_t key = std::size_t(styleIndex) * MarkCount + mark;
    if (key >= m_formats.size())
        m_formats.resize(key + 1, nullptr);
    if (m_formats[key])
        return m_formats[key];
    const ExportCellStyle& s = m_styles->Count() ? m_styles->StyleAt(styleIndex) : m_defaultStyle;
    lxw_format* f = workbook_add_format(m_workbook);
    format_set_font_name(f, QByteArray(s.FontName, int(qstrnlen(s.FontName, sizeof s.FontName))).constData());
    format_set_font_size(f, s.FontSize);
    format_set_font_color(f, lxwColor(s.FontColor));
    if (s.FontStyle & kFontBold)
        format_set_bold(f);
    if (s.FontStyle & kFontItalic)
        format_set_italic(f);
    if (s.FontStyle & kFontUnderline)
        format_set_underline(f, LXW_UNDERLINE_SINGLE);
    if (s.FontStyle & kFontStrikeOut)
        format_set_font_strikeout(f);
    static const std::uint8_t kAlign[3] = {LXW_ALIGN_LEFT, LXW_ALIGN_CENTER, LXW_ALIGN_RIGHT};
    format_set_align(f, kAlign[std::min<int>(s.AlignText, 2)]);
    format_set_align(f, LXW_ALIGN_VERTICAL_TOP);
    format_set_text_wrap(f);
    const ExportCellBorder& left = s.border(BorderSide::Left);
    const ExportCellBorder& right = s.border(BorderSide::Right);
    const ExportCellBorder& top = s.border(BorderSide::Top);
    const ExportCellBorder& bottom = s.border(BorderSide::Bottom);
    format_set_left(f, lxwBorder(left));
    format_set_right(f, lxwBorder(right));
    format_set_top(f, lxwBorder(top));
    format_set_bottom(f, lxwBorder(bottom));
    if (lxwBorder(left) != LXW_BORDER_NONE)
        format_set_left_color(f, lxwColor(left.Color));
    if (lxwBorder(right) != LXW_BORDER_NONE)
        format_set_right_color(f, lxwColor(right.Color));
    if (lxwBorder(top) != LXW_BORDER_NONE)
        format_set_top_color(f, lxwColor(top.Color));
    if (lxwBorder(bottom) != LXW_BORDER_NONE)
        format_set_bottom_color(f, lxwColor(bottom.Color));
    // A window-coloured background is no fill, as in the .xls workbook.
    if (s.BrushStyle != 0 && s.BrushBkColor != m_colors.window) {
        format_set_pattern(f, LXW_PATTERN_SOLID);
        format_set_bg_color(f, lxwColor(s.BrushBkColor));
    }
    static const std::uint8_t kFormats[MarkCount] = {0, 22, 14, 21, 5};
    if (mark != NoMark)
        format_set_num_format_index(f, kFormats[mark]);
    return m_formats[key] = f;
}

void TcxXLSXExportProvider::settleStyles()
{
    if (m_settled)
        return;
    checkSheetSize();
    m_settled = true;
    // Each column's format is the style most of its record rows have.
    for (int x = 0; x < m_columnCount; ++x) {
        ColumnStyles& c = m_columns[std::size_t(x)];
        std::map<std::uint16_t, int> counts;
        for (const std::uint16_t s : c.pattern)
            ++counts[s];
        if (c.rowCount > 0 && !counts.empty())
            c.format = std::max_element(counts.begin(), counts.end(), [](const auto& a, const auto& b) {
                           return a.second < b.second;
                       })->first;
        if (c.pixelWidth >= 0 || c.format >= 0)
            check(worksheet_set_column_pixels(m_sheet, lxw_col_t(x), lxw_col_t(x),
                                              std::uint32_t(std::max(c.pixelWidth, 0)),
                                              c.format >= 0 ? formatOf(c.format) : nullptr),
                  "column");
    }
    for (int x = 0; x < m_columnCount; ++x)
        for (const auto& [row, style] : m_overrides[std::size_t(x)])
            m_styledCells.push_back({row, x, style});
    std::sort(m_styledCells.begin(), m_styledCells.end(), [](const StyledCell& a, const StyledCell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    });
    m_overrides.clear();
}

void TcxXLSXExportProvider::RowsComplete(int lastRow)
{
    checkSheetSize();
    settleStyles();
    writeRowsUpTo(std::min(lastRow, m_rowCount - 1));
}

void TcxXLSXExportProvider::writeRowsUpTo(int lastRow)
{
    if (lastRow < m_nextRow)
        return;
    // The cells mostly come in row and column order already.
    const auto before = [](const PendingCell& a, const PendingCell& b) {
        return a.row != b.row ? a.row < b.row : a.column < b.column;
    };
    if (!std::is_sorted(m_pending.begin(), m_pending.end(), before))
        std::stable_sort(m_pending.begin(), m_pending.end(), before);
    std::size_t pending = 0;
    for (int y = m_nextRow; y <= lastRow; ++y)
        writeRow(y, pending, m_styledAt);
    m_nextRow = lastRow + 1;
    m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(pending));
    if (m_pending.empty())
        m_textArena.clear();
}

// Writes the cells of a row that hold a value or are styled otherwise than
// their column's format.
void TcxXLSXExportProvider::writeRow(int row, std::size_t& pending, std::size_t& styled)
{
    const auto y = lxw_row_t(row);
    if (const auto h = m_rowHeights.find(row); h != m_rowHeights.end())
        check(worksheet_set_row_pixels(m_sheet, y, std::uint32_t(std::max(h->second, 0)), nullptr), "row");
    for (int x = 0; x < m_columnCount; ++x) {
        const ColumnStyles& c = m_columns[std::size_t(x)];
        int style = 0;
        if (styled < m_styledCells.size() && m_styledCells[styled].row == row && m_styledCells[styled].column == x)
            style = m_styledCells[styled++].style;
        else if (row >= c.firstRow && row < c.firstRow + c.rowCount)
            style = c.pattern[std::size_t(row - c.firstRow) % c.pattern.size()];
        const auto column = lxw_col_t(x);
        if (pending < m_pending.size() && m_pending[pending].row == row && m_pending[pending].column == x) {
            const PendingCell& cell = m_pending[pending++];
            lxw_format* format = formatOf(style, cell.mark);
            switch (cell.kind) {
            case Kind::Text:
                check(worksheet_write_string(m_sheet, y, column, m_textArena.c_str() + cell.text, format), "text");
                break;
            case Kind::Number:
                check(worksheet_write_number(m_sheet, y, column, cell.number, format), "number");
                break;
            case Kind::Boolean:
                check(worksheet_write_boolean(m_sheet, y, column, cell.number != 0, format), "Boolean");
                break;
            }
        } else if (style != c.format) {
            check(worksheet_write_blank(m_sheet, y, column, formatOf(style)), "blank");
        }
    }
}

void TcxXLSXExportProvider::check(int error, const char* what)
{
    if (error != LXW_NO_ERROR)
        throw EcxExportData(QStringLiteral("Error write XLSX file (%1): %2")
                                .arg(QLatin1String(what), QString::fromUtf8(lxw_strerror(lxw_error(error)))));
}

// Rows streamed into a temporary file whose writes failed (a full disk)
// would leave the sheet short without a word from the library.
void TcxXLSXExportProvider::checkTemporaryFiles()
{
    for (lxw_worksheet* sheet : {m_sheet, m_hiddenSheet}) {
        if (!sheet || !sheet->optimize_tmpfile)
            continue;
        errno = 0;
        if (std::fflush(sheet->optimize_tmpfile) != 0 || std::ferror(sheet->optimize_tmpfile)) {
            const bool noSpace = errno == 0 || isNoSpaceError(errno);
            throw FileWriteError(fileWriteFailure(m_outputName, QStringLiteral("a temporary file could not be written"),
                                                  noSpace));
        }
    }
}

void TcxXLSXExportProvider::WriteWorkbook()
{
    if (!m_workbook)
        throw EcxExportData(QStringLiteral("Error write XLSX file"));
    if (m_columnCount >= 0) {
        settleStyles();
        writeRowsUpTo(m_rowCount - 1);
    }
    // The merged ranges go straight into the sheet's list: the library's own
    // call would write the ranges' cells, which rows already written no
    // longer take. The list is written and freed by the library; its count
    // is 16 bits wide.
    for (const Range& r : m_merged) {
        if (m_sheet->merged_range_count == 0xFFFF)
            break;
        auto* range = static_cast<lxw_merged_range*>(std::calloc(1, sizeof(lxw_merged_range)));
        if (!range)
            throw std::bad_alloc();
        range->first_row = lxw_row_t(r.firstRow);
        range->last_row = lxw_row_t(r.lastRow);
        range->first_col = lxw_col_t(r.firstColumn);
        range->last_col = lxw_col_t(r.lastColumn);
        STAILQ_INSERT_TAIL(m_sheet->merged_ranges, range, list_pointers);
        ++m_sheet->merged_range_count;
    }
    checkTemporaryFiles();
    lxw_workbook* workbook = std::exchange(m_workbook, nullptr);
    errno = 0;
    const lxw_error closed = workbook_close(workbook);
    if (closed != LXW_NO_ERROR) {
        const bool noSpace = lastSystemErrorIsNoSpace();
        throw FileWriteError(fileWriteFailure(m_outputName, QString::fromUtf8(lxw_strerror(closed)), noSpace));
    }
    // The package is complete: it takes the place of the old file.
    QFile package(m_workFile);
    if (!package.open(QIODevice::ReadOnly))
        throw FileWriteError(fileWriteFailure(m_outputName, package.errorString(), false));
    QByteArray chunk;
    chunk.resize(1 << 20);
    for (;;) {
        const qint64 n = package.read(chunk.data(), chunk.size());
        if (n < 0)
            throw FileWriteError(fileWriteFailure(m_outputName, package.errorString(), false));
        if (n == 0)
            break;
        m_output->write(chunk.constData(), n);
    }
    package.close();
    m_output->commit();
}

} // namespace orvane::exporting
