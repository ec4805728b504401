// The grid-to-sheet export: the table map, header rows, backgrounds and
// lines over a small fixture source; the activity grid as shown (filter,
// hidden column, sort) read back by xlrd and LibreOffice; what does not fit
// into a sheet reported, not dropped silently.

#include "common/Errors.h"
#include "export/BiffRecords.h"
#include "export/GridExport.h"
#include "export/XlsDrawing.h"
#include "export/XlsPalette.h"
#include "grid/ActivityGridLayout.h"
#include "grid/GridViewModel.h"
#include "store/ActivityStore.h"
#include "support/TempDatabase.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QScopeGuard>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace orvane::exporting;
using namespace exporttest;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "export_grid_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

// A banded view held in plain lists.
class TableSource : public ExportSource {
public:
    ExportViewOptions opts;
    QVector<ExportBandInfo> bands;
    std::vector<ExportColumnInfo> columns;
    std::vector<int> hiddenIds;   // columns of the view that are not shown
    std::vector<QStringList> rows;   // per record, texts by column index
    bool level = true, view = true;

    int addBand(const QString& caption, int width, ExportAlign align = ExportAlign::Center)
    {
        bands.push_back({int(bands.size()), caption, align, width});
        return int(bands.size()) - 1;
    }
    int addColumn(int band, const QString& caption, int width, bool visible = true)
    {
        ExportColumnInfo c;
        c.index = int(columns.size());
        c.band = band;
        c.caption = caption;
        c.width = width;
        columns.push_back(c);
        if (!visible)
            hiddenIds.push_back(c.index);
        return c.index;
    }

    bool hasActiveLevel() const override { return level; }
    bool hasView() const override { return view; }
    ExportViewOptions options() const override { return opts; }
    int columnCount() const override { return int(columns.size()); }
    ExportColumnInfo column(int index) const override { return columns[std::size_t(index)]; }
    QVector<ExportBandInfo> visibleBands() const override { return bands; }
    QVector<int> visibleColumns(int band) const override
    {
        QVector<int> out;
        for (const auto& c : columns)
            if (c.band == band && std::find(hiddenIds.begin(), hiddenIds.end(), c.index) == hiddenIds.end())
                out.push_back(c.index);
        return out;
    }
    int headerRowCount() const override
    {
        int rowsPerRecord = 1;
        for (const auto& c : columns)
            rowsPerRecord = std::max(rowsPerRecord, c.rowIndex + c.rowSpan);
        return rowsPerRecord;
    }
    int recordCount() const override { return int(rows.size()); }
    QStringView displayText(int record, int column) const override
    {
        const QStringList& r = rows[std::size_t(record)];
        return column < r.size() ? QStringView(r[column]) : QStringView();
    }
};

struct Xf {
    std::uint16_t lines;      // left, right, top, bottom line styles, 4 bits each
    std::uint32_t fill;       // bytes 16-19
    std::uint8_t align;
};

class SheetReader {
public:
    explicit SheetReader(const QString& path) : wb(readWorkbook(path))
    {
        for (const auto& r : wb.records)
            if (r.type == biff::kBLANK || r.type == biff::kLABEL || r.type == biff::kLABELSST)
                xfAt[{u16(r.data, 2), u16(r.data, 0)}] = u16(r.data, 4);
        xfs = wb.all(biff::kXF);
    }
    Xf xf(int column, int row) const
    {
        const QByteArray& d = xfs[std::size_t(xfAt.at({column, row}))].data;
        return {u16(d, 10), u32(d, 16), std::uint8_t(d[6])};
    }
    // The fill colour of a cell as 0x00BBGGRR, or ~0 for the window colour.
    std::uint32_t fillColor(int column, int row) const
    {
        const int index = int((xf(column, row).fill >> 16) & 0x7F);
        if (index == 64)
            return ~0u;
        const QByteArray pal = wb.first(biff::kPALETTE)->data;
        return u32(pal, 2 + 4 * (index - 8));
    }
    Workbook wb;
    std::map<std::pair<int, int>, int> xfAt;
    std::vector<Record> xfs;
};

class GridExport : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString& name = QStringLiteral("grid.xls")) const { return dir.filePath(name); }
};

} // namespace

TEST(TcxGridExportTableMap, BoundariesSplitAndAppendColumns)
{
    TcxGridExportTableMap map;
    for (int b : {30, 100, 70, 100, -5, 0, 150})
        map.addBoundary(b);
    EXPECT_EQ(map.columnWidths, (std::vector<int>{30, 40, 30, 50}));
    struct Case {
        int position, column;
    };
    for (const Case c : {Case{-3, 0}, Case{0, 0}, Case{30, 1}, Case{31, 2}, Case{70, 2}, Case{100, 3}, Case{150, 4},
                         Case{400, 4}})
        EXPECT_EQ(map.sheetColumnOf(c.position), c.column) << c.position;
}

