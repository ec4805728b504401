// The table's compact row cache against the file it caches: every stored
// form a cell can have reads back as the engine's own row reader makes it,
// edits keep what the file holds, and the row filter chooses among the
// cached rows exactly the rows a bulk statement's WHERE would change.

#include "logedit/BulkCommands.h"
#include "store/ActivityStore.h"
#include "store/SqlValues.h"
#include "store/UndoHistory.h"
#include "store/Statement.h"
#include "support/TempDatabase.h"

#include <QDateTime>
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace orvane;
using namespace orvane::store;
using orvane::testing::TempWorkDir;

namespace {

struct StoredCase {
    const char* name;
    const char* column;
    const char* sqlValue;   // the stored form, as an SQL literal
};

// Stored forms: the shapes the import writes and the ones another writer
// (or a hand-edited file) may leave behind.
const StoredCase kCases[] = {
    {"date in the stored shape", "EarlyStart", "'2026-03-02T08:00:00'"},
    {"date at midnight", "EarlyFinish", "'2026-03-29T00:00:00'"},
    {"date written without time", "LateStart", "'2026-03-02'"},
    {"date with milliseconds", "LateFinish", "'2026-03-02T08:00:00.250'"},
    {"date text that is no date", "ActualStart", "'soon'"},
    {"date digits naming no day", "ActualFinish", "'2026-13-45T08:00:00'"},
    {"date stored as a number", "SuspendDate", "20260302"},
    {"empty date text", "ResumeDate", "''"},
    {"number", "OriginalDuration", "12.5"},
    {"negative number", "TotalFloat", "-3"},
    {"number stored as text", "RemainingDuration", "'7.25'"},
    {"number text that is no number", "FreeFloat", "'many'"},
    {"text stored as a number", "CalendarID", "42"},
    {"empty text", "Description", "''"},
    {"text beyond ASCII", "Log#1", "'Über ✓ 日本 – done'"},
    {"long text", "Log#99", "printf('%.300c', 'x') || 'end'"},
    {"mark on", "Flag", "1"},
    {"mark stored as text", "Flag", "'1'"},
    {"null", "Log#50", "NULL"},
};

class RowCacheTest : public ::testing::Test {
protected:
    TempWorkDir dir;
};

TEST_F(RowCacheTest, EveryStoredFormReadsBackAsTheRowReaderMakesIt)
{
    for (const StoredCase& c : kCases) {
        SCOPED_TRACE(c.name);
        ActivityStore store;
        store.ADOCon.open();
        store.ADOCon.executeRaw(QStringLiteral("DELETE FROM P3Data"));
        store.ADOCon.executeRaw(
            QStringLiteral("INSERT INTO P3Data (ActivityID, [Log#2], [%1]) VALUES ('A1', 'other', %2)")
                .arg(QString::fromLatin1(c.column), QString::fromUtf8(c.sqlValue)));
        store.taActivities.open();
        ASSERT_EQ(store.taActivities.rowCount(), 1);
        const int column = fieldIndex(QString::fromLatin1(c.column));
        Statement select(store.ADOCon.handle(),
                         QStringLiteral("SELECT [%1] FROM P3Data").arg(QString::fromLatin1(c.column)));
        ASSERT_TRUE(select.step());
        const QVariant expected = readColumnValue(select.get(), 0, column);
        const QVariant cached = store.taActivities.value(0, column);
        EXPECT_EQ(cached.typeId(), expected.typeId()) << cached.typeName() << " / " << expected.typeName();
        EXPECT_EQ(cached, expected) << cached.toString().toStdString() << " / " << expected.toString().toStdString();
        EXPECT_EQ(cached.isNull(), expected.isNull());
        // The neighbours of the cell are untouched by its form.
        EXPECT_EQ(store.taActivities.value(0, 0).toString(), "A1");
        EXPECT_EQ(store.taActivities.value(0, logColumn(2)).toString(), "other");
    }
}

TEST_F(RowCacheTest, EditsKeepWhatTheFileHolds)
{
    ActivityStore store;
    store.ADOCon.open();
    store.ADOCon.executeRaw(QStringLiteral(
        "INSERT INTO P3Data (ActivityID, Description, [Log#1], [Log#3], OriginalDuration, Flag) "
        "VALUES ('A1', 'first', 'one', 'three', 4, 0)"));
    store.taActivities.open();
    ActivityTable& table = store.taActivities;
    table.edit();
    // A date with milliseconds is stored to the second; the cache says so.
    table.setFieldValue(fieldIndex("EarlyStart"), QDateTime(QDate(2026, 5, 4), QTime(9, 30, 15, 750)));
    table.setFieldValue(logColumn(2), QStringLiteral("two, between"));
    table.setFieldValue(logColumn(3), QVariant());   // emptied
    table.setFieldValue(kFlagColumn, true);
    table.post();
    const auto snapshot = [&table] {
        QVariantList values;
        for (int c = 0; c < kColumnCount; ++c)
            values << table.value(0, c);
        return values;
    };
    const QVariantList afterPost = snapshot();
    EXPECT_EQ(afterPost.at(fieldIndex("EarlyStart")).toDateTime(), QDateTime(QDate(2026, 5, 4), QTime(9, 30, 15)));
    EXPECT_EQ(afterPost.at(logColumn(1)).toString(), "one");
    EXPECT_EQ(afterPost.at(logColumn(2)).toString(), "two, between");
    EXPECT_TRUE(afterPost.at(logColumn(3)).isNull());
    table.requery();
    EXPECT_EQ(snapshot(), afterPost);
}

TEST_F(RowCacheTest, FilterShowsTheRowsABulkStatementChangesAndNoOthers)
{
    ActivityStore store;
    store.ADOCon.open();
    for (int i = 1; i <= 40; ++i)
        store.ADOCon.executeRaw(QStringLiteral("INSERT INTO P3Data (ActivityID, PercentComplete, [Log#1], Flag) "
                                               "VALUES ('A%1', %2, 'line %1', 0)")
                                    .arg(i)
                                    .arg(i % 4 * 25));
    store.taActivities.open();
    ActivityTable& table = store.taActivities;
    table.setFilter(QStringLiteral("[PercentComplete] = 50"));
    table.setFiltered(true);
    ASSERT_EQ(table.rowCount(), 10);
    QStringList shown;
    for (int r = 0; r < table.rowCount(); ++r) {
        EXPECT_EQ(table.value(r, fieldIndex("PercentComplete")).toDouble(), 50.0);
        shown << table.value(r, 0).toString();
    }
    EXPECT_EQ(table.currentRow(), 0);
    // The bulk statement changes the shown rows, and they show the change.
    logedit::runBulkStatement(store, logedit::log2LogStatement(QStringLiteral("1"), QStringLiteral("2")));
    ASSERT_EQ(table.rowCount(), 10);
    for (int r = 0; r < table.rowCount(); ++r)
        EXPECT_EQ(table.value(r, logColumn(2)), table.value(r, logColumn(1)));
    table.setFiltered(false);
    ASSERT_EQ(table.rowCount(), 40);
    int copied = 0;
    for (int r = 0; r < table.rowCount(); ++r) {
        const bool wasShown = shown.contains(table.value(r, 0).toString());
        EXPECT_EQ(!table.value(r, logColumn(2)).isNull(), wasShown) << table.value(r, 0).toString().toStdString();
        copied += wasShown;
    }
    EXPECT_EQ(copied, 10);
    // A text the engine refuses leaves filter and rows as they were.
    table.setFilter(QStringLiteral("[PercentComplete] = 50"));
    table.setFiltered(true);
    EXPECT_ANY_THROW(table.setFilter(QStringLiteral("[NoSuchField] = 1")));
    EXPECT_EQ(table.filter(), QStringLiteral("[PercentComplete] = 50"));
    EXPECT_EQ(table.rowCount(), 10);
}

// Every visible row as the table shows it: rowid and every column's value.
QStringList shownRows(const ActivityTable& table)
{
    QStringList rows;
    for (int r = 0; r < table.rowCount(); ++r) {
        QStringList cells{QString::number(table.rowIdAt(r))};
        for (int c = 0; c < kColumnCount; ++c) {
            const QVariant v = table.value(r, c);
            cells << QString::fromLatin1(v.typeName()) + QLatin1Char(':') + v.toString();
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

struct ColumnReReadCase {
    const char* name;
    const char* filter;      // the row filter, or empty
    const char* statement;   // raw SQL run after the table was read
    std::vector<const char*> columns;   // the columns re-read
};

// The re-read of a few columns after an update ends where a whole re-read
// would: same rows in the same order, same values, same cursor; rows that
// the change lets into or out of the filter come and go; a row added or
// removed meanwhile is seen too (the column re-read gives way to a whole one).
// Every road: the columns read from the file; the values the change read back
// itself while it recorded them for undo; those values when more rows came
// into the cache in between (they no longer cover it: the file is read).
TEST_F(RowCacheTest, ColumnReReadShowsWhatAWholeReReadShows)
{
    std::vector<ColumnReReadCase> cases = {
        {"one log, every row", "", "UPDATE P3Data SET [Log#2] = [Log#1] || ' copied'", {"Log#2"}},
        {"emptied cells", "", "UPDATE P3Data SET [Log#1] = NULL WHERE [Log#3] = 'keep'", {"Log#1"}},
        {"rows leave and enter the filter", "[Log#3] LIKE 'keep%'",
         "UPDATE P3Data SET [Log#3] = CASE WHEN rowid % 2 = 0 THEN 'keep ' || rowid ELSE NULL END", {"Log#3"}},
        {"several columns", "[PercentComplete] >= 50",
         "UPDATE P3Data SET Description = 'd' || rowid, [Log#99] = 'last', PercentComplete = rowid % 100",
         {"Description", "Log#99", "PercentComplete"}},
        {"a row added meanwhile", "", "INSERT INTO P3Data (ActivityID, [Log#2], Flag) VALUES ('NEW', 'n', 0)",
         {"Log#2"}},
        {"a row removed meanwhile", "", "DELETE FROM P3Data WHERE [ActivityID] = 'A5'", {"Log#2"}},
    };
    for (const StoredCase& c : kCases)
        cases.push_back({c.name, "", nullptr, {c.column}});
    enum Road { FromTheFile, FromTheChange, FromTheChangeAfterAFetch };
    for (const Road road : {FromTheFile, FromTheChange, FromTheChangeAfterAFetch})
    for (const ColumnReReadCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ", road " + std::to_string(int(road)));
        ActivityStore store;
        store.ADOCon.open();
        store.ADOCon.executeRaw(QStringLiteral("DELETE FROM P3Data"));
        // More rows than the first chunk of a re-read: the rest arrive later.
        store.ADOCon.executeRaw(QStringLiteral(
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 700) "
            "INSERT INTO P3Data (ActivityID, [Log#1], [Log#3], PercentComplete, EarlyStart, Flag) "
            "SELECT 'A' || x, 'line ' || x, CASE WHEN x % 3 = 0 THEN 'keep' END, x % 100, "
            "'2026-03-02T08:00:00', x % 2 FROM n"));
        ActivityTable& table = store.taActivities;
        if (*c.filter) {
            table.setFilter(QString::fromLatin1(c.filter));
            table.setFiltered(true);
        }
        table.open();
        table.setCurrentRow(3);
        QString statement = c.statement ? QString::fromUtf8(c.statement) : QString();
        if (statement.isEmpty()) {
            const StoredCase& stored = *std::find_if(std::begin(kCases), std::end(kCases), [&c](const StoredCase& s) {
                return std::strcmp(s.name, c.name) == 0;
            });
            statement = QStringLiteral("UPDATE P3Data SET [%1] = %2 WHERE [Flag] = 1")
                            .arg(QString::fromLatin1(stored.column), QString::fromUtf8(stored.sqlValue));
        }
        std::vector<int> columns;
        for (const char* name : c.columns)
            columns.push_back(fieldIndex(QString::fromLatin1(name)));
        if (road != FromTheFile) {
            store.undo.setEnabled(true);
            UndoRecording recording(store.undo, QStringLiteral("change"));
            ActivityTable::ColumnReread reread = table.startColumnReread();
            recording.runColumnStatement(
                statement, [&store, &statement] { return store.ADOCon.execute(statement); },
                [&reread](const std::vector<int>& set, sqlite3_stmt* row) { reread.takeRow(set, row); });
            recording.finish();
            if (road == FromTheChangeAfterAFetch)
                table.fetchAll();
            table.requeryColumns(columns, std::move(reread));
        } else {
            store.ADOCon.executeRaw(statement);
            table.requeryColumns(columns);
        }
        EXPECT_EQ(table.currentRow(), table.rowCount() > 0 ? 0 : -1);
        table.fetchAll();

        ActivityStore whole;
        whole.ADOCon.open();
        if (*c.filter) {
            whole.taActivities.setFilter(QString::fromLatin1(c.filter));
            whole.taActivities.setFiltered(true);
        }
        whole.taActivities.open();
        whole.taActivities.fetchAll();
        const QStringList expected = shownRows(whole.taActivities);
        EXPECT_EQ(shownRows(table), expected);
        EXPECT_GT(expected.size(), 0);
    }
}

} // namespace
