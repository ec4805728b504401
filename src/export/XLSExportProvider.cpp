#include "export/XLSExportProvider.h"

#include "common/Errors.h"
#include "export/CompoundDocument.h"
#include "export/ExportStyleManager.h"
#include "export/FileSink.h"
#include "export/TextCodec.h"
#include "export/XlsDrawing.h"
#include "export/XlsxExportProvider.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QMap>
#include <bit>
#include <span>
#include <type_traits>
#include <cmath>
#include <cstring>

namespace orvane::exporting {

namespace {

constexpr int kFirstStyleXf = 17;     // XFs built from styles follow the 17 built-in ones
constexpr std::uint16_t kDefaultCellXf = 15;   // the built-in XF of a cell without a style
constexpr int kFirstStyleFont = 6;    // fonts 0-3 and 5 are built in, 4 does not exist
constexpr int kMaxAnsiLabel = 255;
constexpr int kMaxWideLabel = 127;

EcxExportData invalidCellDimension()
{
    return EcxExportData(QStringLiteral("Invalid cell dimension"));
}

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v)
{
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

inline void le16(std::uint8_t* p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}

} // namespace

// ---------------------------------------------------------------------------
// Record lists

int TcxXLSRecordsList::AddUnique(std::vector<std::uint8_t> data)
{
    const std::uint32_t h = exportHash(data.data(), data.size());
    auto [first, last] = m_byHash.equal_range(h);
    for (auto it = first; it != last; ++it)
        if (m_records[std::size_t(it->second)] == data)
            return it->second;
    const int index = int(m_records.size());
    m_records.push_back(std::move(data));
    m_byHash.emplace(h, index);
    return index;
}

std::uint64_t TcxXLSRecordsList::RecordsSize() const
{
    std::uint64_t size = 0;
    for (const auto& r : m_records)
        size += 4 + r.size();
    return size;
}

void TcxXLSRecordsList::Write(FileSink& out) const
{
    for (const auto& r : m_records)
        biff::writeRecord(out, m_type, r.data(), r.size());
}

// ---------------------------------------------------------------------------
// Provider registry

namespace {

struct ProviderClass {
    int kind;
    QString className;
    TcxExport::Factory factory;
};

std::vector<ProviderClass>& providerClasses()
{
    static std::vector<ProviderClass> classes;
    return classes;
}

void registerBuiltInProviders()
{
    static const bool done =
        TcxExport::RegisterProviderClass(TcxXLSExportProvider::ExportType(), QStringLiteral("TcxXLSExportProvider"),
                                         &TcxXLSExportProvider::Create)
        && TcxExport::RegisterProviderClass(kExportXlsx, QStringLiteral("TcxXLSXExportProvider"),
                                            &TcxXLSXExportProvider::Create);
    Q_UNUSED(done);
}

} // namespace

bool TcxExport::RegisterProviderClass(int kind, const QString& className, Factory factory)
{
    for (const auto& c : providerClasses())
        if (c.kind == kind || c.className == className)
            return false;
    providerClasses().push_back({kind, className, factory});
    return true;
}

std::unique_ptr<IcxExportProvider> TcxExport::Provider(int kind, const QString& fileName,
                                                      const SystemColors& colors)
{
    registerBuiltInProviders();
    for (const auto& c : providerClasses())
        if (c.kind == kind)
            return c.factory(fileName, colors);
    throw EcxExportData(QStringLiteral("Unsupported export type: %1").arg(kind));
}

// ---------------------------------------------------------------------------
// Provider

std::unique_ptr<IcxExportProvider> TcxXLSExportProvider::Create(const QString& fileName,
                                                                const SystemColors& colors)
{
    return std::make_unique<TcxXLSExportProvider>(fileName, colors);
}

QString TcxXLSExportProvider::OutputNameFor(const QString& fileName)
{
    if (fileName.endsWith(u'.'))
        return fileName + QStringLiteral("xls");
    const QString suffix = QFileInfo(fileName).suffix();
    if (suffix.isEmpty())
        return fileName + QStringLiteral(".xls");
    return fileName.left(fileName.size() - suffix.size()) + QStringLiteral("xls");
}

QString TcxXLSExportProvider::AcceptableSheetName(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name)
        out += QStringLiteral(":\\/?*[]").contains(c) || c.unicode() < 0x20 ? QChar(u'_') : c;
    if (out.size() > 31) {
        out.truncate(31);
        if (out.back().isHighSurrogate())
            out.chop(1);
    }
    if (out.startsWith(u'\''))
        out[0] = u'_';
    if (out.endsWith(u'\''))
        out[out.size() - 1] = u'_';
    if (out.trimmed().isEmpty())
        out = QStringLiteral("Sheet1");
    return out;
}

