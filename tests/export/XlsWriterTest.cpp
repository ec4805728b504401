// The .xls writer: records as written, text routing, shared strings with
// CONTINUE and EXTSST, merged ranges, palette allocation, number formats,
// errors. Each test writes a real file and reads its records back.

#include "common/Errors.h"
#include "export/BiffRecords.h"
#include "export/ExportStyleManager.h"
#include "export/FileSink.h"
#include "export/XLSExportProvider.h"
#include "export/XlsDrawing.h"
#include "export/XlsPalette.h"
#include "TestSupport.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

using namespace orvane::exporting;
using namespace exporttest;

namespace {

class XlsWriter : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name = QStringLiteral("book.xls")) const { return dir.filePath(name); }
};

double f64(const QByteArray& b, qsizetype at)
{
    double v;
    std::memcpy(&v, b.constData() + at, 8);
    return v;
}

// Cell records in stream order as (type, row, column, xf).
struct CellRef {
    std::uint16_t type, row, column, xf;
    QByteArray data;
};

std::vector<CellRef> cells(const Workbook& wb)
{
    std::vector<CellRef> out;
    for (const auto& r : wb.records)
        if (r.type == biff::kBLANK || r.type == biff::kLABEL || r.type == biff::kLABELSST
            || r.type == biff::kNUMBER || r.type == biff::kBOOLERR)
            out.push_back({r.type, u16(r.data, 0), u16(r.data, 2), u16(r.data, 4), r.data});
    return out;
}

const CellRef& cellAt(const std::vector<CellRef>& all, int column, int row)
{
    for (const auto& c : all)
        if (c.column == column && c.row == row)
            return c;
    static const CellRef none{};
    return none;
}

QByteArray xfData(const Workbook& wb, int xfIndex) { return wb.all(biff::kXF)[std::size_t(xfIndex)].data; }

// The shared strings rebuilt the way a reader does, with the stream offset
// of each string's header. Fails the test where a record ends with a
// string's header and none of its characters, where a continuation lacks
// its option byte, or where a character is split between records.
std::vector<QString> sharedStrings(const Workbook& wb, std::vector<qsizetype>& headerOffsets)
{
    std::vector<QString> out;
    const Record* sst = wb.first(biff::kSST);
    if (!sst)
        return out;
    EXPECT_LE(sst->data.size(), 8192);
    std::vector<QByteArray> parts{sst->data.mid(8)};
    std::vector<qsizetype> partStart{sst->offset + 4 + 8};
    for (const auto& c : wb.all(biff::kCONTINUE)) {
        EXPECT_LE(c.data.size(), 8192);
        parts.push_back(c.data);
        partStart.push_back(c.offset + 4);
    }
    std::size_t part = 0;
    qsizetype at = 0;
    for (std::uint32_t s = 0; s < u32(sst->data, 4); ++s) {
        if (at >= parts[part].size()) {
            ++part;
            at = 0;
        }
        if (part >= parts.size()) {
            ADD_FAILURE() << "string " << s << " is missing";
            break;
        }
        headerOffsets.push_back(partStart[part] + at);
        const int n = u16(parts[part], at);
        // 1: two bytes a character; 0: one byte (every character below U+0100).
        const std::uint8_t options = std::uint8_t(parts[part][at + 2]);
        EXPECT_TRUE(options == 0 || options == 1) << "string " << s;
        const qsizetype charBytes = options == 0 ? 1 : 2;
        at += 3;
        EXPECT_FALSE(n > 0 && at == parts[part].size()) << "record " << part << " ends with the header of string " << s;
        QString got;
        while (got.size() < n) {
            if (at >= parts[part].size()) {
                if (++part >= parts.size()) {
                    ADD_FAILURE() << "string " << s << " is cut short";
                    return out;
                }
                EXPECT_EQ(std::uint8_t(parts[part][0]), options) << "continuation without the string's option byte";
                at = 1;
            }
            const qsizetype bytes = std::min<qsizetype>(parts[part].size() - at, charBytes * (n - got.size()));
            EXPECT_EQ(bytes % charBytes, 0) << "a character was cut";
            if (charBytes == 1)
                got += QString::fromLatin1(parts[part].constData() + at, bytes);
            else
                got += QString::fromUtf16(reinterpret_cast<const char16_t*>(parts[part].constData() + at), bytes / 2);
            at += bytes;
        }
        out.push_back(got);
    }
    return out;
}

} // namespace

