// The compound document front part: both layouts byte for byte at their
// boundaries, the DIFAT, the FAT covering every sector for any stream length,
// and olefile reading the stream back.

#include "common/Errors.h"
#include "export/CompoundDocument.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvane::exporting;
using exporttest::u16;
using exporttest::u32;

namespace {

qsizetype sectorAt(std::uint32_t n) { return qsizetype(512) * (n + 1); }

// The FAT as a reader rebuilds it: FAT sector numbers from the header's 109
// entries and the DIFAT chain, then the entries of those sectors.
std::vector<std::uint32_t> readFat(const QByteArray& area)
{
    const std::uint32_t f = u32(area, 44);
    std::vector<std::uint32_t> fatSectors;
    for (std::uint32_t i = 0; i < 109 && fatSectors.size() < f; ++i)
        fatSectors.push_back(u32(area, 76 + 4 * i));
    std::uint32_t difat = u32(area, 68);
    for (std::uint32_t m = 0; m < u32(area, 72); ++m) {
        for (int e = 0; e < 127 && fatSectors.size() < f; ++e)
            fatSectors.push_back(u32(area, sectorAt(difat) + 4 * e));
        difat = u32(area, sectorAt(difat) + 4 * 127);
    }
    std::vector<std::uint32_t> fat;
    for (std::uint32_t s : fatSectors)
        for (int e = 0; e < 128; ++e)
            fat.push_back(u32(area, sectorAt(s) + 4 * e));
    return fat;
}

QByteArray headerVia(std::int64_t length)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    TcxXLSWorkBookWriter writer(length, &buffer);
    return buffer.data();
}

} // namespace

TEST(CompoundDocument, SmallStreamOfOneMiniSector)
{
    const QByteArray area = headerVia(64);
    ASSERT_EQ(area.size(), 2048);   // with the 64 stream bytes the file is 2112 long
    EXPECT_EQ(area.left(8), QByteArray::fromHex("D0CF11E0A1B11AE1"));
    EXPECT_EQ(u16(area, 24), 0x3E);
    EXPECT_EQ(u16(area, 26), 3);
    EXPECT_EQ(u16(area, 28), 0xFFFE);
    EXPECT_EQ(u32(area, 44), 1u);            // FAT sectors
    EXPECT_EQ(u32(area, 48), 1u);            // directory
    EXPECT_EQ(u32(area, 56), 4096u);
    EXPECT_EQ(u32(area, 60), 2u);            // mini FAT
    EXPECT_EQ(u32(area, 64), 1u);
    EXPECT_EQ(u32(area, 68), kEndOfChain);
    EXPECT_EQ(u32(area, 72), 0u);
    EXPECT_EQ(u32(area, 76), 0u);
    for (int i = 1; i < 109; ++i)
        EXPECT_EQ(u32(area, 76 + 4 * i), kFreeSector);

    const qsizetype fat = sectorAt(0);
    EXPECT_EQ(u32(area, fat), kFatSector);
    EXPECT_EQ(u32(area, fat + 4), kEndOfChain);
    EXPECT_EQ(u32(area, fat + 8), kEndOfChain);
    EXPECT_EQ(u32(area, fat + 12), kEndOfChain);   // the one stream sector
    EXPECT_EQ(u32(area, fat + 16), kFreeSector);
    EXPECT_EQ(u32(area, sectorAt(2)), kEndOfChain);        // one mini sector
    EXPECT_EQ(u32(area, sectorAt(2) + 4), kFreeSector);

    const qsizetype dir = sectorAt(1);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(area.constData() + dir), 10),
              QStringLiteral("Root Entry"));
    EXPECT_EQ(u16(area, dir + 64), 22);
    EXPECT_EQ(std::uint8_t(area[dir + 66]), 5);
    EXPECT_EQ(u32(area, dir + 76), 1u);       // child
    EXPECT_EQ(u32(area, dir + 116), 3u);      // mini stream start
    EXPECT_EQ(u32(area, dir + 120), 512u);
    EXPECT_EQ(u16(area, dir + 128 + 64), 18);
    EXPECT_EQ(std::uint8_t(area[dir + 128 + 66]), 2);
    EXPECT_EQ(std::uint8_t(area[dir + 128 + 67]), 1);
    EXPECT_EQ(u32(area, dir + 128 + 68), kNoEntry);
    EXPECT_EQ(u32(area, dir + 128 + 76), kNoEntry);
    EXPECT_EQ(u32(area, dir + 128 + 116), 0u);
    EXPECT_EQ(u32(area, dir + 128 + 120), 64u);
    EXPECT_EQ(area.mid(dir + 256, 256), QByteArray(256, '\0'));
}