TcxXLSExportProvider::TcxXLSExportProvider(const QString& fileName, const SystemColors& colors)
    : m_defaultStyle(defaultExportCellStyle(colors)), m_palette(colors.window)
{
    m_outputName = OutputNameFor(fileName);
    m_sheetName = AcceptableSheetName(QFileInfo(m_outputName).completeBaseName());
    m_file = std::make_unique<FileSink>(m_outputName);
    m_styles = TcxExportStyleManager::GetInstance(fileName, m_defaultStyle);
}

TcxXLSExportProvider::~TcxXLSExportProvider()
{
    if (m_styles)
        m_styles->Release();
}

void TcxXLSExportProvider::throwInvalidCellDimension() { throw invalidCellDimension(); }

void TcxXLSExportProvider::checkSheetSize() const
{
    if (m_columnCount < 0 || m_rowCount < 0)
        throw invalidCellDimension();
}

void TcxXLSExportProvider::SetSheetSize(int columnCount, int rowCount, bool gridLines)
{
    m_columnCount = std::clamp(columnCount, 0, kMaxColumns);
    m_rowCount = std::clamp(rowCount, 0, kMaxRows);
    m_gridLines = gridLines;
    m_cellCount = std::size_t(m_columnCount) * std::size_t(m_rowCount);
    m_styleMemory = ZeroedBuffer(m_cellCount * sizeof(std::uint16_t));
    m_cellStyles = static_cast<std::uint16_t*>(m_styleMemory.data());
    m_cellBytes = 10 * std::uint64_t(m_cellCount);   // all BLANK
    m_valueBlocks.clear();
    m_valueBlocks.resize(std::size_t(m_columnCount));
    for (auto& column : m_valueBlocks)
        column.resize(std::size_t((m_rowCount + kBlockRows - 1) >> kBlockShift));
}

TcxXLSExportProvider::ValueBlock& TcxXLSExportProvider::valueBlock(int column, int row)
{
    auto& block = m_valueBlocks[std::size_t(column)][std::size_t(row >> kBlockShift)];
    if (!block)
        block = std::make_unique<ValueBlock>();
    return *block;
}

void TcxXLSExportProvider::SetColumnPixelWidth(int column, int width)
{
    if (column < 0 || column > 255)
        return;
    m_colInfos.Add(biff::colInfoData(column, width));
}

void TcxXLSExportProvider::SetRowPixelHeight(int row, int height)
{
    if (row < 0 || row >= 65535)
        return;
    m_rowRecords.Add(biff::rowData(row, height));
}

void TcxXLSExportProvider::SetBaseStyle(const ExportCellStyle&) {}

// --- styles on cells --------------------------------------------------------

int TcxXLSExportProvider::AddStyle(ExportCellStyle& style) { return m_styles->AddStyle(style); }

const ExportCellStyle& TcxXLSExportProvider::StyleAt(int index) { return m_styles->StyleAt(index); }

const ExportCellStyle* TcxXLSExportProvider::CellStyleOf(int column, int row)
{
    if (!validCell(column, row))
        return nullptr;
    if (m_styles->Count() == 0)
        return &m_defaultStyle;
    return &m_styles->StyleAt(styleAt(column, row));
}

void TcxXLSExportProvider::ApplyStyle(int column, int row, int styleIndex)
{
    if (!validCell(column, row))
        return;
    if (styleIndex < 0 || styleIndex > 0xFFFF - 16)
        throw EcxExportData(QStringLiteral("Style index %1 is not registered").arg(styleIndex));
    styleAt(column, row) = std::uint16_t(styleIndex);
    const CellState state = stateAt(column, row);
    if (state.flags & kMergedFlag)
        xfIndexFor(styleIndex, Mark(state.flags & kMarkMask), true);
}

void TcxXLSExportProvider::ApplyColumnStyles(int column, int firstRow, int rowCount, const int* pattern,
                                             int patternLength)
{
    checkSheetSize();
    if (column < 0 || column >= m_columnCount || patternLength <= 0)
        return;
    for (int i = 0; i < patternLength; ++i)
        if (pattern[i] < 0 || pattern[i] > 0xFFFF - 16)
            throw EcxExportData(QStringLiteral("Style index %1 is not registered").arg(pattern[i]));
    const int first = std::max(firstRow, 0);
    const int last = std::min(firstRow + rowCount, m_rowCount);   // exclusive
    std::uint16_t* styles = m_cellStyles + std::size_t(column) * std::size_t(m_rowCount);
    int k = (first - firstRow) % patternLength;
    for (int y = first; y < last; ++y) {
        const int s = pattern[k];
        if (++k == patternLength)
            k = 0;
        styles[y] = std::uint16_t(s);
    }
    // Merged cells resolve their XF at once.
    for (int y = first; y < last; ++y) {
        const ValueBlock* block = blockAt(column, y);
        if (!block) {
            y |= kBlockRows - 1;
            continue;
        }
        const CellState state = block->state[y & (kBlockRows - 1)];
        if (state.flags & kMergedFlag)
            xfIndexFor(styles[y], Mark(state.flags & kMarkMask), true);
    }
}