// A sheet whose cells were never set: globals and worksheet in their order,
// every cell a BLANK column by column with the XF of style 0, the stream
// length computed in advance equal to what was written.
TEST_F(XlsWriter, EmptySheetWritesEveryBlankCell)
{
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(2, 3, false);
        p.WriteWorkbook();
    }
    const Workbook wb = readWorkbook(path());
    ASSERT_FALSE(wb.records.empty());
    std::vector<std::uint16_t> types;
    for (const auto& r : wb.records)
        types.push_back(r.type);
    using namespace biff;
    std::vector<std::uint16_t> want = {kBOF, kTABID, kWINDOW1, kFONT, kFONT, kFONT, kFONT, kFONT, kFONT};
    for (int i = 0; i < 18; ++i)
        want.push_back(kXF);
    want.insert(want.end(), {kPALETTE, kSTYLE, kSTYLE, kSTYLE, kSTYLE, kSTYLE, kSTYLE, kBOUNDSHEET, kSUPBOOK,
                             kEXTERNSHEET, kEOF, kBOF, kDIMENSIONS});
    for (int i = 0; i < 6; ++i)
        want.push_back(kBLANK);
    want.insert(want.end(), {kWINDOW2, kEOF});   // the window settings after the cells
    EXPECT_EQ(types, want);

    EXPECT_EQ(wb.records[0].data, QByteArray::fromHex("00060500BB0DCC070000000006000000"));
    const auto all = cells(wb);
    const std::pair<int, int> order[] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}};
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].column, order[i].first);
        EXPECT_EQ(all[i].row, order[i].second);
        EXPECT_EQ(all[i].xf, 17);
    }
    // BOUNDSHEET points at the worksheet BOF right after the globals EOF.
    const Record* sheet = wb.first(kBOUNDSHEET);
    ASSERT_NE(sheet, nullptr);
    const auto bofs = wb.all(kBOF);
    EXPECT_EQ(u32(sheet->data, 0), std::uint32_t(bofs[1].offset));
    EXPECT_EQ(u16(bofs[1].data, 2), 0x0010);
    EXPECT_EQ(sheet->data.mid(6), QByteArray("\x04\x00" "book", 6));
    const Record* dims = wb.first(kDIMENSIONS);
    // The used range: rows 0 to 2 (last + 1 = 3), columns 0 to 1 (last + 1 = 2).
    EXPECT_EQ(dims->data, QByteArray::fromHex("0000000003000000000002000000"));
    EXPECT_EQ(u16(wb.first(kWINDOW2)->data, 0), 0x06B4);
    // Stream length: 984 fixed + name + one font + one XF + 6 blanks.
    const Record* font = &wb.all(kFONT)[5];
    EXPECT_EQ(wb.stream.size(), 984 + 4 + (4 + font->data.size()) + 24 + 6 * 10);
    // The stream is followed by zero bytes up to the end of its sector.
    ASSERT_LT(wb.stream.size(), 4096);
    EXPECT_EQ(wb.file.size(), 2048 + (wb.stream.size() + 511) / 512 * 512);
    EXPECT_EQ(wb.file.mid(wb.streamStart + wb.stream.size()),
              QByteArray(wb.file.size() - wb.streamStart - wb.stream.size(), '\0'));
}

TEST_F(XlsWriter, TextRouting)
{
    struct Case {
        QByteArray ansi;        // PutText when not null
        QString wide;           // else PutWideText
        std::uint16_t type;
        int option;             // LABEL option byte, -1 for a shared string
    };
    const QByteArray e = QByteArray("\xE9");
    const std::vector<Case> cases = {
        {QByteArray(255, 'a'), {}, biff::kLABEL, 0},
        {QByteArray(256, 'a'), {}, biff::kLABELSST, -1},
        {QByteArray(126, 'a') + e, {}, biff::kLABEL, 1},
        {QByteArray(127, 'a') + e, {}, biff::kLABELSST, -1},
        {{}, QString(127, u'x'), biff::kLABEL, 1},
        {{}, QString(128, u'x'), biff::kLABELSST, -1},
    };
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(1, int(cases.size()) + 1, false);
        for (std::size_t i = 0; i < cases.size(); ++i) {
            if (!cases[i].ansi.isNull())
                p.PutText(0, int(i), cases[i].ansi);
            else
                p.PutWideText(0, int(i), cases[i].wide);
        }
        p.PutText(0, int(cases.size()), QByteArray(""));   // leaves the blank
        p.WriteWorkbook();
    }
    const Workbook wb = readWorkbook(path());
    const auto all = cells(wb);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const CellRef& c = cellAt(all, 0, int(i));
        EXPECT_EQ(c.type, cases[i].type);
        if (cases[i].option < 0)
            continue;
        const int n = u16(c.data, 6);
        EXPECT_EQ(std::uint8_t(c.data[8]), cases[i].option);
        if (cases[i].option == 0) {
            EXPECT_EQ(c.data.mid(9), cases[i].ansi);
        } else {
            const QString expected = cases[i].ansi.isNull() ? cases[i].wide : QString::fromLatin1(cases[i].ansi);
            EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(c.data.constData() + 9), n), expected);
        }
    }
    EXPECT_EQ(cellAt(all, 0, int(cases.size())).type, biff::kBLANK);
    // The shared strings are numbered in the order they came.
    EXPECT_EQ(u32(cellAt(all, 0, 1).data, 6), 0u);
    EXPECT_EQ(u32(cellAt(all, 0, 3).data, 6), 1u);
    EXPECT_EQ(u32(cellAt(all, 0, 5).data, 6), 2u);
    const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                  {path(), QStringLiteral("0,1=") + QString(256, u'a'),
                                   QStringLiteral("0,3=") + QString(127, u'a') + QChar(0xE9),
                                   QStringLiteral("0,5=") + QString(128, u'x')});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