TEST(CompoundDocument, LargestSmallStream)
{
    const QByteArray area = headerVia(4095);
    ASSERT_EQ(area.size(), 2048);
    const qsizetype fat = sectorAt(0);
    for (std::uint32_t e = 3; e < 10; ++e)
        EXPECT_EQ(u32(area, fat + 4 * e), e + 1);
    EXPECT_EQ(u32(area, fat + 40), kEndOfChain);
    EXPECT_EQ(u32(area, fat + 44), kFreeSector);
    const qsizetype mini = sectorAt(2);
    for (std::uint32_t e = 0; e < 63; ++e)
        EXPECT_EQ(u32(area, mini + 4 * e), e + 1);
    EXPECT_EQ(u32(area, mini + 4 * 63), kEndOfChain);
    for (int e = 64; e < 128; ++e)
        EXPECT_EQ(u32(area, mini + 4 * e), kFreeSector);
    EXPECT_EQ(u32(area, sectorAt(1) + 120), 8u * 512);
}

TEST(CompoundDocument, SmallestLargeStream)
{
    const QByteArray area = headerVia(4096);
    ASSERT_EQ(area.size(), 1536);   // with the stream the file is 5632 long
    EXPECT_EQ(u32(area, 44), 1u);
    EXPECT_EQ(u32(area, 60), kEndOfChain);
    EXPECT_EQ(u32(area, 64), 0u);
    const qsizetype fat = sectorAt(0);
    EXPECT_EQ(u32(area, fat), kFatSector);
    EXPECT_EQ(u32(area, fat + 4), kEndOfChain);
    for (std::uint32_t e = 2; e <= 8; ++e)
        EXPECT_EQ(u32(area, fat + 4 * e), e + 1);
    EXPECT_EQ(u32(area, fat + 36), kEndOfChain);
    for (int e = 10; e < 128; ++e)
        EXPECT_EQ(u32(area, fat + 4 * e), kFreeSector);
    const qsizetype dir = sectorAt(1);
    EXPECT_EQ(u32(area, dir + 116), kEndOfChain);
    EXPECT_EQ(u32(area, dir + 120), 0u);
    EXPECT_EQ(u32(area, dir + 128 + 116), 2u);
    EXPECT_EQ(u32(area, dir + 128 + 120), 4096u);
}

TEST(CompoundDocument, DifatBoundary)
{
    struct Case {
        std::uint32_t sectors;
        std::uint32_t fat, difat, streamStart;
    };
    for (const Case c : {Case{13840, 109, 0, 110}, Case{13841, 110, 1, 112}}) {
        SCOPED_TRACE(c.sectors);
        const CompoundLayout lay = compoundLayout(std::int64_t(c.sectors) * 512);
        EXPECT_EQ(lay.fatSectors, c.fat);
        EXPECT_EQ(lay.difatSectors, c.difat);
        EXPECT_EQ(lay.streamStart, c.streamStart);
        EXPECT_EQ(lay.headerAreaSize, (c.streamStart + 1) * 512u);
    }
    const QByteArray area = compoundHeaderArea(std::int64_t(13841) * 512);
    EXPECT_EQ(u32(area, 68), 111u);
    EXPECT_EQ(u32(area, 72), 1u);
    EXPECT_EQ(u32(area, 76 + 4 * 108), 109u);   // FAT sector 108
    EXPECT_EQ(u32(area, sectorAt(111)), 110u);   // FAT sector 109
    EXPECT_EQ(u32(area, sectorAt(111) + 4), kFreeSector);
    EXPECT_EQ(u32(area, sectorAt(111) + 4 * 127), kFreeSector);
    const auto fat = readFat(area);
    EXPECT_EQ(fat[110], kFatSector);
    EXPECT_EQ(fat[111], kDifatSector);
    EXPECT_EQ(fat[112], 113u);
}

TEST(CompoundDocument, TwoDifatSectors)
{
    const std::uint32_t s = 238 * 127 - 3;
    const QByteArray area = compoundHeaderArea(std::int64_t(s) * 512);
    ASSERT_EQ(u32(area, 44), 238u);
    ASSERT_EQ(u32(area, 72), 2u);
    const qsizetype first = sectorAt(111);
    EXPECT_EQ(u32(area, first), 110u);
    for (std::uint32_t e = 1; e < 127; ++e)
        EXPECT_EQ(u32(area, first + 4 * e), 111u + e);
    EXPECT_EQ(u32(area, first + 4 * 126), 237u);
    EXPECT_EQ(u32(area, first + 4 * 127), 239u);
    const qsizetype second = sectorAt(239);
    EXPECT_EQ(u32(area, second), 238u);
    EXPECT_EQ(u32(area, second + 4), 240u);
    for (int e = 2; e < 128; ++e)
        EXPECT_EQ(u32(area, second + 4 * e), kFreeSector);
}

