#include "export/CompoundDocument.h"

#include "common/Errors.h"
#include "export/FileSink.h"

#include <cstring>

namespace orvane::exporting {

namespace {

constexpr std::uint32_t ceilDiv(std::uint64_t a, std::uint64_t b) { return std::uint32_t((a + b - 1) / b); }

std::uint32_t difatCountFor(std::uint32_t fatSectors)
{
    return fatSectors > kHeaderDifatEntries ? ceilDiv(fatSectors - kHeaderDifatEntries, 127) : 0;
}

void put16(QByteArray& b, std::size_t at, std::uint16_t v)
{
    b[qsizetype(at)] = char(v);
    b[qsizetype(at + 1)] = char(v >> 8);
}

void put32(QByteArray& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[qsizetype(at + i)] = char(v >> (8 * i));
}

// Byte offset, within the header area, of sector n.
std::size_t sectorOffset(std::uint32_t n) { return std::size_t(kSectorSize) * (n + 1); }

void writeHeaderSector(QByteArray& area, const CompoundLayout& lay)
{
    static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(area.data(), signature, 8);
    put16(area, 24, 0x003E);   // minor version
    put16(area, 26, 3);        // major version
    put16(area, 28, 0xFFFE);   // byte order
    put16(area, 30, 9);        // sector shift
    put16(area, 32, 6);        // mini sector shift
    put32(area, 40, 0);        // directory sector count
    put32(area, 44, lay.fatSectors);
    put32(area, 48, 1);        // first directory sector
    put32(area, 52, 0);        // transaction signature
    put32(area, 56, kMiniStreamCutoff);
    put32(area, 60, lay.small ? 2 : kEndOfChain);   // first mini FAT sector
    put32(area, 64, lay.small ? 1 : 0);             // mini FAT sector count
    put32(area, 68, lay.difatSectors ? lay.difatSectorAt[0] : kEndOfChain);
    put32(area, 72, lay.difatSectors);
    for (std::uint32_t i = 0; i < kHeaderDifatEntries; ++i)
        put32(area, 76 + 4 * i, i < lay.fatSectors ? lay.fatSectorAt[i] : kFreeSector);
}

void writeDirectoryEntry(QByteArray& area, std::size_t at, const char16_t* name, std::uint8_t type,
                         std::uint8_t colour, std::uint32_t child, std::uint32_t start, std::uint32_t size)
{
    std::size_t n = 0;
    for (; name[n]; ++n)
        put16(area, at + 2 * n, std::uint16_t(name[n]));
    put16(area, at + 64, std::uint16_t(2 * (n + 1)));
    area[qsizetype(at + 66)] = char(type);
    area[qsizetype(at + 67)] = char(colour);
    put32(area, at + 68, kNoEntry);   // left sibling
    put32(area, at + 72, kNoEntry);   // right sibling
    put32(area, at + 76, child);
    put32(area, at + 116, start);
    put32(area, at + 120, size);
}

void writeDirectory(QByteArray& area, const CompoundLayout& lay)
{
    const std::size_t at = sectorOffset(1);
    if (lay.small) {
        writeDirectoryEntry(area, at, u"Root Entry", 5, 0, 1, 3, lay.streamSectors * kSectorSize);
        writeDirectoryEntry(area, at + 128, u"Workbook", 2, 1, kNoEntry, 0, std::uint32_t(lay.streamLength));
    } else {
        writeDirectoryEntry(area, at, u"Root Entry", 5, 0, 1, kEndOfChain, 0);
        writeDirectoryEntry(area, at + 128, u"Workbook", 2, 1, kNoEntry, lay.streamStart,
                            std::uint32_t(lay.streamLength));
    }
}

void writeSmallTables(QByteArray& area, const CompoundLayout& lay)
{
    const std::size_t fat = sectorOffset(0);
    for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
        put32(area, fat + 4 * e, kFreeSector);
    put32(area, fat, kFatSector);
    put32(area, fat + 4, kEndOfChain);   // directory
    put32(area, fat + 8, kEndOfChain);   // mini FAT
    const std::uint32_t s = lay.streamSectors;
    for (std::uint32_t e = 3; e <= s + 1; ++e)
        put32(area, fat + 4 * e, e + 1);
    put32(area, fat + 4 * (s + 2), kEndOfChain);

    const std::size_t mini = sectorOffset(2);
    const std::uint32_t m = ceilDiv(lay.streamLength, kMiniSectorSize);
    for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
        put32(area, mini + 4 * e, kFreeSector);
    for (std::uint32_t e = 0; e + 1 < m; ++e)
        put32(area, mini + 4 * e, e + 1);
    put32(area, mini + 4 * (m - 1), kEndOfChain);
}

void writeLargeTables(QByteArray& area, const CompoundLayout& lay)
{
    // FAT entries, in sector order, spread over the FAT sectors as placed.
    const std::uint32_t total = lay.fatSectors * kEntriesPerSector;
    std::vector<std::uint32_t> fat(total, kFreeSector);
    for (std::uint32_t s : lay.fatSectorAt)
        fat[s] = kFatSector;
    for (std::uint32_t s : lay.difatSectorAt)
        fat[s] = kDifatSector;
    fat[1] = kEndOfChain;   // directory
    const std::uint32_t first = lay.streamStart;
    const std::uint32_t last = first + lay.streamSectors - 1;
    for (std::uint32_t s = first; s < last; ++s)
        fat[s] = s + 1;
    fat[last] = kEndOfChain;
    for (std::uint32_t k = 0; k < lay.fatSectors; ++k) {
        const std::size_t at = sectorOffset(lay.fatSectorAt[k]);
        for (std::uint32_t e = 0; e < kEntriesPerSector; ++e)
            put32(area, at + 4 * e, fat[k * kEntriesPerSector + e]);
    }

    // DIFAT sectors: 127 FAT sector numbers each from FAT sector 109 on, then
    // the link to the next DIFAT sector.
    std::uint32_t k = kHeaderDifatEntries;
    for (std::uint32_t m = 0; m < lay.difatSectors; ++m) {
        const std::size_t at = sectorOffset(lay.difatSectorAt[m]);
        for (std::uint32_t e = 0; e < 127; ++e, ++k)
            put32(area, at + 4 * e, k < lay.fatSectors ? lay.fatSectorAt[k] : kFreeSector);
        const bool lastDifat = m + 1 == lay.difatSectors;
        put32(area, at + 4 * 127, lastDifat ? kFreeSector : lay.difatSectorAt[m + 1]);
    }
}

} // namespace

CompoundLayout compoundLayout(std::int64_t streamLength)
{
    if (streamLength <= 0)
        throw EcxExportData(QStringLiteral("Error write XLS file"));
    if (std::uint64_t(streamLength) > kMaxStreamLength)
        throw EcxExportData(QStringLiteral("The workbook is too large for the .xls format"));

    CompoundLayout lay;
    lay.streamLength = std::uint64_t(streamLength);
    lay.streamSectors = ceilDiv(lay.streamLength, kSectorSize);
    const std::uint32_t s = lay.streamSectors;

    if (lay.streamLength < kMiniStreamCutoff) {
        lay.small = true;
        lay.fatSectors = 1;
        lay.fatSectorAt = {0};
        lay.streamStart = 3;
        lay.headerAreaSize = 2048;
        return lay;
    }

    // ceil((S + 3) / 127) FAT sectors hold an entry for every sector while at
    // most two DIFAT sectors are needed. Beyond that it can fall short, so F
    // grows until the FAT covers the FAT and DIFAT sectors, the directory and
    // the stream.
    std::uint32_t f = ceilDiv(std::uint64_t(s) + 3, 127);
    std::uint32_t d = difatCountFor(f);
    while (std::uint64_t(f) * kEntriesPerSector < std::uint64_t(s) + f + d + 1) {
        ++f;
        d = difatCountFor(f);
    }
    lay.fatSectors = f;
    lay.difatSectors = d;

    // Sector 0 is FAT sector 0, sector 1 the directory; sectors 2 to F + D
    // take DIFAT sectors at 111 + 128 m and FAT sectors 1, 2, ... elsewhere.
    lay.fatSectorAt.reserve(f);
    lay.fatSectorAt.push_back(0);
    for (std::uint32_t sector = 2; sector <= f + d; ++sector) {
        const bool difat = sector >= 111 && (sector - 111) % 128 == 0 && lay.difatSectorAt.size() < d;
        if (difat)
            lay.difatSectorAt.push_back(sector);
        else
            lay.fatSectorAt.push_back(sector);
    }
    lay.streamStart = f + d + 1;
    lay.headerAreaSize = std::uint64_t(f + d + 2) * kSectorSize;
    return lay;
}

QByteArray compoundHeaderArea(std::int64_t streamLength)
{
    const CompoundLayout lay = compoundLayout(streamLength);
    QByteArray area(qsizetype(lay.headerAreaSize), '\0');
    writeHeaderSector(area, lay);
    if (lay.small)
        writeSmallTables(area, lay);
    else
        writeLargeTables(area, lay);
    writeDirectory(area, lay);
    return area;
}

TcxXLSWorkBookWriter::TcxXLSWorkBookWriter(std::int64_t streamLength, QIODevice* output)
{
    if (streamLength <= 0 || output == nullptr || !output->isOpen())
        throw EcxExportData(QStringLiteral("Error write XLS file"));
    m_layout = compoundLayout(streamLength);
    const QByteArray area = compoundHeaderArea(streamLength);
    if (output->write(area) != area.size()) {
        const bool noSpace = lastSystemErrorIsNoSpace();
        const auto* file = qobject_cast<QFileDevice*>(output);
        throw ExportFileError(fileWriteFailure(file ? file->fileName() : QStringLiteral("the export file"),
                                               output->errorString(), noSpace));
    }
}

} // namespace orvane::exporting