// Strings long enough to cross the 8192-byte record limit go on in CONTINUE
// records that start with the option byte; a split never cuts a character;
// EXTSST points at each bucket's first string.
TEST_F(XlsWriter, SharedStringsSplitIntoContinueRecords)
{
    std::vector<QString> texts;
    for (int i = 0; i < 40; ++i)
        texts.push_back(QString(1000 + 37 * i, QChar(u'A' + i % 26)) + QString::number(i));
    texts.push_back(QString(20000, u'z'));   // several CONTINUE records on its own
    // The hidden sheet's long texts take one byte a character where they can,
    // so their records split at other places.
    const std::vector<QString> hidden = {QString(20000, u'h'), QString(9000, u'\u00FC') + QStringLiteral("end"),
                                         QString(300, u'a') + QString(9000, u'\u6DF7')};
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(1, int(texts.size()), false);
        for (std::size_t i = 0; i < texts.size(); ++i)
            p.PutWideText(0, int(i), texts[i]);
        p.AddHiddenSheet(QStringLiteral("hidden"), 1, int(hidden.size()));
        for (std::size_t i = 0; i < hidden.size(); ++i)
            p.PutHiddenText(0, int(i), hidden[i]);
        p.WriteWorkbook();
    }
    texts.insert(texts.end(), hidden.begin(), hidden.end());
    const Workbook wb = readWorkbook(path());
    const Record* sst = wb.first(biff::kSST);
    ASSERT_NE(sst, nullptr);
    EXPECT_EQ(u32(sst->data, 0), texts.size());
    EXPECT_EQ(u32(sst->data, 4), texts.size());
    ASSERT_GE(wb.all(biff::kCONTINUE).size(), 8u);

    std::vector<qsizetype> headerOffsets;   // in the stream
    const std::vector<QString> got = sharedStrings(wb, headerOffsets);
    ASSERT_EQ(got.size(), texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(got[i], texts[i]) << i;
    const Record* ext = wb.first(biff::kEXTSST);
    ASSERT_NE(ext, nullptr);
    std::uint32_t d = 0, k = 0;
    TcxXLSSharedStringTable::ExtSstShape(std::uint32_t(texts.size()), d, k);
    EXPECT_EQ(u16(ext->data, 0), d);
    ASSERT_EQ(ext->data.size(), 2 + 8 * qsizetype(k));
    for (std::uint32_t i = 0; i < k; ++i)
        EXPECT_EQ(u32(ext->data, 2 + 8 * i), std::uint32_t(headerOffsets[i * d]));
    QStringList args{path()};
    for (std::size_t i = 0; i < texts.size() - hidden.size(); ++i)
        args << QStringLiteral("0,%1=%2").arg(i).arg(texts[i]);
    const auto r = runPythonCheck(QStringLiteral("xls_cells.py"), args);
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

// A string whose header would end a record with none of its characters
// starts the next record instead. The first strings fill the SST record to
// `filled` bytes; the next string begins there or in a CONTINUE record.
TEST_F(XlsWriter, SharedStringHeaderTravelsWithItsCharacters)
{
    struct Case {
        int filled;           // SST data bytes before the probe string
        bool probeInFirst;    // the probe's header stays in the SST record
    };
    for (const Case c : {Case{8186, true}, Case{8187, true}, Case{8188, false}, Case{8189, false},
                         Case{8190, false}}) {
        SCOPED_TRACE(c.filled);
        // 8 bytes of counters, then strings of 3 + 2n bytes.
        std::vector<QString> texts;
        int left = c.filled - 8;
        if (left % 2 == 0) {   // two strings
            texts.push_back(QString(300, u'a'));
            left -= 3 + 600;
        }
        texts.push_back(QString((left - 3) / 2, u'b'));
        texts.push_back(QString(400, u'p'));   // the probe
        const QString file = path(QStringLiteral("h%1.xls").arg(c.filled));
        {
            TcxXLSExportProvider p(file);
            p.SetSheetSize(1, int(texts.size()), false);
            for (std::size_t i = 0; i < texts.size(); ++i)
                p.PutWideText(0, int(i), texts[i]);
            p.WriteWorkbook();
        }
        const Workbook wb = readWorkbook(file);
        std::vector<qsizetype> headers;
        EXPECT_EQ(sharedStrings(wb, headers), texts);
        ASSERT_EQ(headers.size(), texts.size());
        const Record* sst = wb.first(biff::kSST);
        const bool inFirst = headers.back() < sst->offset + 4 + sst->data.size();
        EXPECT_EQ(inFirst, c.probeInFirst);
        if (!c.probeInFirst) {
            EXPECT_EQ(sst->data.size(), c.filled);
            EXPECT_EQ(headers.back(), wb.first(biff::kCONTINUE)->offset + 4);   // no option byte before it
        }
        const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                      {file, QStringLiteral("0,%1=%2").arg(texts.size() - 1).arg(texts.back())});
        EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    }
}