// Band captions over their columns in row 0, merged where a band spans more
// than one sheet column; column captions in row 1; a band wider than its
// columns leaves a sheet column without header that carries the band's
// background in the header row and its content background below.
TEST_F(GridExport, HeaderRowsBackgroundsAndLines)
{
    TableSource src;
    const int info = src.addBand(QStringLiteral("Activity Info"), 100);
    const int log = src.addBand(QStringLiteral("Log records"), 60, ExportAlign::Left);
    const int flag = src.addBand(QStringLiteral("C"), 22);
    src.addColumn(info, QStringLiteral("ActivityID"), 30);
    src.addColumn(info, QStringLiteral("Hidden"), 10, false);
    src.addColumn(info, QStringLiteral("Description"), 40);
    src.addColumn(log, QStringLiteral("Log#1"), 30);
    src.addColumn(log, QStringLiteral("Log#2"), 30);
    src.addColumn(flag, QStringLiteral("Flag"), 22);
    src.columns[2].contentAlignment = ExportAlign::Right;
    src.rows = {{"A1", "", "first", "x", "", "True"}, {"A2", "", "second", "", "y", "False"},
                {"A3", "", "third", "", "", ""}};
    const ExportResult result = ExportGridWithProvider(path(), kExportXls, &src);
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.recordsExported, 3);

    SheetReader sheet(path());
    // Sheet columns: 30, 40, 30 (band gap), 30, 30, 22.
    std::vector<int> widths;
    for (const auto& r : sheet.wb.all(biff::kCOLINFO))
        widths.push_back(u16(r.data, 4));
    EXPECT_EQ(widths, (std::vector<int>{1098, 1464, 1098, 1098, 1098, 805}));
    const auto merged = sheet.wb.all(biff::kMERGEDCELLS);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].data, QByteArray::fromHex("0200" "0000000000000200" "0000000003000400"));

    // Band background (grey, no lines) under the gap in the header row,
    // content background (window colour) in the record rows.
    EXPECT_EQ(sheet.fillColor(2, 1), rgbColor(128, 128, 128));
    EXPECT_EQ(sheet.fillColor(2, 2), ~0u);
    EXPECT_EQ(sheet.fillColor(0, 1), SystemColors{}.buttonFace);
    // Lines: content cells have all four; the gap column gets top and
    // bottom and, as its band's last column, a right line; the column after
    // a band boundary a left one; the last column a right one in every row.
    EXPECT_EQ(sheet.xf(0, 2).lines, 0x1111);
    EXPECT_EQ(sheet.xf(2, 2).lines, 0x1110);
    EXPECT_EQ(sheet.xf(2, 1).lines, 0x0000);
    EXPECT_EQ(sheet.xf(3, 3).lines, 0x1111);
    for (int y = 0; y < 5; ++y)
        EXPECT_EQ(sheet.xf(5, y).lines & 0x00F0, 0x0010) << y;
    EXPECT_EQ(sheet.xf(1, 2).align & 0x07, 3);   // right-aligned content
    EXPECT_EQ(sheet.xf(3, 0).align & 0x07, 1);   // "Log records" header left

    // An empty display text leaves the cell BLANK (no empty LABEL).
    bool blank = false;
    for (const auto& rec : sheet.wb.records)
        if (rec.type == biff::kBLANK && u16(rec.data, 0) == 4 && u16(rec.data, 2) == 5)
            blank = true;
    EXPECT_TRUE(blank);
    const auto r2 = runPythonCheck(QStringLiteral("xls_cells.py"),
                                   {path(), QStringLiteral("sheet=grid"), QStringLiteral("0,0=Activity Info"),
                                    QStringLiteral("3,0=Log records"), QStringLiteral("5,0=C"),
                                    QStringLiteral("0,1=ActivityID"), QStringLiteral("1,1=Description"),
                                    QStringLiteral("3,1=Log#1"), QStringLiteral("4,1=Log#2"),
                                    QStringLiteral("5,1=Flag"), QStringLiteral("1,3=second"),
                                    QStringLiteral("4,3=y"), QStringLiteral("5,2=True")});
    EXPECT_EQ(r2.exitCode, 0) << r2.output.toStdString();

    // The band and caption rows frozen; filter buttons on the caption row
    // over the six sheet columns, down to the last record.
    const auto& wb = sheet.wb;
    EXPECT_EQ(u16(wb.first(biff::kWINDOW2)->data, 0), 0x06B4 | 0x0008 | 0x0100);
    ASSERT_NE(wb.first(biff::kPANE), nullptr);
    EXPECT_EQ(wb.first(biff::kPANE)->data, QByteArray::fromHex("0000" "0200" "0200" "0000" "0200"));
    ASSERT_NE(wb.first(biff::kAUTOFILTERINFO), nullptr);
    EXPECT_EQ(u16(wb.first(biff::kAUTOFILTERINFO)->data, 0), 6);
    ASSERT_NE(wb.first(biff::kNAME), nullptr);
    EXPECT_EQ(wb.first(biff::kNAME)->data, QByteArray::fromHex("2100" "00" "01" "0B00" "0000" "0100" "00000000" "00" "0D"
                                                               "3B" "0000" "0100" "0400" "0000" "0500"));
    const auto where = [&](std::uint16_t type) {
        std::vector<std::size_t> at;
        for (std::size_t i = 0; i < wb.records.size(); ++i)
            if (wb.records[i].type == type)
                at.push_back(i);
        return at;
    };
    // Globals end with the name and the drawing group; the sheet keeps the
    // order strict readers ask for: columns, filter, used range, cells, the
    // drawing objects of the six filter buttons (a drawing record, then its
    // OBJ), window, pane, merges.
    EXPECT_EQ(where(biff::kNAME).front() + 1, where(biff::kMSODRAWINGGROUP).front());
    EXPECT_EQ(where(biff::kNAME).front() + 3, where(biff::kBOF).back());
    EXPECT_LT(where(biff::kCOLINFO).back(), where(biff::kAUTOFILTERINFO).front());
    EXPECT_EQ(where(biff::kAUTOFILTERINFO).front() + 1, where(biff::kDIMENSIONS).front());
    std::size_t lastCell = 0;
    for (std::uint16_t type : {biff::kBLANK, biff::kLABEL, biff::kLABELSST})
        for (std::size_t i : where(type))
            lastCell = std::max(lastCell, i);
    ASSERT_EQ(where(biff::kMSODRAWING).size(), 6u);
    ASSERT_EQ(where(biff::kOBJ).size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(where(biff::kMSODRAWING)[i], lastCell + 1 + 2 * i);
        EXPECT_EQ(where(biff::kOBJ)[i], lastCell + 2 + 2 * i);
    }
    EXPECT_EQ(where(biff::kWINDOW2).front(), lastCell + 13);
    EXPECT_EQ(where(biff::kPANE).front(), lastCell + 14);
    EXPECT_EQ(where(biff::kMERGEDCELLS).front(), lastCell + 15);
    const auto poi = runPythonCheck(QStringLiteral("poi_read.py"),
                                    {QStringLiteral("--frozen"), QStringLiteral("2"), QStringLiteral("--filter"),
                                     QStringLiteral("$A$2:$F$5"), path()});
    EXPECT_EQ(poi.exitCode, 0) << poi.output.toStdString();
}

