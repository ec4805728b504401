#include "export/BiffRecords.h"

#include "export/FileSink.h"

#include <cmath>

namespace orvane::exporting::biff {

namespace {

void header(FileSink& out, std::uint16_t type, std::uint16_t length)
{
    out.u16(type);
    out.u16(length);
}

void bytes(FileSink& out, std::initializer_list<std::uint8_t> data)
{
    out.write(data.begin(), data.size());
}

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v)
{
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

// Round to nearest, halves to even.
long roundEven(double v) { return std::lrint(v); }

} // namespace

void writeBOF(FileSink& out, Substream kind)
{
    header(out, kBOF, 16);
    out.u16(0x0600);   // BIFF8
    out.u16(std::uint16_t(kind));
    bytes(out, {0xBB, 0x0D, 0xCC, 0x07, 0x00, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00});
}

void writeTABID(FileSink& out, int sheetCount)
{
    header(out, kTABID, std::uint16_t(2 * sheetCount));
    for (int i = 0; i < sheetCount; ++i)
        out.u16(std::uint16_t(i));
}

void writeWINDOW1(FileSink& out)
{
    header(out, kWINDOW1, 18);
    bytes(out, {0xE0, 0x01, 0x69, 0x00, 0xCC, 0x42, 0x7F, 0x26, 0x38, 0x00,
                0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x58, 0x02});
}

void writeBuiltInFONTs(FileSink& out)
{
    for (int i = 0; i < 5; ++i) {
        header(out, kFONT, 26);
        bytes(out, {0xC8, 0x00, 0x00, 0x00, 0xFF, 0x7F, 0x90, 0x01,
                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x01});
        for (char16_t c : u"Arial")
            if (c)
                out.u16(c);
    }
}

void writeRecord(FileSink& out, std::uint16_t type, const std::uint8_t* data, std::size_t size)
{
    header(out, type, std::uint16_t(size));
    out.write(data, size);
}

void writeBuiltInXFs(FileSink& out)
{
    struct BuiltIn {
        std::uint16_t font, format, flags;
        std::uint8_t byte9;
    };
    auto xf = [&out](const BuiltIn& x) {
        header(out, kXF, 20);
        out.u16(x.font);
        out.u16(x.format);
        out.u16(x.flags);
        out.u8(0x20);   // bottom aligned
        out.u8(0);
        out.u8(0);
        out.u8(x.byte9);
        out.zeros(8);   // no borders
        out.u16(0x20C0);
    };
    xf({0, 0, 0xFFF5, 0x00});
    xf({1, 0, 0xFFF5, 0xF4});
    xf({1, 0, 0xFFF5, 0xF4});
    xf({2, 0, 0xFFF5, 0xF4});
    xf({2, 0, 0xFFF5, 0xF4});
    for (int i = 5; i <= 14; ++i)
        xf({0, 0, 0xFFF5, 0xF4});
    xf({0, 0, 0x0001, 0x00});
    xf({1, 43, 0xFFF5, 0xF8});
}

void writePALETTE(FileSink& out, const std::uint32_t* colors, int count)
{
    header(out, kPALETTE, std::uint16_t(2 + 4 * count));
    out.u16(std::uint16_t(count));
    for (int i = 0; i < count; ++i)
        out.u32(colors[i] & 0x00FFFFFF);   // R, G, B, 0
}

void writeSTYLEs(FileSink& out)
{
    const std::uint8_t styles[6][4] = {{0x10, 0x80, 0x03, 0xFF}, {0x11, 0x80, 0x06, 0xFF},
                                       {0x12, 0x80, 0x04, 0xFF}, {0x13, 0x80, 0x07, 0xFF},
                                       {0x00, 0x80, 0x00, 0xFF}, {0x14, 0x80, 0x05, 0xFF}};
    for (const auto& s : styles)
        writeRecord(out, kSTYLE, s, 4);
}

std::int64_t writeBOUNDSHEET(FileSink& out, const QByteArray& nameData, bool wideName, bool hidden)
{
    const int chars = int(wideName ? nameData.size() / 2 : nameData.size());
    header(out, kBOUNDSHEET, std::uint16_t(8 + nameData.size()));
    const std::int64_t offsetField = out.position();
    out.u32(0);   // worksheet BOF offset, patched once known
    out.u16(hidden ? 1 : 0);   // a worksheet, visible or hidden
    out.u8(std::uint8_t(chars));
    out.u8(wideName ? 1 : 0);
    out.write(nameData.constData(), std::size_t(nameData.size()));
    return offsetField;
}

void writeSUPBOOK(FileSink& out, int sheetCount)
{
    header(out, kSUPBOOK, 4);
    out.u16(std::uint16_t(sheetCount));
    bytes(out, {0x01, 0x04});   // references inside this workbook
}

void writeEXTERNSHEET(FileSink& out)
{
    header(out, kEXTERNSHEET, 8);
    bytes(out, {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
}

void writeEOF(FileSink& out) { header(out, kEOF, 0); }

void writeDIMENSIONS(FileSink& out, int rowCount, int columnCount)
{
    header(out, kDIMENSIONS, 14);
    out.u32(0);                                        // first row
    out.u32(std::uint32_t(std::max(rowCount, 0)));     // last row + 1
    out.u16(0);                                        // first column
    out.u16(std::uint16_t(std::max(columnCount, 0)));  // last column + 1
    out.u16(0);
}

void writeWINDOW2(FileSink& out, bool gridLines, int frozenRows, bool selected)
{
    constexpr std::uint16_t kFrozen = 0x0008, kFrozenNoSplit = 0x0100, kSelectedAndShown = 0x0600;
    header(out, kWINDOW2, 18);
    std::uint16_t flags = (gridLines ? 0x06B6 : 0x06B4) | (frozenRows > 0 ? kFrozen | kFrozenNoSplit : 0);
    if (!selected)
        flags &= std::uint16_t(~kSelectedAndShown);
    out.u16(flags);
    bytes(out, {0x00, 0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00,
                0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
}

void writePANE(FileSink& out, int frozenRows)
{
    header(out, kPANE, 10);
    out.u16(0);                                // no columns frozen
    out.u16(std::uint16_t(frozenRows));        // rows frozen
    out.u16(std::uint16_t(frozenRows));        // first row shown below them
    out.u16(0);                                // first column shown
    out.u16(2);                                // the lower pane is active
}

void writeFilterDatabaseNAME(FileSink& out, const FilterArea& area)
{
    header(out, kNAME, 27);
    out.u16(0x0021);   // hidden, built-in
    out.u8(0);         // no keyboard shortcut
    out.u8(1);         // name length: one character
    out.u16(11);       // formula size
    out.u16(0);
    out.u16(1);        // local to sheet 1
    out.u8(0);         // no menu, description, help or status texts
    out.u8(0);
    out.u8(0);
    out.u8(0);
    out.u8(0);         // 8-bit name
    out.u8(0x0D);      // built-in name "_FilterDatabase"
    out.u8(0x3B);      // area with sheet reference
    out.u16(0);        // EXTERNSHEET entry 0: this workbook's sheet 0
    out.u16(area.firstRow);
    out.u16(area.lastRow);
    out.u16(area.firstColumn);
    out.u16(area.lastColumn);
}

void writeAUTOFILTERINFO(FileSink& out, const FilterArea& area)
{
    header(out, kAUTOFILTERINFO, 2);
    out.u16(std::uint16_t(area.lastColumn - area.firstColumn + 1));
}

void writeMERGEDCELLS(FileSink& out, const std::vector<MergedRange>& ranges)
{
    for (std::size_t first = 0; first < ranges.size(); first += kMergedRangesPerRecord) {
        const std::size_t k = std::min<std::size_t>(kMergedRangesPerRecord, ranges.size() - first);
        header(out, kMERGEDCELLS, std::uint16_t(2 + 8 * k));
        out.u16(std::uint16_t(k));
        for (std::size_t i = first; i < first + k; ++i) {
            out.u16(ranges[i].firstRow);
            out.u16(ranges[i].lastRow);
            out.u16(ranges[i].firstColumn);
            out.u16(ranges[i].lastColumn);
        }
    }
}

std::uint64_t mergedCellsSize(std::size_t rangeCount)
{
    if (rangeCount == 0)
        return 0;
    const std::uint64_t records = (rangeCount + kMergedRangesPerRecord - 1) / kMergedRangesPerRecord;
    return 8 * std::uint64_t(rangeCount) + 6 * records;
}

std::vector<std::uint8_t> colInfoData(int column, int pixelWidth)
{
    std::vector<std::uint8_t> d(11, 0);
    put16(d, 0, std::uint16_t(column));
    put16(d, 2, std::uint16_t(column));
    const long width = roundEven(pixelWidth * 36.6);
    put16(d, 4, std::uint16_t(std::clamp(width, 0L, 0xFFFFL)));
    put16(d, 6, 15);   // XF
    put16(d, 8, 0);    // flags
    return d;
}

std::vector<std::uint8_t> rowData(int row, int pixelHeight)
{
    std::vector<std::uint8_t> d(16, 0);
    put16(d, 0, std::uint16_t(row));
    put16(d, 2, 0);
    put16(d, 4, 256);
    const long twips = roundEven(pixelHeight * 20 / 1.325);
    put16(d, 6, std::uint16_t(std::clamp(twips, 0L, 0x7FFFL)));
    put16(d, 12, 0x01C0);
    put16(d, 14, 15);
    return d;
}

} // namespace orvane::exporting::biff