void TcxXLSExportProvider::CopyCellStyle(int column, int row, int exampleColumn, int exampleRow)
{
    if (!validCell(column, row))
        return;
    const ExportCellStyle* example = CellStyleOf(exampleColumn, exampleRow);
    if (!example)
        return;
    ExportCellStyle copy = *example;
    ApplyStyle(column, row, AddStyle(copy));
}

void TcxXLSExportProvider::ApplyStyleRecord(int column, int row, ExportCellStyle& style)
{
    const int index = AddStyle(style);
    ApplyStyle(column, row, index);
}

void TcxXLSExportProvider::AddMergedRange(int column, int row, int rowSpan, int columnSpan)
{
    checkSheetSize();
    if (column < 0 || row < 0 || column >= m_columnCount || row >= m_rowCount || rowSpan < 1 || columnSpan < 1)
        return;
    // A range is kept inside the sheet: a range reaching past it would wrap
    // its columns round in the 8-bit column fields.
    const int lastRow = std::min(row + rowSpan - 1, m_rowCount - 1);
    const int lastColumn = std::min(column + columnSpan - 1, m_columnCount - 1);
    m_merged.push_back({std::uint16_t(row), std::uint16_t(lastRow), std::uint16_t(column & 0xFF),
                        std::uint16_t(lastColumn & 0xFF)});
}

void TcxXLSExportProvider::MergeCells(int column, int row, int rowSpan, int columnSpan, int styleIndex)
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
    if (styleIndex < 0 || styleIndex > 0xFFFF - 16)
        throw EcxExportData(QStringLiteral("Style index %1 is not registered").arg(styleIndex));
    // The merged XF is built now, so its colours take their palette slots in
    // the order the merges come.
    xfIndexFor(styleIndex, Mark(stateAt(column, row).flags & kMarkMask), true);
    auto mark = [&](int x, int y) {
        styleAt(x, y) = std::uint16_t(styleIndex);
        valueBlock(x, y).state[y & (kBlockRows - 1)].flags |= kMergedFlag;
    };
    mark(column, row);
    for (int x = column + 1; x < column + cols; ++x)
        for (int y = row + 1; y < row + rows; ++y)
            mark(x, y);
}

// --- values -----------------------------------------------------------------

TcxXLSExportProvider::CellSlot TcxXLSExportProvider::takeCell(int column, int row, Kind kind, std::uint64_t recordSize)
{
    ValueBlock& block = valueBlock(column, row);
    CellState& state = block.state[row & (kBlockRows - 1)];
    std::uint32_t& payload = block.payload[row & (kBlockRows - 1)];
    m_cellBytes -= state.kind == Kind::Blank ? 10 : cellRecordSize(state.kind, payload);
    m_cellBytes += recordSize;
    state.kind = kind;
    state.flags &= std::uint8_t(~kMarkMask);
    return {state, payload};
}

void TcxXLSExportProvider::storeNumber(int column, int row, double value, Mark mark)
{
    auto [state, payload] = takeCell(column, row, Kind::Number, 4 + 14);
    payload = std::uint32_t(m_numbers.size());
    m_numbers.push_back(value);
    state.flags = std::uint8_t(state.flags | mark);
}

void TcxXLSExportProvider::PutNumber(int column, int row, double value)
{
    if (validCell(column, row))
        storeNumber(column, row, value, NoMark);
}

void TcxXLSExportProvider::PutInteger(int column, int row, qint32 value)
{
    PutNumber(column, row, double(value));
}

void TcxXLSExportProvider::PutBoolean(int column, int row, bool value)
{
    if (validCell(column, row))
        takeCell(column, row, Kind::Boolean, 4 + 8).payload = value ? 1 : 0;
}

void TcxXLSExportProvider::PutCurrency(int column, int row, qint64 scaledBy10000)
{
    if (validCell(column, row))
        storeNumber(column, row, double(scaledBy10000) / 10000.0, CurrencyMark);
}

void TcxXLSExportProvider::PutDateTime(int column, int row, double serial)
{
    if (!validCell(column, row))
        return;
    // Serials up to 60 move one day down onto the spreadsheet's calendar,
    // which counts a 29 February 1900.
    double whole = std::trunc(serial);
    if (whole != 0 && whole <= 60) {
        serial -= 1;
        whole = std::trunc(serial);
    }
    const Mark mark = whole == 0 ? TimeMark : (serial == whole ? DateMark : DateTimeMark);
    storeNumber(column, row, serial, mark);
}

