// The first worksheet of a BIFF8 workbook (Excel 97 to 2003, as Orvane and
// spreadsheet programs write it): the Workbook stream out of its compound
// document, then its records. Reads the shared strings with the CONTINUE
// records that carry what does not fit into one record (a text's characters
// go on after a byte that says whether the rest is 8-bit or 16-bit), LABEL,
// RSTRING, NUMBER, RK, MULRK, BOOLERR and the results of formulas, with the
// cell formats that make a number a date.
//
// Every text is read whole or the file is refused with a message: a record
// that ends inside a text, a cell naming a string the table does not hold,
// and a damaged container are all errors, never a shortened text.

#include "workbook/SheetReader.h"

#include "common/Errors.h"
#include "workbook/CompoundFileReader.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace orvane::workbook {

namespace {

enum RecordType : std::uint16_t {
    kFORMULA = 0x0006,
    kEOF = 0x000A,
    kDATEMODE = 0x0022,
    kFILEPASS = 0x002F,
    kCONTINUE = 0x003C,
    kBOUNDSHEET = 0x0085,
    kMULRK = 0x00BD,
    kRSTRING = 0x00D6,
    kXF = 0x00E0,
    kSST = 0x00FC,
    kLABELSST = 0x00FD,
    kNUMBER = 0x0203,
    kLABEL = 0x0204,
    kBOOLERR = 0x0205,
    kSTRING = 0x0207,
    kRK = 0x027E,
    kFORMAT = 0x041E,
    kBOF = 0x0809,
};

constexpr std::uint16_t kBiff8 = 0x0600;

// What is wrong with the file, in words; readXlsSheet puts the file's name
// in front.
struct Damage {
    QString why;
};

[[noreturn]] void damaged(const char* why)
{
    throw Damage{QString::fromLatin1(why)};
}

std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

double f64(const std::uint8_t* p)
{
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | p[i];
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

// An RK number: 30 bits of an integer or of a double's high end, perhaps
// divided by 100.
double rkValue(std::uint32_t rk)
{
    double value;
    if (rk & 2) {
        value = double(std::int32_t(rk) >> 2);
    } else {
        const std::uint64_t bits = std::uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, 8);
    }
    return (rk & 1) ? value / 100 : value;
}

// A record's data with the CONTINUE records after it, read as one piece.
// Fixed fields run on across the records' ends as they stand; a text's
// characters go on after an option byte that gives their form anew.
class ContinuedRecord {
public:
    void addPart(const std::uint8_t* data, std::size_t size) { m_parts.push_back({data, size}); }

    bool atEnd()
    {
        skipFinishedParts();
        return m_part >= m_parts.size();
    }

    std::uint8_t u8()
    {
        if (atEnd())
            damaged("a record ends early");
        return m_parts[m_part].data[m_at++];
    }
    std::uint16_t u16()
    {
        const std::uint8_t low = u8();
        return std::uint16_t(low | (u8() << 8));
    }
    std::uint32_t u32()
    {
        const std::uint32_t low = u16();
        return low | (std::uint32_t(u16()) << 16);
    }
    void skip(std::uint64_t n)
    {
        while (n > 0) {
            if (atEnd())
                damaged("a record ends early");
            const std::size_t take = std::size_t(std::min<std::uint64_t>(n, m_parts[m_part].size - m_at));
            m_at += take;
            n -= take;
        }
    }