// A text longer than a cell holds is cut to 32,767 characters and counted;
// a surrogate pair at the cut is dropped whole.
TEST_F(XlsWriter, LongTextsAreCutAndCounted)
{
    const QString exact(32767, u'e');
    const QString long40k = QString(39990, u'l') + QStringLiteral("0123456789");
    const QString pairAtCut = QString(32766, u's') + QStringLiteral("\U0001F3D7 tail");
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(1, 3, false);
        p.PutWideText(0, 0, exact);
        EXPECT_EQ(p.ShortenedTextCount(), 0);
        p.PutWideText(0, 1, long40k);
        p.PutDisplayText(0, 2, pairAtCut);
        EXPECT_EQ(p.ShortenedTextCount(), 2);
        p.WriteWorkbook();
    }
    std::vector<qsizetype> headers;
    const auto got = sharedStrings(readWorkbook(path()), headers);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0], exact);
    EXPECT_EQ(got[1], long40k.left(32767));
    EXPECT_EQ(got[2], pairAtCut.left(32766));
    const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                  {path(), QStringLiteral("0,1=") + long40k.left(32767)});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

// The file ends with a whole sector, zero-filled after the stream, whose
// length in the directory stays what the records add up to.
TEST_F(XlsWriter, FileFillsItsLastSector)
{
    for (const int rows : {3, 40, 3000}) {
        SCOPED_TRACE(rows);
        const QString file = path(QStringLiteral("pad%1.xls").arg(rows));
        {
            TcxXLSExportProvider p(file);
            p.SetSheetSize(2, rows, false);
            p.PutText(1, rows - 1, QByteArray("last"));
            p.WriteWorkbook();
        }
        const Workbook wb = readWorkbook(file);
        ASSERT_FALSE(wb.records.empty());
        EXPECT_EQ(wb.records.back().type, biff::kEOF);
        EXPECT_EQ(wb.records.back().offset + 4, wb.stream.size());   // the stream ends with EOF
        EXPECT_EQ(wb.file.size() % 512, 0);
        const qsizetype end = wb.streamStart + wb.stream.size();
        EXPECT_LT(wb.file.size() - end, 512);
        EXPECT_EQ(wb.file.mid(end), QByteArray(wb.file.size() - end, '\0'));
        const auto r = runPythonCheck(QStringLiteral("poi_read.py"), {file});
        EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    }
}

TEST(XlsSharedStrings, ExtSstShape)
{
    struct Case {
        std::uint32_t n, d, k;
    };
    for (const Case c : {Case{1, 8, 1}, Case{8, 8, 1}, Case{9, 16, 1}, Case{24, 16, 2}, Case{100, 32, 4},
                         Case{1016, 96, 11}, Case{100000, 896, 112}}) {
        std::uint32_t d = 0, k = 0;
        TcxXLSSharedStringTable::ExtSstShape(c.n, d, k);
        EXPECT_EQ(d, c.d) << c.n;
        EXPECT_EQ(k, c.k) << c.n;
    }
}

TEST_F(XlsWriter, MergedCellsInRecordsOf1024)
{
    for (int ranges : {1024, 1025}) {
        SCOPED_TRACE(ranges);
        const QString file = path(QStringLiteral("m%1.xls").arg(ranges));
        {
            TcxXLSExportProvider p(file);
            p.SetSheetSize(2, 2 * ranges, false);
            ExportCellStyle s = defaultExportCellStyle();
            const int style = p.AddStyle(s);
            for (int i = 0; i < ranges; ++i)
                p.MergeCells(0, 2 * i, 2, 2, style);
            p.WriteWorkbook();
        }
        const Workbook wb = readWorkbook(file);
        const auto merged = wb.all(biff::kMERGEDCELLS);
        ASSERT_EQ(merged.size(), ranges == 1024 ? 1u : 2u);
        EXPECT_EQ(u16(merged[0].data, 0), 1024);
        EXPECT_EQ(merged[0].data.size(), 2 + 8 * 1024);
        if (ranges == 1025) {
            EXPECT_EQ(u16(merged[1].data, 0), 1);
            EXPECT_EQ(merged[1].data.mid(2), QByteArray::fromHex("0008010800000100"));
        }
        // Third range: rows 4-5, columns 0-1.
        EXPECT_EQ(merged[0].data.mid(2 + 16, 8), QByteArray::fromHex("0400050000000100"));
        // The anchor and the cell off its row and column carry the merged XF.
        const auto all = cells(wb);
        const int mergedXf = cellAt(all, 0, 0).xf;
        EXPECT_EQ(std::uint8_t(xfData(wb, mergedXf)[8]), 0x20);
        EXPECT_EQ(cellAt(all, 1, 1).xf, mergedXf);
        EXPECT_NE(cellAt(all, 1, 0).xf, mergedXf);
        EXPECT_NE(cellAt(all, 0, 1).xf, mergedXf);
        const auto r = runPythonCheck(QStringLiteral("xls_merged.py"), {file, QString::number(ranges)});
        EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    }
}