const std::uint8_t* TcxXLSExportProvider::labelAt(std::uint32_t payload) const
{
    const std::size_t offset = std::size_t(payload) * 2;
    return static_cast<const std::uint8_t*>(m_labelChunks[offset / kChunkSize].data()) + offset % kChunkSize;
}

std::pair<std::uint8_t*, std::uint32_t> TcxXLSExportProvider::allocateLabel(std::size_t bytes)
{
    const std::size_t need = (bytes + 1) & ~std::size_t(1);
    if (m_labelUsed + need > kChunkSize) {
        m_labelChunks.emplace_back(kChunkSize);
        m_labelUsed = 0;
    }
    std::uint8_t* p = static_cast<std::uint8_t*>(m_labelChunks.back().data()) + m_labelUsed;
    const auto payload = std::uint32_t(((m_labelChunks.size() - 1) * kChunkSize + m_labelUsed) / 2);
    m_labelUsed += need;
    return {p, payload};
}

std::uint8_t* TcxXLSExportProvider::newLabel(int column, int row, std::size_t bytes)
{
    const auto [p, payload] = allocateLabel(bytes);
    takeCell(column, row, Kind::Label, 4 + 6 + bytes).payload = payload;
    return p;
}

namespace {

// A label payload: character count, option byte, then the characters as
// 8-bit bytes (all below 0x80) or as UTF-16.
void fillLabel8(std::uint8_t* p, const char16_t* chars, std::size_t count)
{
    le16(p, std::uint16_t(count));
    p[2] = 0;
    for (std::size_t i = 0; i < count; ++i)
        p[3 + i] = std::uint8_t(chars[i]);
}

void fillLabel16(std::uint8_t* p, const char16_t* chars, std::size_t count)
{
    le16(p, std::uint16_t(count));
    p[2] = 1;
    for (std::size_t i = 0; i < count; ++i)
        le16(p + 3 + 2 * i, std::uint16_t(chars[i]));
}

bool isAscii(const char16_t* chars, std::size_t count)
{
    char16_t any = 0;
    for (std::size_t i = 0; i < count; ++i)
        any |= chars[i];
    return any < 0x80;
}

} // namespace

void TcxXLSExportProvider::storeLabel8(int column, int row, QByteArrayView ascii)
{
    std::uint8_t* p = newLabel(column, row, 3 + std::size_t(ascii.size()));
    le16(p, std::uint16_t(ascii.size()));
    p[2] = 0;
    std::memcpy(p + 3, ascii.data(), std::size_t(ascii.size()));
}

void TcxXLSExportProvider::storeLabel16(int column, int row, const char16_t* chars, std::size_t count)
{
    fillLabel16(newLabel(column, row, 3 + 2 * count), chars, count);
}

void TcxXLSExportProvider::storeShared(int column, int row, const char16_t* chars, std::size_t count)
{
    takeCell(column, row, Kind::LabelSst, 4 + 10).payload = m_strings.Add(chars, count);
}

void TcxXLSExportProvider::PutText(int column, int row, QByteArrayView text)
{
    if (!validCell(column, row) || text.isEmpty())
        return;
    std::uint8_t any = 0;
    for (const char c : text)
        any |= std::uint8_t(c);
    if (any < 0x80) {
        if (text.size() <= kMaxAnsiLabel) {
            storeLabel8(column, row, text);
            return;
        }
        const QString wide = decodeCodePage(text, kAnsiCodePage);
        storeShared(column, row, reinterpret_cast<const char16_t*>(wide.utf16()), std::size_t(wide.size()));
        return;
    }
    const int charset = m_styles->Count() ? m_styles->StyleAt(styleAt(column, row)).FontCharset
                                          : m_defaultStyle.FontCharset;
    const QString wide = decodeCodePage(text, codePageForCharset(charset));
    const auto* chars = reinterpret_cast<const char16_t*>(wide.utf16());
    if (text.size() <= kMaxWideLabel)
        storeLabel16(column, row, chars, std::size_t(wide.size()));
    else
        storeShared(column, row, chars, std::size_t(wide.size()));
}

void TcxXLSExportProvider::PutDisplayText(int column, int row, QStringView text)
{
    if (!validCell(column, row) || text.isEmpty())
        return;
    // ASCII text, by far the most common, goes straight to an 8-bit LABEL;
    // the rest takes the general road.
    const auto* chars = reinterpret_cast<const char16_t*>(text.utf16());
    const std::size_t n = std::size_t(text.size());
    if (n > kMaxAnsiLabel || !isAscii(chars, n)) {
        IcxExportProvider::PutDisplayText(column, row, text);
        return;
    }
    fillLabel8(newLabel(column, row, 3 + n), chars, n);
}

