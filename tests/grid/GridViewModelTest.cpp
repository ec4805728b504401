// The activity grid's view model over a real database file: the start
// layout, the rows as shown (sort, fetch, filter, detach), focus, editing
// and the customization list.

#include "common/Errors.h"
#include "grid/ActivityGridLayout.h"
#include "grid/GridViewModel.h"
#include "store/CopiedValueText.h"
#include "store/ActivityStore.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace orvane;
using namespace orvane::grid;
using orvane::store::ActivityStore;
using orvane::store::ActivityTable;
using orvane::store::logColumn;
using orvane::testing::execRaw;
using orvane::testing::insertRow;
using orvane::testing::readValue;
using orvane::testing::TempWorkDir;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "grid_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication instance(argc, argv);
    return instance;
}

QStringList captions(const GridViewModel& m, const QVector<int>& ids)
{
    QStringList out;
    for (int id : ids)
        out << m.columnCaption(id);
    return out;
}

QDateTime day(int d)
{
    return QDateTime(QDate(2026, 1, 1).addDays(d), QTime(0, 0));
}

// Fills P3Data with n rows whose EarlyFinish runs in a scrambled order
// (every 7th row has none) and whose table order is A1..An.
void fillScrambled(int n)
{
    execRaw(QStringLiteral(
                "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                "INSERT INTO P3Data (ActivityID, EarlyFinish, [Log#1], Flag) "
                "SELECT 'A' || i, CASE WHEN i % 7 = 0 THEN NULL ELSE "
                "strftime('%Y-%m-%dT%H:%M:%S', '2026-01-01', '+' || ((i * 7919) % 1000) || ' days') END, "
                "'log ' || i, 0 FROM n")
                .arg(n));
}

void fetchEverything(ActivityTable& t)
{
    for (int i = 0; i < 1000 && t.isFetching(); ++i)
        QCoreApplication::processEvents();
    ASSERT_FALSE(t.isFetching());
}

class GridModelTest : public ::testing::Test {
protected:
    void SetUp() override { app(); }
    void open()
    {
        store = std::make_unique<ActivityStore>();
        store->openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
        applyActivityLayout(model);
        model.setTable(&store->taActivities);
    }
    ActivityTable& table() { return store->taActivities; }
    // The view's order must be ascending EarlyFinish (blanks first) and,
    // among equal dates, the table order.
    void expectSortedByEarlyFinish()
    {
        for (int v = 1; v < model.rowCount(); ++v) {
            const QVariant a = model.value(v - 1, 9), b = model.value(v, 9);
            const bool inOrder = a.isNull() || (!b.isNull() && a.toDateTime() <= b.toDateTime());
            ASSERT_TRUE(inOrder) << "view rows " << v - 1 << " and " << v;
            if (a == b) {
                ASSERT_LT(model.tableRow(v - 1), model.tableRow(v));
            }
        }
    }

    TempWorkDir dir;
    std::unique_ptr<ActivityStore> store;
    GridViewModel model;
};

} // namespace

TEST_F(GridModelTest, StartLayoutBandsColumnsAndEditingRights)
{
    applyActivityLayout(model);
    ASSERT_EQ(model.bandCount(), 3);
    struct BandCase {
        QString caption;
        FixedSide side;
        Alignment header;
        int width;
    };
    const BandCase bands[] = {
        {"Activity Info", FixedSide::Left, Alignment::Center, 417},
        {"Log records", FixedSide::None, Alignment::Left, 99 * kDefaultColumnWidth},
        {"C", FixedSide::Right, Alignment::Center, 22},
    };
    for (int b = 0; b < 3; ++b) {
        SCOPED_TRACE(b);
        EXPECT_EQ(model.band(b).caption, bands[b].caption);
        EXPECT_EQ(model.band(b).fixedSide, bands[b].side);
        EXPECT_EQ(model.band(b).headerAlignment, bands[b].header);
        EXPECT_FALSE(model.band(b).moving);
        EXPECT_TRUE(model.band(b).onlyOwnColumns);
        EXPECT_EQ(model.bandWidth(b), bands[b].width);
        int sum = 0;
        for (int id : model.visibleColumns(b))
            sum += model.columnWidth(id);
        EXPECT_EQ(sum, bands[b].width) << "the band's columns fill it exactly";
    }

    EXPECT_EQ(captions(model, model.visibleColumns(kInfoBand)),
              QStringList({"ActivityID", "Description", "OriginalDuration", "RemainingDuration", "EarlyStart",
                           "EarlyFinish", "PercentComplete", "CalendarID"}));
    QStringList logs;
    for (int n = 1; n <= 99; ++n)
        logs << QStringLiteral("Log#%1").arg(n);
    EXPECT_EQ(captions(model, model.visibleColumns(kLogBand)), logs);
    EXPECT_EQ(captions(model, model.visibleColumns(kFlagBand)), QStringList{"Flag"});

    ASSERT_EQ(model.columnCount(), 148);
    for (int id = 0; id < 148; ++id) {
        SCOPED_TRACE(id);
        const GridColumn& c = model.column(id);
        EXPECT_EQ(c.id, id);
        EXPECT_EQ(c.fieldIndex, id);
        EXPECT_EQ(model.columnCaption(id), store::fieldName(id));
        EXPECT_FALSE(c.hidden);
        const bool editable = id == 1 || id >= store::kFirstLogColumn;
        EXPECT_EQ(model.isColumnEditable(id), editable);
    }
    // Code k sits at place 25 + k of the left band.
    for (int k = 1; k <= 20; ++k)
        EXPECT_EQ(model.column(27 + k).position, 25 + k);
    EXPECT_EQ(model.column(6).position, 46);
    EXPECT_EQ(model.column(27).position, 47);
    EXPECT_EQ(model.column(1).width, 180);
    EXPECT_EQ(model.sortedColumns(), QVector<int>{9});
    EXPECT_EQ(model.column(9).sortOrder, SortOrder::Ascending);
    EXPECT_TRUE(model.options().rowIndicator);
    EXPECT_FALSE(model.options().inserting);
    EXPECT_FALSE(model.options().deleting);
    EXPECT_EQ(model.options().rowSeparatorWidth, 1);
    EXPECT_EQ(model.headerRowCount(), 1);
}

TEST_F(GridModelTest, RowsShowInEarlyFinishOrderWhileTheTableKeepsImportOrder)
{
    fillScrambled(3000);   // more than the first chunk: the rest merges in
    open();
    EXPECT_TRUE(table().isFetching());
    expectSortedByEarlyFinish();
    fetchEverything(table());
    ASSERT_EQ(model.rowCount(), 3000);
    expectSortedByEarlyFinish();
    EXPECT_EQ(table().value(0, 0).toString(), "A1");
    EXPECT_EQ(table().value(2999, 0).toString(), "A3000");
    for (int t = 0; t < 3000; ++t)
        ASSERT_EQ(model.tableRow(model.viewRowOf(t)), t);

    // Sorting by another column, descending, and back.
    model.sortBy(0, SortOrder::Descending);
    for (int v = 1; v < model.rowCount(); ++v)
        ASSERT_GE(QString::compare(model.displayText(v - 1, 0), model.displayText(v, 0), Qt::CaseInsensitive), 0);
    model.sortBy(-1, SortOrder::None);
    EXPECT_EQ(model.displayText(0, 0), "A1");
}

// After a bulk command the table re-reads the column it set; the view keeps
// its order when that column is not a sorted one, and sorts again when it is
// (or when the filter lets other rows through).
TEST_F(GridModelTest, AColumnReReadKeepsTheOrderUnlessASortedColumnChanged)
{
    fillScrambled(600);
    open();
    fetchEverything(table());
    const int log1 = model.columnIdOfField(QStringLiteral("Log#1"));
    const int finish = model.columnIdOfField(QStringLiteral("EarlyFinish"));
    const auto viewOrder = [this] {
        std::vector<int> order;
        for (int v = 0; v < model.rowCount(); ++v)
            order.push_back(model.tableRow(v));
        return order;
    };
    const std::vector<int> before = viewOrder();

    execRaw(QStringLiteral("UPDATE P3Data SET [Log#1] = 'new ' || ActivityID"));
    table().requeryColumns({logColumn(1)});
    EXPECT_EQ(viewOrder(), before);
    for (int v = 0; v < model.rowCount(); ++v)
        ASSERT_EQ(model.displayText(v, log1), "new " + model.displayText(v, 0));

    // The sorted column itself changed: the rows take their new places.
    execRaw(QStringLiteral("UPDATE P3Data SET EarlyFinish = "
                           "strftime('%Y-%m-%dT%H:%M:%S', '2026-01-01', '+' || ((rowid * 31) % 977) || ' days')"));
    table().requeryColumns({store::fieldIndex("EarlyFinish")});
    EXPECT_NE(viewOrder(), before);
    expectSortedByEarlyFinish();
    EXPECT_FALSE(model.displayText(0, finish).isEmpty());

    // Rows the change lets out of the filter leave the view.
    table().setFilter(QStringLiteral("[Log#1] LIKE 'new%'"));
    table().setFiltered(true);
    ASSERT_EQ(model.rowCount(), 600);
    execRaw(QStringLiteral("UPDATE P3Data SET [Log#1] = 'old' WHERE rowid % 2 = 0"));
    table().requeryColumns({logColumn(1)});
    EXPECT_EQ(model.rowCount(), 300);
    expectSortedByEarlyFinish();
}

TEST_F(GridModelTest, FocusFollowsTheTableAndMovesIt)
{
    insertRow({{"ActivityID", "B"}, {"EarlyFinish", day(5)}, {"Flag", false}});
    insertRow({{"ActivityID", "A"}, {"EarlyFinish", day(1)}, {"Flag", false}});
    insertRow({{"ActivityID", "C"}, {"EarlyFinish", day(9)}, {"Flag", false}});
    open();
    int reported = -2;
    QObject::connect(&model, &GridViewModel::focusedRowChanged, [&](int row) { reported = row; });
    EXPECT_EQ(model.displayText(model.focusedRow(), 0), "B") << "table's first row";
    table().next();
    EXPECT_EQ(reported, 0);
    EXPECT_EQ(model.displayText(model.focusedRow(), 0), "A");
    model.setFocusedRow(2);
    EXPECT_EQ(table().fieldValue(0).toString(), "C");
}

TEST_F(GridModelTest, EditsPostToTheFileAtOnceAndReadOnlyColumnsRefuse)
{
    insertRow({{"ActivityID", "A1"}, {"Description", "old"}, {"OriginalDuration", 5.0},
               {"EarlyFinish", day(3)}, {"Flag", false}});
    insertRow({{"ActivityID", "A2"}, {"EarlyFinish", day(1)}, {"Flag", false}});
    open();
    const int a1 = model.viewRowOf(0);
    ASSERT_EQ(model.displayText(a1, 0), "A1");

    // Read-only columns: identity, durations, dates, codes.
    for (int id : {0, 2, 7, 9, 27, 28, 47}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(model.setCellValue(a1, id, "x"));
    }
    EXPECT_EQ(readValue("A1", "ActivityID").toString(), "A1");
    EXPECT_EQ(readValue("A1", "OriginalDuration").toDouble(), 5.0);

    EXPECT_TRUE(model.setCellValue(a1, logColumn(7), "poured"));
    EXPECT_TRUE(model.setCellValue(a1, 1, "new"));
    EXPECT_TRUE(model.setCellValue(a1, 147, true));
    EXPECT_EQ(table().state(), ActivityTable::State::Browse);
    EXPECT_EQ(readValue("A1", "Log#7").toString(), "poured");
    EXPECT_EQ(readValue("A1", "Description").toString(), "new");
    EXPECT_EQ(readValue("A1", "Flag").toBool(), true);
    EXPECT_EQ(model.displayText(a1, logColumn(7)), "poured");
}

TEST_F(GridModelTest, PostedRowTakesItsSortPlaceUnlessSmartRefreshIsOn)
{
    insertRow({{"ActivityID", "A1"}, {"Log#1", "b"}, {"Flag", false}});
    insertRow({{"ActivityID", "A2"}, {"Log#1", "c"}, {"Flag", false}});
    insertRow({{"ActivityID", "A3"}, {"Log#1", "d"}, {"Flag", false}});
    open();
    model.sortBy(logColumn(1), SortOrder::Ascending);
    ASSERT_EQ(model.displayText(2, 0), "A3");

    model.setSmartRefresh(true);
    int changed = -1;
    QObject::connect(&model, &GridViewModel::rowChanged, [&](int row) { changed = row; });
    model.setCellValue(2, logColumn(1), "a");
    EXPECT_EQ(changed, 2);
    EXPECT_EQ(model.displayText(2, 0), "A3") << "smart refresh keeps the row in place";
    EXPECT_EQ(model.displayText(2, logColumn(1)), "a");

    model.setSmartRefresh(false);
    model.setCellValue(1, logColumn(1), "e");   // A2
    QStringList order;
    for (int v = 0; v < model.rowCount(); ++v)
        order << model.displayText(v, 0);
    EXPECT_EQ(order, QStringList({"A3", "A1", "A2"}));
    EXPECT_EQ(model.displayText(model.focusedRow(), 0), "A2") << "focus stays on the edited row";
}

TEST_F(GridModelTest, DetachedViewShowsNothingAndReloadsOnReattach)
{
    insertRow({{"ActivityID", "A1"}, {"Flag", false}});
    open();
    ASSERT_EQ(model.rowCount(), 1);
    model.detachDataSource();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.focusedRow(), -1);
    int resets = 0;
    QObject::connect(&model, &GridViewModel::rowsReset, [&] { ++resets; });
    for (const char* id : {"Z9", "Z8"}) {
        table().append();
        table().setFieldValue(0, id);
        table().setFieldValue(9, day(id[1] - '0'));
        table().post();
    }
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(resets, 0);
    model.reattachDataSource();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.displayText(0, 0), "A1");   // blank EarlyFinish first
    EXPECT_EQ(model.displayText(1, 0), "Z8");
}