// A merged range reaching past the sheet is cut at its edge instead of
// wrapping round in the 8-bit column field.
TEST_F(XlsWriter, MergedRangeIsKeptInsideTheSheet)
{
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(300, 2, false);
        EXPECT_EQ(p.ColumnCount(), 256);
        p.MergeCells(250, 0, 1, 10, 0);
        p.MergeCells(255, 1, 1, 4, 0);   // cut down to one cell: no range
        p.AddMergedRange(256, 0, 1, 2);  // outside the sheet
        p.WriteWorkbook();
    }
    const Workbook wb = readWorkbook(path());
    const auto merged = wb.all(biff::kMERGEDCELLS);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].data, QByteArray::fromHex("010000000000FA00FF00"));
    EXPECT_EQ(u16(wb.first(biff::kDIMENSIONS)->data, 10), 256);
}

// The first colour a style needs takes slot 55 (index 63), the next 62; a
// colour of the default palette is moved up into the next free slot; the
// window colour, black text and black borders use the special indices.
TEST_F(XlsWriter, PaletteAllocationOrder)
{
    const ColorRef teal = rgbColor(0x12, 0x34, 0x56);
    const ColorRef red = rgbColor(255, 0, 0);          // default slot 2
    const ColorRef orange = rgbColor(0xAB, 0xCD, 0xEF);
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(3, 1, false);
        ExportCellStyle a = defaultExportCellStyle();
        a.FontColor = 0;                  // automatic
        a.BrushBkColor = teal;            // new: slot 55
        for (auto& b : a.Borders)
            b.Color = 0;                  // border black: 64
        ExportCellStyle b = a;
        b.BrushBkColor = red;             // present in slot 2: moved to 54
        ExportCellStyle c = a;
        c.FontColor = orange;             // new: slot 53
        c.BrushBkColor = SystemColors{}.window;   // 64
        c.BrushStyle = 1;
        p.ApplyStyle(0, 0, p.AddStyle(a));
        p.ApplyStyle(1, 0, p.AddStyle(b));
        p.ApplyStyle(2, 0, p.AddStyle(c));
        p.WriteWorkbook();
    }
    const Workbook wb = readWorkbook(path());
    const QByteArray pal = wb.first(biff::kPALETTE)->data;
    auto slot = [&](int i) { return u32(pal, 2 + 4 * i); };
    EXPECT_EQ(u16(pal, 0), 56);
    EXPECT_EQ(slot(55), teal);
    EXPECT_EQ(slot(54), red);
    EXPECT_EQ(slot(2), XlsPalette::defaultColors()[54]);   // swapped down
    EXPECT_EQ(slot(53), orange);
    EXPECT_EQ(slot(0), 0u);

    const auto all = cells(wb);
    const QByteArray xa = xfData(wb, cellAt(all, 0, 0).xf);
    const QByteArray xb = xfData(wb, cellAt(all, 1, 0).xf);
    const QByteArray xc = xfData(wb, cellAt(all, 2, 0).xf);
    EXPECT_EQ(u32(xa, 16), 0x20BF0400u);   // solid, foreground 63
    EXPECT_EQ(u32(xb, 16), 0x20BE0400u);   // 62
    EXPECT_EQ(u32(xc, 16), 0x20C00000u);   // window colour: no pattern bits
    EXPECT_EQ(u32(xa, 12), (64u) | (64u << 7) | (64u << 16) | (64u << 23));
    EXPECT_EQ(u16(xa, 10), 0x1111);
    const auto fonts = wb.all(biff::kFONT);
    EXPECT_EQ(u16(fonts[std::size_t(u16(xa, 0)) - 1].data, 4), 0x7FFF);
    EXPECT_EQ(u16(fonts[std::size_t(u16(xc, 0)) - 1].data, 4), 61);   // (font list index 6 is record 5)
    const auto r = runPythonCheck(QStringLiteral("xls_palette.py"),
                                  {path(), QStringLiteral("0,0=123456"), QStringLiteral("1,0=ff0000")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

// The default style as a reader meets it: 8-point Tahoma in the button
// text colour, centred, a thin line in the button shadow colour on every
// side, on the window colour.
TEST_F(XlsWriter, DefaultStyleAsWritten)
{
    SystemColors colors;
    colors.buttonText = rgbColor(0x10, 0x20, 0x30);
    colors.buttonShadow = rgbColor(0x40, 0x50, 0x60);
    {
        TcxXLSExportProvider p(path(), colors);
        p.SetSheetSize(1, 1, false);
        ExportCellStyle s = defaultExportCellStyle(colors);
        p.ApplyStyle(0, 0, p.AddStyle(s));
        p.PutDisplayText(0, 0, u"x");
        p.WriteWorkbook();
    }
    const Workbook wb = readWorkbook(path());
    const QByteArray palette = wb.first(biff::kPALETTE)->data;
    const auto colorAt = [&](int index) { return u32(palette, 2 + 4 * (index - 8)); };
    const QByteArray xf = xfData(wb, cellAt(cells(wb), 0, 0).xf);
    const QByteArray font = wb.all(biff::kFONT)[std::size_t(u16(xf, 0)) - 1].data;   // font 4 is never written
    EXPECT_EQ(u16(font, 0), 160);   // 8 points in twips
    EXPECT_EQ(u16(font, 2), 0);     // not italic, not struck out
    EXPECT_EQ(u16(font, 6), 400);   // normal weight
    EXPECT_EQ(std::uint8_t(font[10]), 0);   // not underlined
    EXPECT_EQ(colorAt(u16(font, 4)), colors.buttonText);
    EXPECT_EQ(std::uint8_t(font[14]), 6);
    const bool wide = font[15] & 1;
    EXPECT_EQ(wide ? QString::fromUtf16(reinterpret_cast<const char16_t*>(font.constData() + 16), 6)
                   : QString::fromLatin1(font.mid(16, 6)),
              QStringLiteral("Tahoma"));

    EXPECT_EQ(std::uint8_t(xf[6]) & 0x07, 2);   // centred
    EXPECT_EQ(u16(xf, 10), 0x1111);             // thin on all four sides
    const std::uint32_t lineColors = u32(xf, 12);
    for (int shift : {0, 7, 16, 23})
        EXPECT_EQ(colorAt(int((lineColors >> shift) & 0x7F)), colors.buttonShadow) << shift;
    EXPECT_EQ(u32(xf, 16), 0x20C00000u);   // no pattern: the window colour
}

// FONT and XF records built from a style, byte for byte.
TEST_F(XlsWriter, FontAndXfFromStyle)
{
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(2, 1, false);
        ExportCellStyle s = defaultExportCellStyle();
        s.AlignText = 2;
        s.setFontName("Courier New");
        s.FontStyle = kFontBold | kFontItalic | kFontUnderline | kFontStrikeOut;
        s.FontSize = 12;
        s.FontCharset = 0x1EE;   // only the low byte is kept
        s.border(BorderSide::Left).Width = 2;
        s.border(BorderSide::Right).Width = 3;
        s.border(BorderSide::Top).IsDefault = 1;
        s.border(BorderSide::Bottom).Width = 0;
        s.BrushStyle = 0;
        p.ApplyStyle(0, 0, p.AddStyle(s));
        p.ApplyStyle(1, 0, p.AddStyle(s));   // same style: same FONT and XF
        p.WriteWorkbook();
    }
    const Workbook wb = readWorkbook(path());
    const auto fonts = wb.all(biff::kFONT);
    ASSERT_EQ(fonts.size(), 6u);
    ASSERT_EQ(wb.all(biff::kXF).size(), 18u);
    const QByteArray font = fonts[5].data;
    EXPECT_EQ(font.left(16), QByteArray::fromHex("F0000A00") + font.mid(4, 2) + QByteArray::fromHex("BC0200000100EE000B01"));
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(font.constData() + 16), 11),
              QStringLiteral("Courier New"));
    const QByteArray xf = xfData(wb, 17);
    EXPECT_EQ(u16(xf, 0), 6);
    EXPECT_EQ(u16(xf, 2), 0);
    EXPECT_EQ(u16(xf, 4), 1);
    EXPECT_EQ(std::uint8_t(xf[6]), 0x0B);
    EXPECT_EQ(std::uint8_t(xf[8]), 0);
    EXPECT_EQ(std::uint8_t(xf[9]), 0xFC);
    EXPECT_EQ(u16(xf, 10), 0x0052);   // left medium (2), right thick (5)
    EXPECT_EQ(u16(xf, 18), 0x20C0);
    EXPECT_EQ(u16(xf, 16), 0);
}