    // count characters, 16-bit or 8-bit (the low bytes of UTF-16) to begin
    // with; each further record they go on in starts with its own option byte.
    QString characters(std::size_t count, bool wide)
    {
        QString text;
        text.reserve(qsizetype(count));
        while (std::size_t(text.size()) < count) {
            if (m_part < m_parts.size() && m_at == m_parts[m_part].size) {
                if (++m_part >= m_parts.size())
                    damaged("a text ends in the middle");
                m_at = 0;
                wide = (u8() & 1) != 0;
                continue;
            }
            if (m_part >= m_parts.size())
                damaged("a text ends in the middle");
            const Part& part = m_parts[m_part];
            const std::size_t left = count - std::size_t(text.size());
            const std::size_t available = (part.size - m_at) / (wide ? 2 : 1);
            if (available == 0)
                damaged("a text's character is split between two records");
            const std::size_t n = std::min(left, available);
            const std::uint8_t* p = part.data + m_at;
            if (wide) {
                for (std::size_t i = 0; i < n; ++i)
                    text.append(QChar(le16(p + 2 * i)));
            } else {
                text.append(QString::fromLatin1(reinterpret_cast<const char*>(p), qsizetype(n)));
            }
            m_at += wide ? 2 * n : n;
        }
        return text;
    }

    // A string with a 16-bit count and option flags; with extras, the
    // formatting runs and phonetic data that a shared string may carry,
    // which are skipped.
    QString unicodeString(bool extras)
    {
        const std::uint16_t count = u16();
        const std::uint8_t flags = u8();
        const std::uint16_t runs = (extras && (flags & 0x08)) ? u16() : 0;
        const std::uint32_t phonetic = (extras && (flags & 0x04)) ? u32() : 0;
        QString text = characters(count, (flags & 1) != 0);
        skip(4 * std::uint64_t(runs) + phonetic);
        return text;
    }

private:
    struct Part {
        const std::uint8_t* data;
        std::size_t size;
    };
    void skipFinishedParts()
    {
        while (m_part < m_parts.size() && m_at == m_parts[m_part].size) {
            ++m_part;
            m_at = 0;
        }
    }

    std::vector<Part> m_parts;
    std::size_t m_part = 0;
    std::size_t m_at = 0;
};

struct Record {
    std::uint16_t type = 0;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    std::size_t end = 0;   // stream offset after the record and its CONTINUE records

    ContinuedRecord continued(const QByteArray& stream) const
    {
        ContinuedRecord r;
        r.addPart(data, size);
        const auto* base = reinterpret_cast<const std::uint8_t*>(stream.constData());
        std::size_t at = std::size_t(data - base) + size;
        while (at < end) {
            const std::size_t partSize = le16(base + at + 2);
            r.addPart(base + at + 4, partSize);
            at += 4 + partSize;
        }
        return r;
    }
};

// The records of the Workbook stream from an offset on.
class RecordWalker {
public:
    RecordWalker(const QByteArray& stream, std::size_t from) : m_stream(stream), m_at(from)
    {
        if (from > std::size_t(stream.size()))
            damaged("its worksheet lies outside the workbook stream");
    }