// A band with two header rows: a wide column above two narrow ones. Each
// record takes two sheet rows and the wide column is merged across both
// sheet columns in every record.
TEST_F(GridExport, TwoHeaderRowsPerRecord)
{
    TableSource src;
    const int band = src.addBand(QStringLiteral("Band"), 60);
    src.addColumn(band, QStringLiteral("Wide"), 60);
    src.addColumn(band, QStringLiteral("Left"), 30);
    src.addColumn(band, QStringLiteral("Right"), 30);
    src.columns[1].rowIndex = 1;
    src.columns[2].rowIndex = 1;
    src.rows = {{"w0", "l0", "r0"}, {"w1", "l1", "r1"}};
    const ExportResult result = ExportGridWithProvider(path(), kExportXls, &src);
    EXPECT_EQ(result.recordsExported, 2);
    const TcxGridExportTableMap map = [&] {
        TcxGridBandedTableViewExport probe(path(QStringLiteral("probe.xls")), kExportXls, src);
        probe.DoExport();
        return probe.TableMap();
    }();
    EXPECT_EQ(map.columnWidths, (std::vector<int>{30, 30}));
    ASSERT_EQ(map.headerLines.size(), 2u);
    EXPECT_EQ(map.headerLines[0].size(), 1u);
    EXPECT_EQ(map.headerLines[0][0].columnSpan, 2);
    EXPECT_EQ(map.headerLines[1].size(), 2u);

    const Workbook wb = readWorkbook(path());
    const auto merged = wb.all(biff::kMERGEDCELLS);
    ASSERT_EQ(merged.size(), 1u);
    // Band row, the wide header, then the wide column of each record.
    EXPECT_EQ(merged[0].data, QByteArray::fromHex("0400" "0000000000000100" "0100010000000100"
                                                  "0300030000000100" "0500050000000100"));
    const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                  {path(), QStringLiteral("size=2x7"), QStringLiteral("0,0=Band"),
                                   QStringLiteral("0,1=Wide"), QStringLiteral("0,2=Left"), QStringLiteral("1,2=Right"),
                                   QStringLiteral("0,3=w0"), QStringLiteral("0,4=l0"), QStringLiteral("1,4=r0"),
                                   QStringLiteral("0,5=w1"), QStringLiteral("0,6=l1"), QStringLiteral("1,6=r1")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    // The band row and both caption rows stay in view; a row filter would
    // tear the two-row records apart, so there is none.
    ASSERT_NE(wb.first(biff::kPANE), nullptr);
    EXPECT_EQ(u16(wb.first(biff::kPANE)->data, 2), 3);
    EXPECT_EQ(wb.first(biff::kAUTOFILTERINFO), nullptr);
    EXPECT_EQ(wb.first(biff::kNAME), nullptr);
}

// Text in any script arrives whole: Windows-1252 text as the 8-bit forms,
// anything else as UTF-16 (no "?" in place of a character).
TEST_F(GridExport, TextsKeepEveryCharacter)
{
    TableSource src;
    const int band = src.addBand(QStringLiteral("Bänd €"), 64);
    src.addColumn(band, QStringLiteral("Caption – “quoted”"), 64);
    const QStringList texts = {
        QStringLiteral("plain ascii"), QStringLiteral("Prüfung Gebäude"), QStringLiteral("€ 1.234,50 – “ok”"),
        QStringLiteral("Проверка опалубки"), QStringLiteral("混凝土浇筑"), QStringLiteral("crane 🏗 on site"),
        QString(300, u'w'), QString(140, u'ß'), QString(130, u'Ж'),
    };
    for (const QString& t : texts)
        src.rows.push_back({t});
    ExportGridWithProvider(path(), kExportXls, &src);
    QStringList args{path(), QStringLiteral("0,0=Bänd €"), QStringLiteral("0,1=Caption – “quoted”")};
    for (int i = 0; i < texts.size(); ++i)
        args << QStringLiteral("0,%1=%2").arg(i + 2).arg(texts[i]);
    const auto r = runPythonCheck(QStringLiteral("xls_cells.py"), args);
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

// A 40,000-character log is cut to the 32,767 characters a cell holds, and
// the report says how many cells were cut.
TEST_F(GridExport, LongTextsAreCutAndReported)
{
    TableSource src;
    const int band = src.addBand(QStringLiteral("Logs"), 80);
    src.addColumn(band, QStringLiteral("Log#1"), 40);
    src.addColumn(band, QStringLiteral("Log#2"), 40);
    const QString longLog = QString(39999, u'n') + QStringLiteral("!");
    src.rows = {{QStringLiteral("short"), longLog}, {longLog, QString(32767, u'f')}, {QStringLiteral("x"), {}}};
    const ExportResult result = ExportGridWithProvider(path(), kExportXls, &src);
    EXPECT_EQ(result.textsShortened, 2);
    EXPECT_FALSE(result.complete());
    EXPECT_EQ(result.notice(),
              QStringLiteral("A cell holds at most 32,767 characters; the texts of 2 cells were cut there."));
    ExportResult one;
    one.textsShortened = 1;
    EXPECT_EQ(one.notice(), QStringLiteral("A cell holds at most 32,767 characters; the text of 1 cell was cut there."));
    const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                  {path(), QStringLiteral("1,2=") + longLog.left(32767),
                                   QStringLiteral("0,3=") + longLog.left(32767),
                                   QStringLiteral("1,3=") + QString(32767, u'f')});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

// More records than a sheet has rows, more sheet columns than it has
// columns: what fits is written, the rest is counted for the user.
TEST_F(GridExport, WhatDoesNotFitIsReported)
{
    TableSource tall;
    const int band = tall.addBand(QStringLiteral("Logs"), 40);
    tall.addColumn(band, QStringLiteral("Log#1"), 40);
    tall.rows.assign(65540, QStringList());
    tall.rows.front() = QStringList{QStringLiteral("first")};
    tall.rows[65533] = QStringList{QStringLiteral("last that fits")};
    tall.rows[65534] = QStringList{QStringLiteral("left out")};
    const ExportResult rows = ExportGridWithProvider(path(QStringLiteral("tall.xls")), kExportXls, &tall);
    EXPECT_EQ(rows.recordsExported, 65534);
    EXPECT_EQ(rows.recordsLeftOut, 6);
    EXPECT_EQ(rows.columnsLeftOut, 0);
    EXPECT_FALSE(rows.complete());
    EXPECT_TRUE(rows.notice().contains(QStringLiteral("6 rows were left out"))) << rows.notice().toStdString();
    auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                            {path(QStringLiteral("tall.xls")), QStringLiteral("size=1x65536"),
                             QStringLiteral("0,2=first"), QStringLiteral("0,65535=last that fits")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();

    TableSource wide;
    const int logs = wide.addBand(QStringLiteral("Logs"), 300 * 10);
    for (int c = 0; c < 300; ++c)
        wide.addColumn(logs, QStringLiteral("L%1").arg(c), 10);
    wide.rows = {{QStringLiteral("a")}, {}};
    for (int c = 1; c < 300; ++c)
        wide.rows[0] << QStringLiteral("r0c%1").arg(c);
    const ExportResult columns = ExportGridWithProvider(path(QStringLiteral("wide.xls")), kExportXls, &wide);
    EXPECT_EQ(columns.recordsLeftOut, 0);
    EXPECT_EQ(columns.columnsLeftOut, 44);
    EXPECT_TRUE(columns.notice().contains(QStringLiteral("44 of the grid's columns were left out")))
        << columns.notice().toStdString();
    r = runPythonCheck(QStringLiteral("xls_cells.py"),
                       {path(QStringLiteral("wide.xls")), QStringLiteral("size=256x4"), QStringLiteral("0,0=Logs"),
                        QStringLiteral("255,1=L255"), QStringLiteral("255,2=r0c255")});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    // The band's merged range ends at the sheet's last column.
    const auto merged = readWorkbook(path(QStringLiteral("wide.xls"))).all(biff::kMERGEDCELLS);
    ASSERT_EQ(merged.size(), 1u);
    EXPECT_EQ(merged[0].data, QByteArray::fromHex("0100" "000000000000FF00"));
    EXPECT_TRUE(ExportResult{}.notice().isEmpty());
}

TEST_F(GridExport, EmptyViewsAndErrors)
{
    {
        TableSource noBands;
        ExportGridWithProvider(path(QStringLiteral("nobands.xls")), kExportXls, &noBands);
        const Workbook wb = readWorkbook(path(QStringLiteral("nobands.xls")));
        ASSERT_NE(wb.first(biff::kDIMENSIONS), nullptr);
        EXPECT_EQ(wb.first(biff::kDIMENSIONS)->data, QByteArray(14, '\0'));
    }
    {
        TableSource noColumns;
        noColumns.addBand(QStringLiteral("Only band"), 50);
        noColumns.addBand(QStringLiteral("Second"), 50);
        noColumns.rows = {{}, {}};
        ExportGridWithProvider(path(QStringLiteral("nocols.xls")), kExportXls, &noColumns);
        const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                      {path(QStringLiteral("nocols.xls")), QStringLiteral("size=2x1"),
                                       QStringLiteral("0,0=Only band"), QStringLiteral("1,0=Second")});
        EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    }
    {
        TableSource emptyTable;
        const int b = emptyTable.addBand(QStringLiteral("Band"), 40);
        emptyTable.addColumn(b, QStringLiteral("Col"), 40);
        ExportGridWithProvider(path(QStringLiteral("norows.xls")), kExportXls, &emptyTable);
        const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                      {path(QStringLiteral("norows.xls")), QStringLiteral("size=1x2"),
                                       QStringLiteral("0,0=Band"), QStringLiteral("0,1=Col")});
        EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    }
    TableSource src;
    src.addBand(QStringLiteral("B"), 10);
    struct Case {
        bool level, view;
        QString path, message;
    };
    const Case cases[] = {
        {false, true, path(QStringLiteral("a.xls")), QStringLiteral("Active grid level does not exist")},
        {true, false, path(QStringLiteral("b.xls")), QStringLiteral("Grid view does not exist")},
        {true, true, dir.filePath(QStringLiteral("missing/c.xls")), QStringLiteral("Can't create the export output file")},
    };
    for (const Case& c : cases) {
        src.level = c.level;
        src.view = c.view;
        try {
            ExportGridWithProvider(c.path, kExportXls, &src);
            ADD_FAILURE() << "no error for " << c.message.toStdString();
        } catch (const orvane::EcxGridExport& e) {
            EXPECT_EQ(e.message(), c.message);
        }
        EXPECT_FALSE(QFileInfo::exists(c.path));
    }
    EXPECT_NO_THROW(ExportGridWithProvider(path(), kExportXls, nullptr));
    EXPECT_FALSE(QFileInfo::exists(path()));
}

// The activity grid over a real table: three bands, a hidden column, a
// filter and the sort by EarlyFinish. Every caption and cell text must come
// back exact and in order through xlrd, LibreOffice and Apache POI, with the
// header rows frozen and the filter over the caption row.
TEST_F(GridExport, ActivityGridAsShownReadByEveryReader)
{
    app();
    orvane::testing::TempWorkDir work;
    const QString longText = QStringLiteral("Remeasure slab edge after pour; ") + QString(260, u'x');
    for (int i = 1; i <= 24; ++i) {
        QVariantMap row{{"ActivityID", QStringLiteral("A10%1").arg(i, 2, 10, QChar(u'0'))},
                        {"Description", QStringLiteral("Pour slab level %1").arg(i)},
                        {"OriginalDuration", double(i % 7 + 1)},
                        {"RemainingDuration", double(i % 3)},
                        {"PercentComplete", double((i * 13) % 100)},
                        {"EarlyStart", QDateTime(QDate(2003, 1, 1).addDays(i), QTime(0, 0))},
                        {"EarlyFinish", QDateTime(QDate(2003, 3, 1).addDays((i * 7) % 24), QTime(0, 0))},
                        {"CalendarID", QString::number(i % 4 + 1)},
                        {"Log#1", QStringLiteral("check formwork %1").arg(i)},
                        {"Flag", i % 2 == 0}};
        if (i % 5 == 0)
            row.insert("Log#2", QStringLiteral("Prüfung Gebäude – “ok”"));
        if (i % 6 == 0)
            row.insert("Log#3", QStringLiteral("Проверка опалубки"));
        if (i == 7)
            row.insert("Log#99", longText);
        orvane::testing::insertRow(row);
    }
    orvane::store::ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    orvane::grid::GridViewModel model;
    orvane::grid::applyActivityLayout(model);
    model.setTable(&store.taActivities);
    for (int i = 0; i < 1000 && store.taActivities.isFetching(); ++i)
        QCoreApplication::processEvents();
    model.setColumnVisible(2, false);   // OriginalDuration
    model.applyTableFilter(QStringLiteral("[ActivityID] <> 'A1003' AND [ActivityID] <> 'A1011'"), true);
    for (int i = 0; i < 1000 && store.taActivities.isFetching(); ++i)
        QCoreApplication::processEvents();
    ASSERT_EQ(model.rowCount(), 22);

    const ExportResult result = ExportGridAsWorkbook(path(QStringLiteral("Activities.txt")), &model);
    EXPECT_TRUE(result.complete());
    const QString file = path(QStringLiteral("Activities.xls"));
    ASSERT_TRUE(QFileInfo::exists(file));

    // What the grid shows, as rows of texts.
    const QVector<int> columns = model.visibleColumnsInOrder();
    QJsonArray rows, bandRow, captionRow;
    QJsonArray merged, widths;
    int x = 0;
    for (int b : model.visibleBands()) {
        const QVector<int> ids = model.visibleColumns(b);
        bandRow.append(model.band(b).caption);
        for (int i = 1; i < ids.size(); ++i)
            bandRow.append(QString());
        if (ids.size() > 1)
            merged.append(QJsonArray{0, 1, x, x + int(ids.size())});
        x += int(ids.size());
    }
    for (int id : columns) {
        captionRow.append(model.columnCaption(id));
        widths.append(int(std::lrint(model.columnWidth(id) * 36.6)));
    }
    rows.append(bandRow);
    rows.append(captionRow);
    for (int v = 0; v < model.rowCount(); ++v) {
        QJsonArray r;
        for (int id : columns)
            r.append(model.displayText(v, id));
        rows.append(r);
    }
    EXPECT_EQ(captionRow.at(2).toString(), QStringLiteral("RemainingDuration"));
    EXPECT_EQ(columns.size(), 8 + 99 + 1 - 1);
    const QJsonObject expected{{"rows", rows}, {"merged", merged}, {"colwidths", widths},
                               {"sheet", QStringLiteral("Activities")}};
    const QString json = path(QStringLiteral("expected.json"));
    QFile out(json);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QJsonDocument(expected).toJson());
    out.close();

    const auto xl = runPythonCheck(QStringLiteral("xls_grid.py"), {file, json});
    EXPECT_EQ(xl.exitCode, 0) << xl.output.toStdString();
    const auto lo = runPythonCheck(QStringLiteral("lo_csv.py"), {file, json, dir.filePath(QStringLiteral("lo"))});
    EXPECT_EQ(lo.exitCode, 0) << lo.output.toStdString();

    // 107 columns (A to DC), the caption row 2 and 22 records below it.
    const auto poi = runPythonCheck(QStringLiteral("poi_read.py"),
                                    {QStringLiteral("--frozen"), QStringLiteral("2"), QStringLiteral("--filter"),
                                     QStringLiteral("$A$2:$DC$24"), file});
    EXPECT_EQ(poi.exitCode, 0) << poi.output.toStdString();
    const auto view = runPythonCheck(QStringLiteral("lo_xlsx.py"),
                                     {file, dir.filePath(QStringLiteral("lo-xlsx")), QStringLiteral("--filter"),
                                      QStringLiteral("A2:DC24"), QStringLiteral("--frozen"), QStringLiteral("2")});
    EXPECT_EQ(view.exitCode, 0) << view.output.toStdString();
}