TEST_F(XlsWriter, DateTimeAndCurrencyFormats)
{
    struct Case {
        double serial;
        double written;
        int format;
    };
    const Case cases[] = {{1.5, 0.5, 21}, {60.0, 59.0, 14}, {61.0, 61.0, 14}, {40000.25, 40000.25, 22},
                          {0.75, 0.75, 21}};
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(1, 8, false);
        for (int i = 0; i < 5; ++i)
            p.PutDateTime(0, i, cases[i].serial);
        p.PutCurrency(0, 5, 12345678);
        p.PutValue(0, 6, QVariant::fromValue(QDate(2003, 1, 1)));
        p.WriteWorkbook();
    }
    const Workbook wb = readWorkbook(path());
    const auto all = cells(wb);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const CellRef& c = cellAt(all, 0, i);
        ASSERT_EQ(c.type, biff::kNUMBER);
        EXPECT_EQ(f64(c.data, 6), cases[i].written);
        EXPECT_EQ(u16(xfData(wb, c.xf), 2), cases[i].format);
    }
    EXPECT_EQ(f64(cellAt(all, 0, 5).data, 6), 1234.5678);
    EXPECT_EQ(u16(xfData(wb, cellAt(all, 0, 5).xf), 2), 5);
    EXPECT_EQ(f64(cellAt(all, 0, 6).data, 6), 37622.0);
    const auto r = runPythonCheck(QStringLiteral("xls_formats.py"),
                                  {path(), QStringLiteral("0,0=21:0.5"), QStringLiteral("0,1=14:59"),
                                   QStringLiteral("0,2=14:61"), QStringLiteral("0,3=22:40000.25"),
                                   QStringLiteral("0,5=5:1234.5678")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

TEST_F(XlsWriter, ColumnInfoAndRowRecords)
{
    {
        TcxXLSExportProvider p(path());
        p.SetSheetSize(1, 1, true);
        p.SetColumnPixelWidth(3, 64);
        p.SetColumnPixelWidth(256, 64);   // ignored
        p.SetRowPixelHeight(2, 17);
        p.SetRowPixelHeight(65535, 17);   // ignored
        p.WriteWorkbook();
    }
    const Workbook wb = readWorkbook(path());
    const auto colinfo = wb.all(biff::kCOLINFO);
    ASSERT_EQ(colinfo.size(), 1u);
    EXPECT_EQ(colinfo[0].data, QByteArray::fromHex("030003002609" "0F00" "000000"));   // 64 * 36.6 = 2342.4 -> 2342; 17 * 20 / 1.325 = 256.6 -> 257 below
    const auto rows = wb.all(biff::kROW);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].data, QByteArray::fromHex("0200" "0000" "0001" "0101" "00000000" "C001" "0F00"));
    EXPECT_EQ(u16(wb.first(biff::kWINDOW2)->data, 0), 0x06B6);
}