    // The next record with the CONTINUE records that follow it; false at
    // the stream's end.
    bool next(Record& record)
    {
        const std::size_t size = std::size_t(m_stream.size());
        if (m_at + 4 > size)
            return false;
        const auto* base = reinterpret_cast<const std::uint8_t*>(m_stream.constData());
        record.type = le16(base + m_at);
        record.size = le16(base + m_at + 2);
        record.data = base + m_at + 4;
        m_at += 4 + record.size;
        if (m_at > size)
            damaged("a record runs past the end of the workbook stream");
        while (m_at + 4 <= size && le16(base + m_at) == kCONTINUE) {
            m_at += 4 + le16(base + m_at + 2);
            if (m_at > size)
                damaged("a record runs past the end of the workbook stream");
        }
        record.end = m_at;
        return true;
    }

private:
    const QByteArray& m_stream;
    std::size_t m_at;
};

void needSize(const Record& record, std::size_t size)
{
    if (record.size < size)
        damaged("a record is shorter than its kind needs");
}

// What the workbook globals say about the sheet's cells.
struct Globals {
    std::vector<QString> strings;
    std::vector<bool> dateXf;   // by XF index: the format shows a date
    bool date1904 = false;
    std::int64_t firstSheet = -1;   // stream offset of the first worksheet's BOF
    // Every worksheet by its name, with the stream offset of its BOF.
    std::vector<std::pair<QString, std::int64_t>> worksheets;
};

// The name of a sheet in its BOUNDSHEET record: a count of characters, a
// flag for 16-bit characters, then the characters.
QString boundSheetName(const Record& record)
{
    if (record.size < 8)
        return QString();
    const std::size_t count = record.data[6];
    const bool wide = record.data[7] & 1;
    if (record.size < 8 + count * (wide ? 2 : 1))
        damaged("a sheet's name ends in the middle");
    QString name;
    for (std::size_t i = 0; i < count; ++i)
        name += QChar(wide ? le16(record.data + 8 + 2 * i) : record.data[8 + i]);
    return name;
}

std::vector<QString> readSharedStrings(const QByteArray& stream, const Record& record, HeldMemory& held)
{
    ContinuedRecord r = record.continued(stream);
    r.skip(4);
    const std::uint32_t count = r.u32();
    std::vector<QString> strings;
    // Each string takes at least three bytes: a count too large to be true
    // costs no memory.
    strings.reserve(std::min<std::size_t>(count, std::size_t(stream.size()) / 3));
    for (std::uint32_t i = 0; i < count && !r.atEnd(); ++i) {
        strings.push_back(r.unicodeString(true));
        held.takeText(strings.back().size());
    }
    return strings;
}

Globals readGlobals(const QByteArray& stream, HeldMemory& held)
{
    Globals globals;
    RecordWalker walker(stream, 0);
    Record record;
    if (!walker.next(record) || record.type != kBOF || record.size < 4)
        damaged("its workbook stream does not begin as a workbook does");
    if (le16(record.data) != kBiff8)
        damaged("it was saved in a format older than Excel 97; save it as Excel 97-2003 (.xls) or as .xlsx");
    std::vector<int> xfFormats;
    std::vector<std::pair<int, QString>> formats;
    while (walker.next(record) && record.type != kEOF) {
        switch (record.type) {
        case kFILEPASS:
            damaged("it is protected with a password; save it without one");
        case kDATEMODE:
            needSize(record, 2);
            globals.date1904 = le16(record.data) == 1;
            break;
        case kFORMAT: {
            ContinuedRecord r = record.continued(stream);
            const int id = r.u16();
            formats.emplace_back(id, r.unicodeString(false));
            break;
        }
        case kXF:
            needSize(record, 4);
            xfFormats.push_back(le16(record.data + 2));
            break;
        case kBOUNDSHEET:
            needSize(record, 6);
            if (record.data[5] == 0) {   // a worksheet, not a chart or macro sheet
                if (globals.firstSheet < 0)
                    globals.firstSheet = le32(record.data);
                globals.worksheets.emplace_back(boundSheetName(record), le32(record.data));
            }
            break;
        case kSST:
            globals.strings = readSharedStrings(stream, record, held);
            break;
        default:
            break;
        }
    }
    if (globals.firstSheet < 0)
        damaged("the workbook has no worksheet");
    globals.dateXf.reserve(xfFormats.size());
    for (const int id : xfFormats) {
        QString code;
        for (const auto& [formatId, formatCode] : formats)
            if (formatId == id)
                code = formatCode;
        globals.dateXf.push_back(isDateFormat(id, code));
    }
    return globals;
}

const char* errorText(std::uint8_t code)
{
    switch (code) {
    case 0x00: return "#NULL!";
    case 0x07: return "#DIV/0!";
    case 0x0F: return "#VALUE!";
    case 0x17: return "#REF!";
    case 0x1D: return "#NAME?";
    case 0x24: return "#NUM!";
    default: return "#N/A";
    }
}

// The cells of the worksheet as they come, gathered by row: spreadsheet
// programs write them row by row, Orvane column by column.
class CellGrid {
public:
    CellGrid(const Globals& globals, HeldMemory& held) : m_globals(globals), m_held(held) {}