// A table opens with its first rows and fetches the rest from the event
// loop. An export made at once, with no event loop run in between, still
// writes every row, in order.
TEST_F(GridExport, ExportRightAfterOpeningHasEveryRow)
{
    app();
    orvane::testing::TempWorkDir work;
    constexpr int kRows = 700;
    orvane::testing::execRaw(QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                                            "WHERE i < %1) INSERT INTO P3Data (ActivityID, [Log#1], Flag) "
                                            "SELECT printf('R%04d', i), 'log ' || i, 0 FROM n")
                                 .arg(kRows));
    orvane::store::ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    orvane::grid::GridViewModel model;
    orvane::grid::applyActivityLayout(model);
    model.clearSorting();   // table order: the rows not yet fetched come last
    model.setTable(&store.taActivities);
    ASSERT_TRUE(store.taActivities.isFetching());

    const ExportResult result = ExportGridAsWorkbook(path(QStringLiteral("early.xls")), &model);
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.recordsExported, kRows);
    const auto r = runPythonCheck(QStringLiteral("xls_cells.py"),
                                  {path(QStringLiteral("early.xls")), QStringLiteral("0,2=R0001"),
                                   QStringLiteral("0,257=R0256"), QStringLiteral("0,258=R0257"),
                                   QStringLiteral("0,%1=R%2").arg(kRows + 1).arg(kRows, 4, 10, QChar(u'0'))});
    EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
}