TEST_F(XlsWriter, Errors)
{
    {
        TcxXLSExportProvider p(path());
        try {
            p.PutText(0, 0, QByteArray("x"));
            FAIL();
        } catch (const orvane::EcxExportData& e) {
            EXPECT_EQ(e.message(), QStringLiteral("Invalid cell dimension"));
        }
        p.SetSheetSize(1, 1, false);
        p.PutText(5, 5, QByteArray("outside"));   // ignored
        EXPECT_EQ(p.CellStyleOf(1, 0), nullptr);
    }
    try {
        TcxExport::Provider(7, path());
        FAIL();
    } catch (const orvane::EcxExportData& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Unsupported export type: 7"));
    }
    EXPECT_FALSE(TcxExport::RegisterProviderClass(1, QStringLiteral("Other"), &TcxXLSExportProvider::Create));
    EXPECT_NE(TcxExport::Provider(kExportXls, path()), nullptr);
    EXPECT_FALSE(TcxExport::RegisterProviderClass(9, QStringLiteral("TcxXLSExportProvider"),
                                                  &TcxXLSExportProvider::Create));
    EXPECT_THROW(TcxXLSExportProvider(dir.filePath(QStringLiteral("no/such/dir/x.xls"))), ExportFileError);
}

TEST_F(XlsWriter, OutputNameAndSheetName)
{
    QFile old(path(QStringLiteral("report.xls")));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old contents");
    old.close();
    {
        TcxXLSExportProvider p(path(QStringLiteral("report.txt")));
        EXPECT_EQ(p.OutputFileName(), path(QStringLiteral("report.xls")));
        EXPECT_EQ(readFile(p.OutputFileName()), "old contents");   // replaced only when written whole
        EXPECT_EQ(p.SheetName(), QStringLiteral("report"));
    }
    {
        TcxXLSExportProvider p(path(QStringLiteral("plan")));
        EXPECT_EQ(p.OutputFileName(), path(QStringLiteral("plan.xls")));
    }
    struct Case {
        QString in, out;
    };
    for (const Case& c : {Case{QStringLiteral("Q3: a/b\\c?d*e[f]"), QStringLiteral("Q3_ a_b_c_d_e_f_")},
                          Case{QString(40, u'x'), QString(31, u'x')},
                          Case{QStringLiteral("'quoted'"), QStringLiteral("_quoted_")},
                          Case{QString(), QStringLiteral("Sheet1")},
                          Case{QStringLiteral("Übersicht"), QStringLiteral("Übersicht")}})
        EXPECT_EQ(TcxXLSExportProvider::AcceptableSheetName(c.in), c.out) << c.in.toStdString();
}