TEST_F(GridModelTest, TableFilterRestrictsTheRowsAndStaysSorted)
{
    fillScrambled(600);
    open();
    ASSERT_TRUE(table().isFetching());   // filtered while the first read still runs
    model.applyTableFilter(QStringLiteral("[Log#1] LIKE 'log 1%'"), true);
    EXPECT_TRUE(table().filtered());
    EXPECT_EQ(table().filter(), "[Log#1] LIKE 'log 1%'");
    fetchEverything(table());
    EXPECT_EQ(model.rowCount(), 1 + 10 + 100);   // 1, 10..19, 100..199
    expectSortedByEarlyFinish();
    model.applyTableFilter(QStringLiteral("[Log#1] LIKE 'log 1%'"), false);
    fetchEverything(table());
    EXPECT_FALSE(table().filtered());
    EXPECT_EQ(model.rowCount(), 600);
}

TEST_F(GridModelTest, CustomizationListFollowsCaptionsAndHiddenFlags)
{
    applyActivityLayout(model);
    const QStringList invisibleData = {"TotalFloat", "FreeFloat", "LateStart", "LateFinish", "ActualStart",
                                       "ActualFinish", "ActualDuration", "SuspendDate", "ResumeDate",
                                       "ActivityType", "EarlyConstraintType", "EarlyConstraintDate",
                                       "LateConstraintType", "LateConstraintDate", "MandatoryConstraintType",
                                       "MandatoryConstraintDate", "ExpectedFinishDate", "WBSCodeWithSeparators",
                                       "FloatConstraintType", "WBSCode"};
    QStringList codes;
    for (int k = 1; k <= 20; ++k)
        codes << QStringLiteral("ActivityCode%1").arg(k);
    EXPECT_EQ(captions(model, model.customizableColumns()), invisibleData + codes);

    applyActivityCodeNames(model, {"Area", "Phase", "Resp"});
    EXPECT_EQ(captions(model, model.customizableColumns()), invisibleData + QStringList({" Area", " Phase", " Resp"}));
    EXPECT_TRUE(model.column(31).hidden);
    EXPECT_FALSE(model.column(31).visible);

    // A later import with more codes offers all of them again.
    applyActivityCodeNames(model, {"A", "B", "C", "D"});
    EXPECT_EQ(model.columnCaption(31), " D");
    EXPECT_EQ(captions(model, model.customizableColumns()), invisibleData + QStringList({" A", " B", " C", " D"}));

    applyActivityCodeNames(model, {});
    EXPECT_EQ(captions(model, model.customizableColumns()), invisibleData);

    // A shown column leaves the list and keeps the place it was dropped at.
    model.showColumnAt(4, 1);   // TotalFloat before Description
    EXPECT_EQ(captions(model, model.visibleColumns(kInfoBand)).mid(0, 3),
              QStringList({"ActivityID", "TotalFloat", "Description"}));
    EXPECT_FALSE(model.customizableColumns().contains(4));
    model.setColumnVisible(4, false);
    model.showColumnAt(4, -1);
    EXPECT_EQ(model.visibleColumns(kInfoBand).last(), 4);
}