// Views that mix what the layout code treats differently: several bands, a
// hidden column, a band gap, a column over two header rows, both record
// parities, every grid-line setting, band and caption rows on or off.
struct PinnedView {
    const char* name;
    ExportGridLines lines;
    bool bandHeaders, columnHeaders, twoRows;
    int records;
};
const PinnedView kPinnedViews[] = {
    {"lines-both", ExportGridLines::Both, true, true, false, 7},
    {"lines-none", ExportGridLines::None, true, true, false, 4},
    {"lines-vertical", ExportGridLines::VerticalOnly, false, true, true, 5},
    {"lines-horizontal", ExportGridLines::HorizontalOnly, true, false, true, 3},
    {"many-rows", ExportGridLines::Both, true, true, true, 300},
};

TableSource pinnedViewSource(const PinnedView& v)
{
    TableSource src;
    src.opts.gridLines = v.lines;
    src.opts.bandHeaders = v.bandHeaders;
    src.opts.columnHeaders = v.columnHeaders;
    const int info = src.addBand(QStringLiteral("Activity Info"), 130);
    const int logs = src.addBand(QStringLiteral("Log records"), 90, ExportAlign::Left);
    const int flag = src.addBand(QStringLiteral("C"), 22, ExportAlign::Right);
    src.addColumn(info, QStringLiteral("ActivityID"), 40);
    src.addColumn(info, QStringLiteral("Hidden"), 10, false);
    src.addColumn(info, QStringLiteral("Description"), 70);
    src.addColumn(logs, QStringLiteral("Log#1"), 45);
    src.addColumn(logs, QStringLiteral("Log#2"), 45);
    src.addColumn(flag, QStringLiteral("Flag"), 22);
    src.columns[2].contentAlignment = ExportAlign::Right;
    src.columns[3].headerAlignment = ExportAlign::Left;
    if (v.twoRows) {
        src.columns[2].rowSpan = 2;
        src.columns[4].rowIndex = 1;
    }
    for (int r = 0; r < v.records; ++r)
        src.rows.push_back({QStringLiteral("A%1").arg(r), {}, QStringLiteral("Pour slab – level %1").arg(r),
                            r % 3 ? QStringLiteral("Prüfung %1").arg(r) : QString(),
                            r % 2 ? QStringLiteral("混凝土 %1").arg(r) : QString(),
                            r % 2 ? QStringLiteral("True") : QStringLiteral("False")});
    return src;
}