// The workbook is written beside the file it replaces and takes its place
// only when complete: an export abandoned or failing half-way (here the
// file-size limit stands for a full disk) leaves the old file and nothing
// else in the folder.
TEST_F(XlsWriter, TheOldFileStaysUntilTheNewOneIsComplete)
{
    if (!orvane::testing::FileSizeLimit::kAvailable)
        GTEST_SKIP() << "no file-size limit on this system";
    const QString target = path(QStringLiteral("plan.xls"));
    enum class Ending { Abandoned, WriteFails, Completed };
    for (const Ending ending : {Ending::Abandoned, Ending::WriteFails, Ending::Completed}) {
        SCOPED_TRACE(int(ending));
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
        old.write("the old workbook");
        old.close();
        {
            TcxXLSExportProvider p(target);
            p.SetSheetSize(1, 2, false);
            p.PutWideText(0, 0, QString(20000, u'\u00E9'));
            p.PutWideText(0, 1, QStringLiteral("second"));
            if (ending == Ending::WriteFails) {
                orvane::testing::FileSizeLimit limit(4096);
                try {
                    p.WriteWorkbook();
                    ADD_FAILURE() << "the write went through";
                } catch (const ExportFileError& e) {
                    EXPECT_TRUE(e.message().contains(QDir::toNativeSeparators(target))) << e.what();
                    EXPECT_TRUE(e.message().contains(QLatin1String("left as it was"))) << e.what();
                }
            } else if (ending == Ending::Completed) {
                p.WriteWorkbook();
            }
        }
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("plan.xls")});
        if (ending == Ending::Completed)
            EXPECT_TRUE(readFile(target).startsWith("\xD0\xCF\x11\xE0"));
        else
            EXPECT_EQ(readFile(target), "the old workbook");
    }
}

// A sheet name outside Latin-1 is written as UTF-16 and read back whole.
TEST_F(XlsWriter, UnicodeSheetName)
{
    const QString name = QStringLiteral("План: работ");
    {
        TcxXLSExportProvider p(path(name + QStringLiteral(".xls")));
        p.SetSheetSize(1, 1, false);
        p.PutWideText(0, 0, QStringLiteral("Ж"));
        p.WriteWorkbook();
    }
    const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                  {path(name + QStringLiteral(".xls")), QStringLiteral("sheet=План_ работ"),
                                   QStringLiteral("0,0=Ж")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

// Drawing data longer than a record holds goes on in CONTINUE records, each
// at most 8,224 bytes, and joins back into the data given; the size the
// writer plans with is the size written.
TEST_F(XlsWriter, LongDrawingDataContinues)
{
    for (const std::size_t size : {std::size_t(0), std::size_t(90), biff::kMaxRecordData, biff::kMaxRecordData + 1,
                                   std::size_t(20000)}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> data(size);
        for (std::size_t i = 0; i < size; ++i)
            data[i] = std::uint8_t(i * 7 + i / 251);
        {
            FileSink out(path(QStringLiteral("records.bin")));
            biff::writeContinuedRecord(out, biff::kMSODRAWINGGROUP, data);
            out.close();
        }
        const QByteArray file = readFile(path(QStringLiteral("records.bin")));
        EXPECT_EQ(std::uint64_t(file.size()), biff::continuedRecordSize(size));
        QByteArray joined;
        std::vector<std::uint16_t> types;
        for (qsizetype at = 0; at + 4 <= file.size();) {
            const std::uint16_t length = u16(file, at + 2);
            types.push_back(u16(file, at));
            EXPECT_LE(length, biff::kMaxRecordData);
            joined += file.mid(at + 4, length);
            at += 4 + length;
        }
        ASSERT_FALSE(types.empty());
        EXPECT_EQ(types.front(), biff::kMSODRAWINGGROUP);
        EXPECT_EQ(types.size(), size == 0 ? 1 : (size + biff::kMaxRecordData - 1) / biff::kMaxRecordData);
        for (std::size_t i = 1; i < types.size(); ++i)
            EXPECT_EQ(types[i], biff::kCONTINUE);
        EXPECT_EQ(joined, QByteArray(reinterpret_cast<const char*>(data.data()), qsizetype(size)));
    }
}