    void put(int row, int column, QString text)
    {
        m_held.takeText(text.size());
        if (m_rows.size() <= std::size_t(row))
            m_rows.resize(std::size_t(row) + 1);
        m_rows[std::size_t(row)].push_back({column, std::move(text)});
    }
    void putNumber(int row, int column, int xf, double value)
    {
        const bool date = xf >= 0 && std::size_t(xf) < m_globals.dateXf.size() && m_globals.dateXf[std::size_t(xf)];
        put(row, column, date ? shownDate(dateFromSerial(m_globals.date1904 ? value + 1462 : value))
                              : shownNumber(value));
    }

    // Hands the rows to the builder in order, each row's cells by column; of
    // two records for one cell the later counts. A row handed on is let go.
    SheetRows build(const CellChoice& choice)
    {
        SheetBuilder sheet(choice, m_held);
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            std::vector<Cell> cells = std::move(m_rows[r]);
            std::stable_sort(cells.begin(), cells.end(),
                             [](const Cell& a, const Cell& b) { return a.column < b.column; });
            const int row = int(r);
            for (std::size_t i = 0; i < cells.size(); ++i) {
                m_held.releaseText(cells[i].text.size());
                if (i + 1 < cells.size() && cells[i + 1].column == cells[i].column)
                    continue;
                const int column = cells[i].column;
                if (sheet.wants(row, column))
                    sheet.put(row, column, cells[i].text);
                else if (sheet.needsOther(row))
                    sheet.other(row, cells[i].text);
            }
            sheet.endRow(row);
        }
        return sheet.take();
    }

private:
    struct Cell {
        int column;
        QString text;
    };
    const Globals& m_globals;
    HeldMemory& m_held;
    std::vector<std::vector<Cell>> m_rows;
};