// The sheet's bytes, pinned: the same views must give the same files byte for
// byte, so a change in how the export lays out or styles cells shows here
// first. A file that differs is kept beside the test's build for a look.
TEST_F(GridExport, BytesStayAsPinned)
{
    for (const PinnedView& v : kPinnedViews) {
        SCOPED_TRACE(v.name);
        TableSource src = pinnedViewSource(v);
        const QString out = path(QString::fromLatin1(v.name) + QStringLiteral(".xls"));
        ExportGridWithProvider(out, kExportXls, &src);

        QFile written(out), pinned(QStringLiteral(ORVANE_EXPORT_PINNED_DIR "/%1.xls").arg(QLatin1String(v.name)));
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        const QByteArray got = written.readAll();
        const QByteArray want = pinned.open(QIODevice::ReadOnly) ? pinned.readAll() : QByteArray();
        if (got != want) {
            qsizetype at = 0;
            while (at < got.size() && at < want.size() && got[at] == want[at])
                ++at;
            const QString kept = QDir::current().filePath(QStringLiteral("pinned-actual-%1.xls").arg(QLatin1String(v.name)));
            QFile::remove(kept);
            QFile::copy(out, kept);
            ADD_FAILURE() << "differs from the pinned file at byte " << at << " (" << got.size() << " bytes, pinned "
                          << want.size() << "); written file kept as " << kept.toStdString();
        }
    }
}