void TcxXLSExportProvider::PutWideText(int column, int row, QStringView text)
{
    if (!validCell(column, row) || text.isEmpty())
        return;
    const auto* chars = reinterpret_cast<const char16_t*>(text.utf16());
    if (text.size() <= kMaxWideLabel)
        storeLabel16(column, row, chars, std::size_t(text.size()));
    else
        storeShared(column, row, chars, std::size_t(text.size()));
}

void TcxXLSExportProvider::AddHiddenSheet(const QString& name, int columnCount, int rowCount)
{
    m_hiddenName = name;
    m_hiddenColumns = std::clamp(columnCount, 0, kMaxColumns);
    m_hiddenRows = std::clamp(rowCount, 0, kMaxRows);
    m_hiddenCells.clear();
    m_hiddenCellBytes = 0;
}

void TcxXLSExportProvider::PutHiddenText(int column, int row, QStringView text)
{
    if (m_hiddenName.isEmpty() || unsigned(column) >= unsigned(m_hiddenColumns)
        || unsigned(row) >= unsigned(m_hiddenRows) || text.isEmpty())
        return;
    // Spreadsheet programs read the text back alike from either record;
    // short texts go into LABELs, which cost no shared string.
    const auto* chars = reinterpret_cast<const char16_t*>(text.utf16());
    const std::size_t n = std::size_t(text.size());
    HiddenCell cell{std::uint16_t(row), std::uint16_t(column), Kind::Label, 0};
    std::size_t labelBytes = 0;
    if (n <= kMaxAnsiLabel && isAscii(chars, n)) {
        labelBytes = 3 + n;
        const auto [p, payload] = allocateLabel(labelBytes);
        fillLabel8(p, chars, n);
        cell.payload = payload;
    } else if (n <= kMaxWideLabel) {
        labelBytes = 3 + 2 * n;
        const auto [p, payload] = allocateLabel(labelBytes);
        fillLabel16(p, chars, n);
        cell.payload = payload;
    } else {
        const std::uint32_t shortenedBefore = m_strings.ShortenedCount();
        cell.kind = Kind::LabelSst;
        cell.payload = m_strings.Add(chars, n, TcxXLSSharedStringTable::CharForm::OneByteWhereItFits);
        m_hiddenShortened += m_strings.ShortenedCount() - shortenedBefore;
    }
    m_hiddenCells.push_back(cell);
    m_hiddenCellBytes += cell.kind == Kind::Label ? 4 + 6 + labelBytes : 4 + 10;
}

void TcxXLSExportProvider::FreezeRows(int rows)
{
    checkSheetSize();
    m_frozenRows = std::clamp(rows, 0, std::min(m_rowCount, kMaxRows - 1));
}

void TcxXLSExportProvider::SetAutoFilter(int row, int firstColumn, int lastColumn, int lastRow)
{
    checkSheetSize();
    firstColumn = std::max(firstColumn, 0);
    lastColumn = std::min(lastColumn, m_columnCount - 1);
    lastRow = std::min(lastRow, m_rowCount - 1);
    if (row < 0 || row > lastRow || firstColumn > lastColumn) {
        m_filter = {};
        return;
    }
    m_filter = {std::uint16_t(row), std::uint16_t(lastRow), std::uint16_t(firstColumn), std::uint16_t(lastColumn),
                true};
}

void TcxXLSExportProvider::PutValue(int column, int row, const QVariant& value)
{
    if (!validCell(column, row))
        return;
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
        PutInteger(column, row, value.toInt());
        return;
    case QMetaType::UInt:   // may not fit an int; the double holds it exactly
    case QMetaType::Float:
    case QMetaType::Double:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        PutNumber(column, row, value.toDouble());
        return;
    case QMetaType::QDateTime:
        PutDateTime(column, row, dateTimeSerial(value.toDateTime()));
        return;
    case QMetaType::QDate:
        PutDateTime(column, row, dateSerial(value.toDate()));
        return;
    case QMetaType::QTime:
        PutDateTime(column, row, timeSerial(value.toTime()));
        return;
    case QMetaType::QString:
        PutWideText(column, row, value.toString());
        return;
    case QMetaType::Bool:
        PutBoolean(column, row, value.toBool());
        return;
    default:
        if (value.metaType() == QMetaType::fromType<ExportCurrency>())
            PutCurrency(column, row, value.value<ExportCurrency>().scaled);
        return;
    }
}

// --- fonts and XFs ----------------------------------------------------------