SheetRows readSheet(const QByteArray& stream, const Globals& globals, std::int64_t offset, const CellChoice& choice,
                    HeldMemory& held)
{
    RecordWalker walker(stream, std::size_t(offset));
    Record record;
    if (!walker.next(record) || record.type != kBOF)
        damaged("a worksheet does not begin as a worksheet does");
    CellGrid grid(globals, held);
    int depth = 1;   // embedded charts bring substreams of their own
    int formulaRow = -1, formulaColumn = -1;   // a formula whose text result comes in a STRING record
    while (depth > 0 && walker.next(record)) {
        if (record.type == kBOF) {
            ++depth;
            continue;
        }
        if (record.type == kEOF) {
            --depth;
            continue;
        }
        if (depth > 1)
            continue;
        const std::uint8_t* d = record.data;
        switch (record.type) {
        case kLABELSST: {
            needSize(record, 10);
            const std::uint32_t index = le32(d + 6);
            if (index >= globals.strings.size())
                damaged("a cell names a shared text that the workbook does not hold");
            grid.put(le16(d), le16(d + 2), globals.strings[index]);
            break;
        }
        case kLABEL:
        case kRSTRING: {
            ContinuedRecord r = record.continued(stream);
            const int row = r.u16();
            const int column = r.u16();
            r.skip(2);
            grid.put(row, column, r.unicodeString(false));
            break;
        }
        case kNUMBER:
            needSize(record, 14);
            grid.putNumber(le16(d), le16(d + 2), le16(d + 4), f64(d + 6));
            break;
        case kRK:
            needSize(record, 10);
            grid.putNumber(le16(d), le16(d + 2), le16(d + 4), rkValue(le32(d + 6)));
            break;
        case kMULRK: {
            needSize(record, 6);
            const int row = le16(d);
            const int first = le16(d + 2);
            const std::size_t count = (record.size - 6) / 6;
            for (std::size_t i = 0; i < count; ++i)
                grid.putNumber(row, first + int(i), le16(d + 4 + 6 * i), rkValue(le32(d + 6 + 6 * i)));
            break;
        }
        case kBOOLERR:
            needSize(record, 8);
            grid.put(le16(d), le16(d + 2),
                     d[7] ? QString::fromLatin1(errorText(d[6]))
                          : (d[6] ? QStringLiteral("TRUE") : QStringLiteral("FALSE")));
            break;
        case kFORMULA: {
            needSize(record, 14);
            const int row = le16(d);
            const int column = le16(d + 2);
            formulaRow = -1;
            if (le16(d + 12) != 0xFFFF) {
                grid.putNumber(row, column, le16(d + 4), f64(d + 6));
            } else if (d[6] == 0) {
                formulaRow = row;
                formulaColumn = column;
            } else if (d[6] == 1) {
                grid.put(row, column, d[8] ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
            } else if (d[6] == 2) {
                grid.put(row, column, QString::fromLatin1(errorText(d[8])));
            }
            break;
        }
        case kSTRING:
            if (formulaRow >= 0) {
                ContinuedRecord r = record.continued(stream);
                grid.put(formulaRow, formulaColumn, r.unicodeString(false));
                formulaRow = -1;
            }
            break;
        default:
            break;
        }
    }
    return grid.build(choice);
}

QByteArray fileBytes(QFile& file, const QString& fileName)
{
    if (!file.open(QIODevice::ReadOnly))
        throw FormatError(QStringLiteral("Cannot open '%1': %2")
                              .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    // Mapped, not copied: only the Workbook stream is taken out of it.
    if (const uchar* mapped = file.map(0, file.size()))
        return QByteArray::fromRawData(reinterpret_cast<const char*>(mapped), qsizetype(file.size()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw FormatError(QStringLiteral("Cannot read '%1': %2")
                              .arg(QDir::toNativeSeparators(fileName), file.errorString()));
    return bytes;
}

// Reads the workbook's globals and hands them, with its Workbook stream, to
// `read`; every way the file cannot be read becomes one FormatError.
template <class Result, class Read>
Result readWorkbook(const QString& fileName, Read&& read)
{
    QString why;
    try {
        QFile file(fileName);
        QString streamName;
        const QByteArray stream = readCompoundStream(fileBytes(file, fileName),
                                                     {QStringLiteral("Workbook"), QStringLiteral("Book")}, &streamName);
        if (streamName.isEmpty())
            why = QStringLiteral("it holds no workbook (no Workbook stream in its container)");
        else if (streamName != QLatin1String("Workbook"))
            why = QStringLiteral("it was saved in a format older than Excel 97; save it as Excel 97-2003 (.xls) or as .xlsx");
        else {
            HeldMemory held(fileName);
            const Globals globals = readGlobals(stream, held);
            return read(stream, globals, held);
        }
    } catch (const CompoundFileDamage& e) {
        why = e.why;
    } catch (const Damage& e) {
        why = e.why;
    }
    throw FormatError(QStringLiteral("Cannot read the workbook '%1': %2.")
                          .arg(QDir::toNativeSeparators(fileName), why));
}

} // namespace

SheetRows readXlsSheet(const QString& fileName, const CellChoice& choice)
{
    return readWorkbook<SheetRows>(fileName, [&](const QByteArray& stream, const Globals& globals, HeldMemory& held) {
        return readSheet(stream, globals, globals.firstSheet, choice, held);
    });
}

SheetAndNamedSheet readXlsSheets(const QString& fileName, const CellChoice& choice, const QString& sheetName)
{
    return readWorkbook<SheetAndNamedSheet>(fileName, [&](const QByteArray& stream, const Globals& globals,
                                                          HeldMemory& held) {
        SheetAndNamedSheet sheets{readSheet(stream, globals, globals.firstSheet, choice, held), std::nullopt};
        for (const auto& [name, offset] : globals.worksheets) {
            if (offset != globals.firstSheet && name == sheetName) {
                sheets.named = readSheet(stream, globals, offset, CellChoice{}, held);
                break;
            }
        }
        return sheets;
    });
}

} // namespace orvane::workbook