// The .xlsx export shows the sheet the .xls export shows: texts, merged
// ranges, column widths, each cell's font, fill, borders and alignment,
// frozen rows, the filter and the hidden sheet of exported texts, for every
// view of the pinned files and for a log longer than a cell holds, cut and
// counted alike in both.
TEST_F(GridExport, XlsxShowsTheSheetOfTheXls)
{
    std::vector<std::pair<std::string, TableSource>> cases;
    for (const PinnedView& v : kPinnedViews)
        cases.emplace_back(v.name, pinnedViewSource(v));
    TableSource cut = pinnedViewSource(kPinnedViews[0]);
    cut.rows[1][3] = QString(40000, u'x') + QStringLiteral("end");
    cut.rows[2][2] = QStringLiteral("line one\nline two – ß");
    cases.emplace_back("cut", cut);
    for (auto& [name, src] : cases) {
        SCOPED_TRACE(name);
        const QString xls = path(QString::fromStdString(name) + QStringLiteral(".xls"));
        const QString xlsx = path(QString::fromStdString(name) + QStringLiteral(".xlsx"));
        const ExportResult fromXls = ExportGridWithProvider(xls, kExportXls, &src);
        const ExportResult fromXlsx = ExportGridWithProvider(xlsx, kExportXlsx, &src);
        EXPECT_EQ(fromXlsx.notice(), fromXls.notice());
        EXPECT_EQ(fromXlsx.textsShortened, name == "cut" ? 1 : 0);
        const auto r = runPythonCheck(QStringLiteral("xlsx_matches_xls.py"), {xls, xlsx});
        EXPECT_EQ(r.exitCode, 0) << r.output.toStdString();
    }
}