int TcxXLSExportProvider::fontIndexFor(const ExportCellStyle& style)
{
    const QString name = decodeCodePage(QByteArrayView(style.FontName, qstrnlen(style.FontName, 32)),
                                        kAnsiCodePage);
    const std::size_t n = std::size_t(name.size());
    std::vector<std::uint8_t> d(16 + 2 * n, 0);
    put16(d, 0, std::uint16_t(style.FontSize * 20));
    put16(d, 2, std::uint16_t(((style.FontStyle & kFontItalic) ? 0x0002 : 0)
                              | ((style.FontStyle & kFontStrikeOut) ? 0x0008 : 0)));
    put16(d, 4, m_palette.indexOf(style.FontColor, ColorUse::Font));
    put16(d, 6, (style.FontStyle & kFontBold) ? 700 : 400);
    d[10] = (style.FontStyle & kFontUnderline) ? 1 : 0;
    d[12] = std::uint8_t(style.FontCharset);
    d[14] = std::uint8_t(n);
    d[15] = 1;
    for (std::size_t i = 0; i < n; ++i)
        put16(d, 16 + 2 * i, name[qsizetype(i)].unicode());
    return m_fonts.AddUnique(std::move(d)) + kFirstStyleFont;
}

std::vector<std::uint8_t> TcxXLSExportProvider::buildXf(const ExportCellStyle& style, Mark mark, bool merged)
{
    static const std::uint8_t kTemplate[20] = {0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x20, 0x00, 0x00, 0x00,
                                               0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x20};
    std::vector<std::uint8_t> x(kTemplate, kTemplate + 20);
    put16(x, 0, std::uint16_t(fontIndexFor(style)));
    static const std::uint16_t kFormats[MarkCount] = {0, 22, 14, 21, 5};
    put16(x, 2, kFormats[mark]);
    x[6] = std::uint8_t((style.AlignText + 1) | 0x08);
    x[7] = 0;
    x[8] = merged ? 0x20 : 0;
    x[9] = 0xFC;

    // Left, right, top, bottom.
    static const BorderSide kOrder[4] = {BorderSide::Left, BorderSide::Right, BorderSide::Top, BorderSide::Bottom};
    static const int kColorShift[4] = {0, 7, 16, 23};
    std::uint16_t lines = 0;
    std::uint32_t colors = 0;
    for (int i = 0; i < 4; ++i) {
        const ExportCellBorder& b = style.border(kOrder[i]);
        if (b.IsDefault != 0 || b.Width <= 0)
            continue;
        const std::uint16_t line = b.Width == 1 ? 1 : b.Width == 2 ? 2 : 5;
        lines |= std::uint16_t(line << (4 * i));
        colors |= std::uint32_t(m_palette.indexOf(b.Color, ColorUse::Border) & 0x7F) << kColorShift[i];
    }
    put16(x, 10, lines);
    put32(x, 12, colors);

    if (style.BrushStyle != 0) {
        const std::uint16_t b = m_palette.indexOf(style.BrushBkColor, ColorUse::Background);
        const std::uint32_t low = b != XlsPalette::kWindowColor ? std::uint32_t(style.BrushStyle) * 1024 : 0;
        const std::uint32_t high = 0x2080u | (b & 0x7Fu);
        put32(x, 16, (low & 0xFFFF) | (high << 16));
    }
    return x;
}

std::uint16_t TcxXLSExportProvider::xfIndexFor(int styleIndex, Mark mark, bool merged)
{
    const std::size_t key = (std::size_t(styleIndex) * MarkCount + mark) * 2 + (merged ? 1 : 0);
    if (key >= m_xfCache.size())
        m_xfCache.resize(std::max(key + 1, m_xfCache.size() * 2), -1);
    if (m_xfCache[key] < 0) {
        const ExportCellStyle& style = m_styles->Count() ? m_styles->StyleAt(styleIndex) : m_defaultStyle;
        m_xfCache[key] = m_xfs.AddUnique(buildXf(style, mark, merged)) + kFirstStyleXf;
    }
    return std::uint16_t(m_xfCache[key]);
}

// --- writing ----------------------------------------------------------------

std::uint64_t TcxXLSExportProvider::cellRecordSize(Kind kind, std::uint32_t payload) const
{
    switch (kind) {
    case Kind::Blank: return 4 + 6;
    case Kind::Number: return 4 + 14;
    case Kind::Boolean: return 4 + 8;
    case Kind::LabelSst: return 4 + 10;
    case Kind::Label: {
        const std::uint8_t* p = labelAt(payload);
        const std::uint32_t n = std::uint32_t(p[0] | (p[1] << 8));
        return 4 + 9 + (p[2] ? 2 * n : n);
    }
    }
    return 0;
}