TEST_F(GridModelTest, SizingAColumnOfTheFixedWidthBandMovesTheBandEdge)
{
    applyActivityLayout(model);
    const int before = model.columnWidth(0);
    const int description = model.columnWidth(1);
    model.resizeColumn(0, before + 40);
    EXPECT_EQ(model.columnWidth(0), before + 40);
    EXPECT_EQ(model.columnWidth(1), description);
    EXPECT_EQ(model.bandWidth(kInfoBand), 417 + 40);

    model.resizeColumn(logColumn(3), 150);
    EXPECT_EQ(model.bandWidth(kLogBand), 98 * kDefaultColumnWidth + 150);

    model.moveColumn(logColumn(3), 0);
    EXPECT_EQ(model.visibleColumns(kLogBand).first(), logColumn(3));
    EXPECT_EQ(model.column(logColumn(3)).band, kLogBand);
    model.setBandVisible(kLogBand, false);
    EXPECT_EQ(model.hiddenBands(), QVector<int>{kLogBand});
    EXPECT_EQ(model.visibleColumnsInOrder().size(), 8 + 1);
}

TEST(GridDisplayText, ValuesShowInTheUsersLocale)
{
    using store::FieldKind;
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    struct Case {
        QVariant value;
        FieldKind kind;
        QString text;
    };
    const Case cases[] = {
        {QVariant(), FieldKind::Number, ""},
        {12.5, FieldKind::Number, "12,5"},
        {1234567.0, FieldKind::Number, "1234567"},
        {-3.0, FieldKind::Number, "-3"},
        // Dates show with a four-digit year; the time of day is in the tooltip.
        {QDateTime(QDate(2026, 3, 2), QTime(0, 0)), FieldKind::Date, "02.03.2026"},
        {QDateTime(QDate(2026, 3, 2), QTime(8, 30)), FieldKind::Date, "02.03.2026"},
        {QDateTime(QDate(1, 1, 1), QTime(0, 0)), FieldKind::Date, "01.01.0001"},
        {true, FieldKind::Boolean, "True"},
        {false, FieldKind::Boolean, "False"},
        {QString("it's"), FieldKind::Text, "it's"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GridViewModel::displayTextOf(c.value, c.kind), c.text) << c.text.toStdString();
    EXPECT_EQ(store::copiedText(QDateTime(QDate(2026, 3, 2), QTime(8, 30)), FieldKind::Date), "02.03.2026 08:30");
    QLocale::setDefault(previous);
}

// Views find rows by their record keys and learn from the model when every
// row has arrived; the texts of a whole row are those of its cells one by one.
TEST_F(GridModelTest, RowKeysAllRowsAndWholeRowTexts)
{
    fillScrambled(600);
    open();
    ASSERT_FALSE(model.allRowsPresent());   // the rest comes from the event loop
    const qint64 key = model.rowKey(0);
    ASSERT_NE(key, 0);
    EXPECT_EQ(model.viewRowOfKey(key), 0);
    model.fetchAllRows();
    EXPECT_TRUE(model.allRowsPresent());
    EXPECT_EQ(model.rowCount(), 600);
    // The key still finds its row after more rows were merged into the order.
    const int row = model.viewRowOfKey(key);
    ASSERT_GE(row, 0);
    EXPECT_EQ(model.rowKey(row), key);
    EXPECT_EQ(model.rowKey(-1), 0);
    EXPECT_EQ(model.viewRowOfKey(key + 100000), -1);
    model.detachDataSource();
    EXPECT_EQ(model.viewRowOfKey(key), -1);
    model.reattachDataSource();

    QVector<int> columns;
    for (int id = 0; id < model.columnCount(); ++id)
        columns << id;
    std::vector<QString> texts(size_t(columns.size()));
    for (int v : {0, 1, 299, 599}) {
        model.displayTexts(v, columns.data(), int(columns.size()), texts.data());
        for (int i = 0; i < columns.size(); ++i)
            ASSERT_EQ(texts[size_t(i)], model.displayText(v, columns[i])) << "row " << v << " column " << i;
    }
    bool anyNull = false;
    EXPECT_FALSE(model.distinctValues(store::logColumn(1), &anyNull).empty());
    bool noneNull = true;
    model.distinctValues(0, &noneNull);
    EXPECT_FALSE(noneNull);   // every activity has an ID
    model.distinctValues(store::logColumn(99), &anyNull);
    EXPECT_TRUE(anyNull);
}

// A text column's distinct values: each text once, ordered without case
// first and then with it, as the grid sorts texts (signs between "Z" and
// "a" before the letters); a missing log is only reported. Plain ASCII
// logs and logs with other letters take different roads.
TEST_F(GridModelTest, DistinctTextsComeOnceInTheGridsTextOrder)
{
    const QString ae = QString::fromUtf8("\xC3\xA4"), bigAeB = QString::fromUtf8("\xC3\x84" "b");
    const QStringList ascii{"b", "B", "a", "_", "A", "b", "Z", "a ", "[", "A", "generated activity 9",
                            "Generated activity 10", "Generated Activity 9", "GENERATED ACTIVITY 10x",
                            "Generated activity 9"};
    const QStringList asciiOrder{"[", "_", "A", "a", "a ", "B", "b", "Generated activity 10",
                                 "GENERATED ACTIVITY 10x", "Generated Activity 9", "Generated activity 9",
                                 "generated activity 9", "Z"};
    struct Case {
        QStringList logs, expected;
    };
    // Texts that all begin alike, in different cases, one of them no longer than that beginning.
    const QStringList sharedStart{"Generated activity 9", "generated activity 10", "GENERATED activity 9",
                                  "Generated activity 10x", "Generated activity"};
    const QStringList sharedStartOrder{"Generated activity", "generated activity 10", "Generated activity 10x",
                                       "GENERATED activity 9", "Generated activity 9"};
    for (const Case& c : {Case{ascii, asciiOrder}, Case{sharedStart, sharedStartOrder},
                          Case{ascii + QStringList({ae, bigAeB}), asciiOrder + QStringList({ae, bigAeB})}}) {
        execRaw(QStringLiteral("DELETE FROM P3Data"));
        int n = 0;
        for (const QString& log : c.logs)
            insertRow({{"ActivityID", QString("A%1").arg(++n)}, {"Log#1", log}, {"Flag", false}});
        insertRow({{"ActivityID", "Z"}, {"Flag", false}});
        open();
        model.fetchAllRows();
        bool anyNull = false;
        QStringList texts;
        for (const auto& [text, value] : model.distinctValues(logColumn(1), &anyNull)) {
            texts << text;
            EXPECT_EQ(value.toString(), text);
        }
        EXPECT_EQ(texts, c.expected);
        EXPECT_TRUE(anyNull);
    }
}

// Thousands of texts that begin alike, differ in case and often only past
// their first sixteen characters, many of them repeated: each comes once, in
// the order of their case-folded texts, then of the texts themselves.
TEST_F(GridModelTest, ManyDistinctTextsComeOnceInTheGridsTextOrder)
{
    QRandomGenerator random(20261211);
    const QStringList starts{"Generated activity ", "generated ACTIVITY ", "submit formwork at ", "", "Z", "_"};
    const QString letters = QStringLiteral("aAbB09 _[z");
    QStringList logs;
    for (int i = 0; i < 3000; ++i) {
        QString log = starts.at(random.bounded(starts.size()));
        for (int k = random.bounded(12); k > 0; --k)
            log += letters.at(random.bounded(letters.size()));
        logs << log;
    }
    execRaw(QStringLiteral("DELETE FROM P3Data"));
    int n = 0;
    for (const QString& log : logs)
        insertRow({{"ActivityID", QString("A%1").arg(++n)}, {"Log#1", log}, {"Flag", false}});
    open();
    model.fetchAllRows();

    QStringList expected = logs;
    expected.removeDuplicates();
    std::sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a.toCaseFolded(), b.toCaseFolded(), Qt::CaseSensitive);
        return folded != 0 ? folded < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
    ASSERT_GT(expected.size(), 1500);
    QStringList texts;
    for (const auto& [text, value] : model.distinctValues(logColumn(1))) {
        texts << text;
        ASSERT_EQ(value.toString(), text);
    }
    EXPECT_EQ(texts, expected);
}