// What a sheet cannot hold is left out and reported by its own limits:
// 65,536 rows and 256 columns in .xls, 16,384 columns in .xlsx.
TEST_F(GridExport, EachKindReportsItsOwnLimits)
{
    struct Case {
        int kind, columns, records;
        const char* notice;
    };
    const Case cases[] = {
        {kExportXls, 300, 1, "A sheet has at most 256 columns; 44 of the grid's columns were left out."},
        {kExportXlsx, 300, 1, ""},
        {kExportXlsx, 16390, 1, "A sheet has at most 16,384 columns; 6 of the grid's columns were left out."},
        {kExportXls, 2, 65600,
         "The sheet holds only 65,534 of the 65,600 rows shown; the last 66 rows were left out."},
        {kExportXlsx, 2, 65600, ""},
    };
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const auto restore = qScopeGuard([&] { QLocale::setDefault(before); });
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.columns << "x" << c.records);
        TableSource src;
        const int band = src.addBand(QStringLiteral("Band"), 4 * c.columns);
        for (int i = 0; i < c.columns; ++i)
            src.addColumn(band, QStringLiteral("C%1").arg(i), 4);
        for (int r = 0; r < c.records; ++r)
            src.rows.push_back(QStringList(c.columns, QStringLiteral("r%1").arg(r)));
        const QString file = path(c.kind == kExportXls ? QStringLiteral("limits.xls") : QStringLiteral("limits.xlsx"));
        const ExportResult result = ExportGridWithProvider(file, c.kind, &src);
        EXPECT_EQ(result.notice(), QString::fromUtf8(c.notice));
        EXPECT_EQ(result.recordsExported + result.recordsLeftOut, c.records);
    }
}