void TcxXLSExportProvider::writeCells(FileSink& out)
{
    const int rows = std::max(m_rowCount, 0);
    for (int x = 0; x < std::max(m_columnCount, 0); ++x) {
        const auto column = std::uint16_t(x);
        const std::uint16_t* xfs = m_cellStyles + std::size_t(x) * std::size_t(rows);
        std::uint8_t* p = out.cursor();
        std::uint8_t* limit = out.limit();
        auto makeRoom = [&](std::size_t bytes) {
            if (std::size_t(limit - p) < bytes) {
                out.setCursor(p);
                p = out.reserve(bytes);
                limit = out.limit();
            }
        };
        for (int first = 0; first < rows; first += kBlockRows) {
            const int end = std::min(rows, first + kBlockRows);
            const ValueBlock* block = blockAt(x, first);
            if (!block) {
                // Rows without values: BLANK records only, as many at a
                // time as the buffer holds.
                for (int y = first; y < end;) {
                    makeRoom(10);
                    const int stop = std::min(end, y + int((limit - p) / 10));
                    for (; y < stop; ++y)
                        p = biff::putBLANK(p, std::uint16_t(y), column, xfs[y]);
                }
                continue;
            }
            for (int y = first; y < end; ++y) {
                const auto row = std::uint16_t(y);
                const int inBlock = y - first;
                const std::uint32_t payload = block->payload[inBlock];
                switch (block->state[inBlock].kind) {
                case Kind::Blank:
                    makeRoom(10);
                    p = biff::putBLANK(p, row, column, xfs[y]);
                    break;
                case Kind::Label: {
                    const std::uint8_t* label = labelAt(payload);
                    const std::size_t n = std::size_t(label[0] | (label[1] << 8));
                    const std::size_t size = 3 + (label[2] ? 2 * n : n);
                    makeRoom(10 + size);
                    p = biff::putLABEL(p, row, column, xfs[y], label, size);
                    break;
                }
                case Kind::Number:
                    makeRoom(18);
                    p = biff::putNUMBER(p, row, column, xfs[y], m_numbers[payload]);
                    break;
                case Kind::Boolean:
                    makeRoom(12);
                    p = biff::putBOOLERR(p, row, column, xfs[y], payload != 0);
                    break;
                case Kind::LabelSst:
                    makeRoom(14);
                    p = biff::putLABELSST(p, row, column, xfs[y], payload);
                    break;
                }
            }
        }
        out.setCursor(p);
    }
}

namespace {

// A sheet name goes as 8-bit characters when every one is Latin-1, else as
// UTF-16, so that no character is lost.
QByteArray sheetNameData(const QString& name, bool* wide)
{
    *wide = false;
    for (const QChar c : name)
        if (c.unicode() > 0xFF)
            *wide = true;
    if (*wide)
        return QByteArray(reinterpret_cast<const char*>(name.utf16()), name.size() * 2);
    return name.toLatin1();
}

} // namespace

std::uint64_t TcxXLSExportProvider::hiddenSheetSize() const
{
    if (m_hiddenName.isEmpty())
        return 0;
    bool wide = false;
    const std::uint32_t tabEntry = 2;
    return tabEntry + biff::boundSheetSize(std::size_t(sheetNameData(m_hiddenName, &wide).size()))
        + biff::kBareWorksheetSize + m_hiddenCellBytes;
}

void TcxXLSExportProvider::writeHiddenSheet(FileSink& out)
{
    biff::writeBOF(out, biff::Substream::Worksheet);
    biff::writeDIMENSIONS(out, m_hiddenRows, m_hiddenColumns);
    for (const HiddenCell& cell : m_hiddenCells) {
        if (cell.kind == Kind::LabelSst) {
            biff::putLABELSST(out.reserve(14), cell.row, cell.column, kDefaultCellXf, cell.payload);
            out.commit(14);
            continue;
        }
        const std::uint8_t* label = labelAt(cell.payload);
        const std::size_t n = std::size_t(label[0] | (label[1] << 8));
        const std::size_t size = 3 + (label[2] ? 2 * n : n);
        biff::putLABEL(out.reserve(10 + size), cell.row, cell.column, kDefaultCellXf, label, size);
        out.commit(10 + size);
    }
    biff::writeWINDOW2(out, true, 0, false);
    biff::writeEOF(out);
}