// Every stream length, including those where three or more DIFAT sectors are
// needed, gets a FAT with an entry for each sector and a clean chain.
TEST(CompoundDocument, FatCoversEverySectorForAnyLength)
{
    std::vector<std::uint32_t> lengths;
    for (std::uint32_t s = 8; s < 400; ++s)
        lengths.push_back(s);
    for (std::uint32_t base : {13830u, 30210u, 46210u, 62450u, 300000u})
        for (std::uint32_t s = base; s < base + 40; ++s)
            lengths.push_back(s);
    lengths.push_back(0xFFFFFFFFu / 512);   // the largest stream at all
    for (std::uint32_t s : lengths) {
        SCOPED_TRACE(s);
        const CompoundLayout lay = compoundLayout(std::int64_t(s) * 512);
        const std::uint32_t f = lay.fatSectors, d = lay.difatSectors;
        ASSERT_GE(std::uint64_t(f) * 128, std::uint64_t(s) + f + d + 1);
        if (f > 109) {
            ASSERT_GE(127u * d, f - 109);
        }
        if (d <= 2) {   // the usual count where it is large enough
            ASSERT_EQ(f, (s + 3 + 126) / 127);
        }
        if (s > 400000)
            continue;   // the rebuilt FAT below is checked on smaller ones
        const QByteArray area = compoundHeaderArea(std::int64_t(s) * 512);
        const auto fat = readFat(area);
        ASSERT_EQ(fat.size(), std::size_t(f) * 128);
        std::uint32_t sector = lay.streamStart, walked = 1;
        while (fat[sector] != kEndOfChain) {
            ASSERT_EQ(fat[sector], sector + 1);
            sector = fat[sector];
            ++walked;
        }
        EXPECT_EQ(walked, s);
        std::uint32_t fatMarks = 0, difatMarks = 0;
        for (std::uint32_t v : fat) {
            fatMarks += v == kFatSector;
            difatMarks += v == kDifatSector;
        }
        EXPECT_EQ(fatMarks, f);
        EXPECT_EQ(difatMarks, d);
    }
    // The first length where the plain formula falls short.
    const CompoundLayout lay = compoundLayout(std::int64_t(46225) * 512);
    EXPECT_EQ(lay.difatSectors, 3u);
    EXPECT_GT(lay.fatSectors, (46225u + 3 + 126) / 127);
}

TEST(CompoundDocument, RefusesEmptyStreamOrMissingFile)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    for (std::int64_t length : {std::int64_t(0), std::int64_t(-5)}) {
        try {
            TcxXLSWorkBookWriter writer(length, &buffer);
            FAIL() << "accepted length " << length;
        } catch (const orvane::EcxExportData& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Error write XLS file"));
        }
    }
    EXPECT_EQ(buffer.size(), 0);
    EXPECT_THROW(TcxXLSWorkBookWriter(100, nullptr), orvane::EcxExportData);
}

// The zero bytes after the stream fill its last sector (and with it, for a
// small stream, its last mini sector); a stream ending on a sector boundary
// needs none.
TEST(CompoundDocument, PaddingFillsTheLastSector)
{
    struct Case {
        std::int64_t length, padding;
    };
    for (const Case c : {Case{64, 448}, Case{100, 412}, Case{512, 0}, Case{4095, 1}, Case{4096, 0}, Case{4097, 511},
                         Case{std::int64_t(13841) * 512 - 7, 7}, Case{0, 0}})
        EXPECT_EQ(TcxXLSWorkBookWriter::PaddingAfter(c.length), c.padding) << c.length;
}

// olefile reads the Workbook stream of each layout back byte for byte.
TEST(CompoundDocument, OlefileReadsTheStream)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList args;
    for (std::int64_t length : {std::int64_t(64), std::int64_t(100), std::int64_t(4095), std::int64_t(4096),
                                std::int64_t(13840) * 512, std::int64_t(13841) * 512 - 7,
                                std::int64_t(46225) * 512}) {
        const QString path = dir.filePath(QStringLiteral("s%1.bin").arg(length));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        TcxXLSWorkBookWriter writer(length, &file);
        QByteArray stream(qsizetype(length), '\0');
        for (qsizetype i = 0; i < stream.size(); ++i)
            stream[i] = char((i * 7 + (i >> 9)) & 0xFF);
        ASSERT_EQ(file.write(stream), stream.size());
        ASSERT_EQ(file.write(QByteArray(TcxXLSWorkBookWriter::PaddingAfter(length), '\0')),
                  TcxXLSWorkBookWriter::PaddingAfter(length));
        file.close();
        EXPECT_EQ(QFileInfo(path).size(),
                  qint64(writer.layout().headerAreaSize) + (length + 511) / 512 * 512);
        args << path << QString::number(length);
    }
    const auto r = exporttest::runPythonCheck(QStringLiteral("ole_stream.py"), args);
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}
