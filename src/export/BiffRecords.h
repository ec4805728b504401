#pragma once
// BIFF8 records, one small function per record type, written straight into
// the output. Each function writes the 4-byte record header (type, length)
// and the record's data. The fixed records' sizes add up to
// kFixedRecordsSize, which the workbook writer uses to compute the stream
// length before writing anything.

#include <QByteArray>
#include <algorithm>
#include <bit>
#include <cstring>
#include <cstdint>
#include <vector>

namespace orvane::exporting::biff {

enum RecordType : std::uint16_t {
    kEOF = 0x000A,
    kEXTERNSHEET = 0x0017,
    kNAME = 0x0018,
    kFONT = 0x0031,
    kCONTINUE = 0x003C,
    kWINDOW1 = 0x003D,
    kPANE = 0x0041,
    kCOLINFO = 0x007D,
    kBOUNDSHEET = 0x0085,
    kPALETTE = 0x0092,
    kAUTOFILTERINFO = 0x009D,
    kXF = 0x00E0,
    kMERGEDCELLS = 0x00E5,
    kSST = 0x00FC,
    kLABELSST = 0x00FD,
    kEXTSST = 0x00FF,
    kTABID = 0x013D,
    kSUPBOOK = 0x01AE,
    kDIMENSIONS = 0x0200,
    kBLANK = 0x0201,
    kNUMBER = 0x0203,
    kLABEL = 0x0204,
    kBOOLERR = 0x0205,
    kROW = 0x0208,
    kWINDOW2 = 0x023E,
    kSTYLE = 0x0293,
    kBOF = 0x0809,
};

// Globals without fonts, XFs, the sheet name and the string table, plus the
// worksheet's BOF, DIMENSIONS, WINDOW2 and EOF.
inline constexpr std::uint32_t kFixedRecordsSize = 984;
inline constexpr int kMergedRangesPerRecord = 1024;

} // namespace orvane::exporting::biff

namespace orvane::exporting {

class FileSink;

namespace biff {

enum class Substream : std::uint16_t { Globals = 0x0005, Worksheet = 0x0010 };

void writeBOF(FileSink& out, Substream kind);
// One tab entry per sheet; one sheet is what kFixedRecordsSize counts.
void writeTABID(FileSink& out, int sheetCount = 1);
void writeWINDOW1(FileSink& out);
void writeBuiltInFONTs(FileSink& out);                  // the five Arial 10 fonts
void writeRecord(FileSink& out, std::uint16_t type, const std::uint8_t* data, std::size_t size);
void writeBuiltInXFs(FileSink& out);                    // XF 0 to 16
void writePALETTE(FileSink& out, const std::uint32_t* colors, int count);
void writeSTYLEs(FileSink& out);
// Returns the stream position of the worksheet offset field, patched later.
std::int64_t writeBOUNDSHEET(FileSink& out, const QByteArray& nameData, bool wideName, bool hidden = false);
inline constexpr std::uint32_t boundSheetSize(std::size_t nameBytes) { return 4 + 8 + std::uint32_t(nameBytes); }
void writeSUPBOOK(FileSink& out, int sheetCount = 1);
void writeEXTERNSHEET(FileSink& out);
void writeEOF(FileSink& out);
// The used range: rows 0 to rowCount - 1, columns 0 to columnCount - 1.
void writeDIMENSIONS(FileSink& out, int rowCount, int columnCount);
// frozenRows > 0 marks the panes frozen (a PANE record must follow). The
// selected sheet is the one shown when the workbook opens.
void writeWINDOW2(FileSink& out, bool gridLines, int frozenRows = 0, bool selected = true);

// A worksheet holding cells only: BOF, DIMENSIONS, WINDOW2 and EOF around
// its cell records.
inline constexpr std::uint32_t kBareWorksheetSize = 20 + 18 + 22 + 4;

// The rows above `frozenRows` stay in view while the rest scrolls.
void writePANE(FileSink& out, int frozenRows);
inline constexpr std::uint32_t kPaneSize = 4 + 10;

// A sheet area whose first row carries filter buttons.
struct FilterArea {
    std::uint16_t firstRow = 0, lastRow = 0, firstColumn = 0, lastColumn = 0;
    bool isSet = false;
};
// The hidden built-in name "_FilterDatabase" of the first sheet, referring
// to the area through the first EXTERNSHEET entry.
void writeFilterDatabaseNAME(FileSink& out, const FilterArea& area);
inline constexpr std::uint32_t kFilterDatabaseNameSize = 4 + 27;
// The number of filter buttons.
void writeAUTOFILTERINFO(FileSink& out, const FilterArea& area);
inline constexpr std::uint32_t kAutoFilterInfoSize = 4 + 2;

struct MergedRange {
    std::uint16_t firstRow, lastRow, firstColumn, lastColumn;
};
void writeMERGEDCELLS(FileSink& out, const std::vector<MergedRange>& ranges);
std::uint64_t mergedCellsSize(std::size_t rangeCount);

// Cell records, written at p by the cell loop, which has made room for them
// (10 bytes plus a LABEL's payload); each returns the end of its record.
inline std::uint8_t* putCellHeader(std::uint8_t* p, std::uint16_t type, std::size_t length, std::uint16_t row,
                                   std::uint16_t column, std::uint16_t xf)
{
    static_assert(std::endian::native == std::endian::little, "records are put as native words");
    const std::uint64_t word = std::uint64_t(type) | (std::uint64_t(length) << 16) | (std::uint64_t(row) << 32)
        | (std::uint64_t(column) << 48);
    std::memcpy(p, &word, 8);
    p[8] = std::uint8_t(xf);
    p[9] = std::uint8_t(xf >> 8);
    return p + 10;
}

inline std::uint8_t* putBLANK(std::uint8_t* p, std::uint16_t row, std::uint16_t column, std::uint16_t xf)
{
    return putCellHeader(p, kBLANK, 6, row, column, xf);
}

// payload: character count, option byte and characters, as kept in the
// label pool.
inline std::uint8_t* putLABEL(std::uint8_t* p, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                              const std::uint8_t* payload, std::size_t payloadSize)
{
    p = putCellHeader(p, kLABEL, 6 + payloadSize, row, column, xf);
    std::memcpy(p, payload, payloadSize);
    return p + payloadSize;
}

inline std::uint8_t* putNUMBER(std::uint8_t* p, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                               double value)
{
    p = putCellHeader(p, kNUMBER, 14, row, column, xf);
    std::memcpy(p, &value, 8);
    return p + 8;
}

inline std::uint8_t* putBOOLERR(std::uint8_t* p, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                                bool value)
{
    p = putCellHeader(p, kBOOLERR, 8, row, column, xf);
    p[0] = value ? 1 : 0;
    p[1] = 0;   // a Boolean, not an error code
    return p + 2;
}

inline std::uint8_t* putLABELSST(std::uint8_t* p, std::uint16_t row, std::uint16_t column, std::uint16_t xf,
                                 std::uint32_t stringIndex)
{
    p = putCellHeader(p, kLABELSST, 10, row, column, xf);
    std::memcpy(p, &stringIndex, 4);
    return p + 4;
}

// The data of the records built from styles and sizes.
std::vector<std::uint8_t> colInfoData(int column, int pixelWidth);
std::vector<std::uint8_t> rowData(int row, int pixelHeight);

} // namespace biff
} // namespace orvane::exporting