void TcxXLSExportProvider::WriteWorkbook()
{
    if (!m_file || !m_file->isOpen())
        throw EcxExportData(QStringLiteral("Error write XLS file"));

    // 1. Every cell gets its XF, column by column, so that fonts, XFs and
    //    palette slots are taken in that order; the cells' sizes add up.
    for (int x = 0; x < std::max(m_columnCount, 0); ++x) {
        std::uint16_t* styles = m_cellStyles + std::size_t(x) * std::size_t(m_rowCount);
        const ValueBlock* block = nullptr;
        std::uint32_t lastKey = ~0u;
        std::uint16_t lastXf = 0;
        for (int y = 0; y < m_rowCount; ++y) {
            if ((y & (kBlockRows - 1)) == 0)
                block = blockAt(x, y);
            const std::uint8_t flags = block ? block->state[y & (kBlockRows - 1)].flags : 0;
            const std::uint32_t key = styles[y] | (std::uint32_t(flags) << 16);
            if (key != lastKey) {
                lastKey = key;
                lastXf = xfIndexFor(styles[y], Mark(flags & kMarkMask), (flags & kMergedFlag) != 0);
            }
            styles[y] = lastXf;
        }
    }
    const std::uint64_t cellsSize = m_cellBytes;

    bool wideName = false;
    const QByteArray nameData = sheetNameData(m_sheetName, &wideName);
    const bool hiddenSheet = !m_hiddenName.isEmpty();
    const int sheetCount = hiddenSheet ? 2 : 1;
    // The filter's drop-down arrows: drawing objects of the first sheet only.
    const biff::FilterDropDowns dropDowns(m_filter);

    // 2. The stream length, before anything is written.
    const std::uint64_t length = biff::kFixedRecordsSize + std::uint64_t(nameData.size()) + m_fonts.RecordsSize()
        + m_xfs.RecordsSize() + m_colInfos.RecordsSize() + m_rowRecords.RecordsSize() + m_strings.RecordsSize()
        + cellsSize + biff::mergedCellsSize(m_merged.size()) + (m_frozenRows > 0 ? biff::kPaneSize : 0)
        + (m_filter.isSet ? biff::kFilterDatabaseNameSize + biff::kAutoFilterInfoSize : 0) + hiddenSheetSize()
        + dropDowns.groupSize() + dropDowns.sheetObjectsSize();
    if (length > kMaxStreamLength)
        throw EcxExportData(QStringLiteral("The workbook is too large for the .xls format"));

    // 3. The container's header area, then the stream from P0 on.
    FileSink& out = *m_file;
    out.flush();
    TcxXLSWorkBookWriter container(std::int64_t(length), out.device());
    out.resyncPosition();
    const std::int64_t p0 = out.position();

    // 4. Workbook globals.
    biff::writeBOF(out, biff::Substream::Globals);
    biff::writeTABID(out, sheetCount);
    biff::writeWINDOW1(out);
    biff::writeBuiltInFONTs(out);
    m_fonts.Write(out);
    biff::writeBuiltInXFs(out);
    m_xfs.Write(out);
    std::uint32_t paletteColors[XlsPalette::kSlots];
    for (int i = 0; i < XlsPalette::kSlots; ++i)
        paletteColors[i] = m_palette.slot(i);
    biff::writePALETTE(out, paletteColors, XlsPalette::kSlots);
    biff::writeSTYLEs(out);
    const std::int64_t sheetOffsetField = biff::writeBOUNDSHEET(out, nameData, wideName);
    std::int64_t hiddenOffsetField = 0;
    if (hiddenSheet) {
        bool wideHiddenName = false;
        hiddenOffsetField = biff::writeBOUNDSHEET(out, sheetNameData(m_hiddenName, &wideHiddenName), wideHiddenName,
                                                  true);
    }
    m_strings.Write(out, std::uint32_t(out.position() - p0));
    biff::writeSUPBOOK(out, sheetCount);
    biff::writeEXTERNSHEET(out);
    if (m_filter.isSet)
        biff::writeFilterDatabaseNAME(out, m_filter);
    dropDowns.writeGroup(out);
    biff::writeEOF(out);
    const std::int64_t sheetOffset = out.position() - p0;

    // 5. The worksheet, its records in the order the format prescribes:
    //    column records and the filter before the used range, the drawing
    //    objects and the window settings after the cells.
    biff::writeBOF(out, biff::Substream::Worksheet);
    m_colInfos.Write(out);
    if (m_filter.isSet)
        biff::writeAUTOFILTERINFO(out, m_filter);
    biff::writeDIMENSIONS(out, m_rowCount, m_columnCount);
    m_rowRecords.Write(out);
    writeCells(out);
    dropDowns.writeSheetObjects(out);
    biff::writeWINDOW2(out, m_gridLines, m_frozenRows);
    if (m_frozenRows > 0)
        biff::writePANE(out, m_frozenRows);
    biff::writeMERGEDCELLS(out, m_merged);
    biff::writeEOF(out);
    // The hidden sheet follows the first; its offset goes into its BOUNDSHEET.
    const std::int64_t hiddenOffset = out.position() - p0;
    if (hiddenSheet)
        writeHiddenSheet(out);

    // 6. The worksheets' offsets into BOUNDSHEET; the last sector filled up
    //    with zero bytes; the file put in place.
    out.patchU32(sheetOffsetField, std::uint32_t(sheetOffset));
    if (hiddenSheet)
        out.patchU32(hiddenOffsetField, std::uint32_t(hiddenOffset));
    const std::int64_t written = out.position() - p0;
    out.zeros(TcxXLSWorkBookWriter::PaddingAfter(std::int64_t(length)));
    // A workbook that came out otherwise than planned never replaces the old file.
    if (std::uint64_t(written) != length)
        throw EcxExportData(QStringLiteral("Error write XLS file: %1 of %2").arg(written).arg(length));
    out.close();
}

} // namespace orvane::exporting
