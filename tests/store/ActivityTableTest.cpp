// The activity table against a real database file: caching, cursor,
// editing, re-reading, start-up failures and the layout check.

#include "common/Errors.h"
#include "store/ActivityStore.h"
#include "store/DatabaseFile.h"
#include "store/SqlValues.h"
#include "support/TempDatabase.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace orvane;
using namespace orvane::store;
using orvane::testing::insertRow;
using orvane::testing::readValue;
using orvane::testing::TempWorkDir;

namespace {

QVariantMap activity(const QString& id, const QVariantMap& more = {})
{
    QVariantMap v{{QStringLiteral("ActivityID"), id}, {QStringLiteral("Flag"), false}};
    for (auto it = more.begin(); it != more.end(); ++it)
        v.insert(it.key(), it.value());
    return v;
}

class ActivityTableTest : public ::testing::Test {
protected:
    TempWorkDir dir;
};

TEST_F(ActivityTableTest, RowsEditsAndAppendsSurviveReopening)
{
    insertRow(activity("A100", {{"Log#1", "first"}, {"OriginalDuration", 5.0},
                                {"EarlyStart", QDateTime(QDate(2026, 3, 2), QTime(8, 0))}}));
    {
        ActivityStore store;
        store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
        ASSERT_EQ(store.taActivities.rowCount(), 1);
        store.taActivities.edit();
        store.taActivities.setFieldValue(logColumn(2), "second");
        store.taActivities.post();
        store.taActivities.append();
        store.taActivities.setFieldValue(0, "A200");
        store.taActivities.setFieldValue(logColumn(99), "last");
        store.taActivities.post();
        EXPECT_EQ(store.taActivities.rowCount(), 2);
        EXPECT_EQ(store.taActivities.currentRow(), 1);
    }
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    ASSERT_EQ(store.taActivities.rowCount(), 2);
    EXPECT_EQ(store.taActivities.value(0, logColumn(1)).toString(), "first");
    EXPECT_EQ(store.taActivities.value(0, logColumn(2)).toString(), "second");
    EXPECT_EQ(store.taActivities.value(0, 2).toDouble(), 5.0);
    EXPECT_EQ(store.taActivities.value(0, 7).toDateTime(), QDateTime(QDate(2026, 3, 2), QTime(8, 0)));
    EXPECT_EQ(store.taActivities.value(1, 0).toString(), "A200");
    EXPECT_EQ(store.taActivities.value(1, logColumn(99)).toString(), "last");
    EXPECT_EQ(store.taActivities.value(1, kFlagColumn).toBool(), false);
}

TEST_F(ActivityTableTest, ClearTableEmptiesEvenAnEmptyOrFilteredTable)
{
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    store.ClearTable();   // already empty: no error
    EXPECT_EQ(store.taActivities.rowCount(), 0);

    insertRow(activity("A1", {{"Log#1", "keep"}}));
    insertRow(activity("A2"));
    store.taActivities.requery();
    store.taActivities.setFilter("[ActivityID] = 'A1'");
    store.taActivities.setFiltered(true);
    ASSERT_EQ(store.taActivities.rowCount(), 1);
    store.ClearTable();
    EXPECT_EQ(store.taActivities.rowCount(), 0);
    store.taActivities.setFiltered(false);
    EXPECT_EQ(store.taActivities.rowCount(), 0);
}

TEST_F(ActivityTableTest, RequeryPostsPendingEditFirstAndLandsOnFirstRow)
{
    insertRow(activity("A1"));
    insertRow(activity("A2"));
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    store.taActivities.setCurrentRow(1);
    store.taActivities.edit();
    store.taActivities.setFieldValue(logColumn(3), "typed");
    store.taActivities.requery();
    EXPECT_EQ(store.taActivities.state(), ActivityTable::State::Browse);
    EXPECT_EQ(store.taActivities.currentRow(), 0);
    EXPECT_EQ(readValue("A2", "Log#3").toString(), "typed");
    EXPECT_EQ(store.taActivities.value(1, logColumn(3)).toString(), "typed");
}

TEST_F(ActivityTableTest, PostWritesOnlyTheColumnsChangedInThatRow)
{
    insertRow(activity("A1", {{"Log#1", "old one"}, {"Log#2", "old two"}}));
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    store.taActivities.edit();
    store.taActivities.setFieldValue(logColumn(1), "edited");
    // A bulk statement changes another column of the same row meanwhile.
    store.qLog2Log.setSql("UPDATE [P3Data] SET [Log#2] = 'from statement'");
    store.qLog2Log.execSQL();
    store.taActivities.post();
    EXPECT_EQ(readValue("A1", "Log#1").toString(), "edited");
    EXPECT_EQ(readValue("A1", "Log#2").toString(), "from statement");
}

TEST_F(ActivityTableTest, LookupOfAbsentIdIsEmptyNotAnError)
{
    insertRow(activity("A1", {{"Description", "Pour slab"}, {"Log#5", "five"}}));
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    EXPECT_EQ(store.qGetActivity.sqlText(), "SELECT * FROM P3Data\nWHERE [ActivityID] = :ActID");

    store.qGetActivity.setParameter("ActID", "NOPE");
    store.qGetActivity.open();
    EXPECT_TRUE(store.qGetActivity.eof());
    store.qGetActivity.close();

    store.qGetActivity.setParameter("ActID", "A1");
    store.qGetActivity.open();
    ASSERT_FALSE(store.qGetActivity.eof());
    const int f = store.qGetActivity.fieldCount();
    EXPECT_EQ(f, kColumnCount);
    EXPECT_EQ(store.qGetActivity.value(1).toString(), "Pour slab");
    EXPECT_EQ(store.qGetActivity.value(f - 101 + 5).toString(), "five");
    EXPECT_EQ(store.qGetActivity.value(f - 1).toBool(), false);
    store.qGetActivity.close();
}

TEST_F(ActivityTableTest, CursorFollowsDatasetBofEofRules)
{
    for (const char* id : {"A1", "A2", "A3"})
        insertRow(activity(id));
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    ActivityTable& t = store.taActivities;
    int scrolls = 0;
    QObject::connect(&t, &ActivityTable::afterScroll, [&] { ++scrolls; });

    t.last();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.currentRow(), 2);
    scrolls = 0;
    t.next();   // already at the end: nothing happens
    EXPECT_EQ(scrolls, 0);

    t.setCurrentRow(2);
    EXPECT_FALSE(t.eof());
    t.next();   // on the last row: stays, sets eof, still announces a scroll
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.currentRow(), 2);
    EXPECT_EQ(scrolls, 2);

    t.first();
    EXPECT_TRUE(t.bof());
    t.next();
    EXPECT_FALSE(t.bof());
    EXPECT_EQ(t.currentRow(), 1);
    t.prior();
    t.prior();
    EXPECT_TRUE(t.bof());
    EXPECT_EQ(t.currentRow(), 0);
}

TEST_F(ActivityTableTest, RequeryShowsFirstRowsAtOnceAndFetchesTheRestFromTheEventLoop)
{
    orvane::testing::execRaw(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
        "INSERT INTO P3Data (ActivityID, [Log#1], Flag) SELECT 'A' || i, 'log ' || i, 0 FROM n");
    int argc = 0;
    QCoreApplication app(argc, nullptr);
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    ActivityTable& t = store.taActivities;
    EXPECT_GT(t.rowCount(), 0);
    EXPECT_LT(t.rowCount(), 3000);
    EXPECT_TRUE(t.isFetching());
    t.requery();   // a second re-read while the first is still fetching
    bool finished = false;
    QObject::connect(&t, &ActivityTable::fetchFinished, [&] { finished = true; });
    for (int i = 0; i < 100 && !finished; ++i)
        QCoreApplication::processEvents();
    EXPECT_TRUE(finished);
    ASSERT_EQ(t.rowCount(), 3000);
    EXPECT_EQ(t.value(2999, logColumn(1)).toString(), "log 3000");
    EXPECT_EQ(t.rowOfId(t.rowIdAt(1234)), 1234);
}

TEST(ActivityStoreStartup, MissingFileIsReportedOnceAndNotCreated)
{
    TempWorkDir dir(false);
    ActivityStore store;
    QStringList reported;
    store.openAtStartup([&](const QString& m) { reported << m; });
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains("pdb.mdb"));
    EXPECT_FALSE(store.taActivities.isActive());
    EXPECT_FALSE(QFile::exists(dir.file("pdb.mdb")));

    // While the file is missing, commands report the connection error ...
    try {
        store.ClearTable();
        FAIL() << "ClearTable on a missing file must fail";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.message(), reported[0]);
    }
    // ... and once it is there, the table is still closed for this run.
    orvane::store::createActivityDatabase("pdb.mdb");
    try {
        store.ClearTable();
        FAIL() << "ClearTable on a closed table must fail";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.message(), "Cannot perform this operation on a closed dataset");
    }
}

TEST(ActivityStoreStartup, FileThatIsNotADatabaseIsRefused)
{
    TempWorkDir dir(false);
    QFile f(dir.file("pdb.mdb"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    ActivityStore store;
    QStringList reported;
    store.openAtStartup([&](const QString& m) { reported << m; });
    EXPECT_EQ(reported.size(), 1);
    EXPECT_FALSE(store.taActivities.isActive());
}

// Changes in a transaction are all kept or all gone, and a second
// connection cannot start changing the file meanwhile.
TEST_F(ActivityTableTest, TransactionKeepsAllOrNothingAndHoldsOffOtherWriters)
{
    insertRow(activity("A1", {{"Log#1", "old"}}));
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    {
        Transaction transaction(store.ADOCon);
        store.ClearTable();
        store.taActivities.append();
        store.taActivities.setFieldValue(0, "B1");
        store.taActivities.post();

        ActivityStore other;
        other.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
        EXPECT_EQ(other.taActivities.rowCount(), 1);   // readers see the old table
        try {
            other.ADOCon.execute("UPDATE [P3Data] SET [Log#2] = [Log#1]");
            ADD_FAILURE() << "a second writer was let in";
        } catch (const DatabaseError& e) {
            EXPECT_TRUE(e.message().startsWith("Another program is changing the database")) << e.message().toStdString();
        }
    }   // not committed: rolled back
    EXPECT_EQ(readValue("A1", "Log#1").toString(), "old");
    EXPECT_FALSE(readValue("B1", "ActivityID").isValid());
    {
        Transaction transaction(store.ADOCon);
        store.ADOCon.execute("UPDATE [P3Data] SET [Log#1] = 'new'");
        transaction.commit();
    }
    EXPECT_EQ(readValue("A1", "Log#1").toString(), "new");
}

// Every change is on the disk when it returns: WAL with full synchronous
// commits, set only once the file was accepted.
TEST_F(ActivityTableTest, AcceptedFileCommitsSynchronously)
{
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    Query pragma(store.ADOCon, {QStringLiteral("PRAGMA synchronous")});
    pragma.open();
    EXPECT_EQ(pragma.value(0).toInt(), 2);
    pragma.setSql(QStringLiteral("PRAGMA journal_mode"));
    pragma.open();
    EXPECT_EQ(pragma.value(0).toString(), "wal");
}

// The log's pages reach the file itself on the copier's thread, not at the
// next close: a copy of the file alone holds every committed change, even
// while commands kept writing during the copies.
TEST_F(ActivityTableTest, CommittedChangesAreCopiedIntoTheFileWhileTheProgramRuns)
{
    const QString text(400, QLatin1Char('x'));
    {
        ActivityStore store;
        store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
        Transaction transaction(store.ADOCon);
        for (int i = 0; i < 3000; ++i)
            store.ADOCon.execute(QStringLiteral("INSERT INTO P3Data (ActivityID, Flag, [Log#1]) VALUES (:id, 0, :text)"),
                                 {{"id", QStringLiteral("A%1").arg(i)}, {"text", text}});
        transaction.commit();
    }
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    // Each command writes more than the log holds before a copy is asked for;
    // none waits for the copy of the one before.
    for (int round = 1; round <= 12; ++round)
        store.ADOCon.execute(QStringLiteral("UPDATE P3Data SET [Log#2] = '%1' || [Log#1]").arg(round));
    store.ADOCon.waitForLogCopy();

    const QString alone = dir.file("alone.mdb");
    ASSERT_TRUE(QFile::copy(dir.file("pdb.mdb"), alone));
    sqlite3* copy = nullptr;
    ASSERT_EQ(sqlite3_open_v2(alone.toUtf8().constData(), &copy, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    auto single = [copy](const char* sql) {
        sqlite3_stmt* statement = nullptr;
        QString result;
        if (sqlite3_prepare_v2(copy, sql, -1, &statement, nullptr) == SQLITE_OK && sqlite3_step(statement) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        sqlite3_finalize(statement);
        return result;
    };
    EXPECT_EQ(single("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(single("SELECT count(*) FROM P3Data WHERE [Log#2] = '12' || [Log#1]"), "3000");
    sqlite3_close(copy);

    // The program's connection, closing last, leaves no log behind.
    store.ADOCon.close();
    EXPECT_FALSE(QFile::exists(dir.file("pdb.mdb-wal")));
    EXPECT_EQ(readValue("A2999", "Log#2").toString(), "12" + text);
}

struct LayoutCase {
    const char* name;
    const char* setupSql;
    const char* expectedInMessage;
};

class WrongLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(WrongLayout, IsRefusedNamingTheFirstDifference)
{
    TempWorkDir dir;
    orvane::testing::execRaw(GetParam().setupSql);
    ActivityStore store;
    QStringList reported;
    store.openAtStartup([&](const QString& m) { reported << m; });
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains(GetParam().expectedInMessage)) << reported[0].toStdString();
    EXPECT_FALSE(store.taActivities.isActive());
    EXPECT_THROW(store.taActivities.requery(), DatabaseError);
    // Nothing reads or writes through a refused table, not even a statement.
    for (const char* statement : {"DELETE * FROM P3Data", "SELECT count(*) FROM P3Data"}) {
        try {
            store.ADOCon.execute(QString::fromLatin1(statement));
            ADD_FAILURE() << statement;
        } catch (const DatabaseError& e) {
            EXPECT_EQ(e.message(), reported[0]);
        }
    }
    EXPECT_THROW(Transaction transaction(store.ADOCon), DatabaseError);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WrongLayout,
    ::testing::Values(
        LayoutCase{"missing", "DROP TABLE P3Data", "'P3Data' does not exist"},
        LayoutCase{"renamed", "ALTER TABLE P3Data RENAME COLUMN FreeFloat TO Slack", "column 5 is 'Slack' where 'FreeFloat'"},
        LayoutCase{"short", "ALTER TABLE P3Data DROP COLUMN Flag", "lacks 'Flag' (column 147)"},
        LayoutCase{"long", "ALTER TABLE P3Data ADD COLUMN Extra TEXT", "'Extra' (column 148) is not expected"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace

// A value typed into a cell is converted to its column's kind: yes/no words
// for the mark, numbers as the user's locale writes them (and as C writes
// them), dates in their stored form. What does not convert is refused with
// the column's name, never stored as something else.
TEST(CoerceToColumn, TypedValuesTakeTheColumnsKind)
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const int flag = store::kFlagColumn;
    const int duration = store::fieldIndex(QStringLiteral("OriginalDuration"));
    const int start = store::fieldIndex(QStringLiteral("EarlyStart"));
    const int log = store::logColumn(3);
    const struct {
        int column;
        QVariant typed;
        QVariant expected;   // invalid: refused
    } cases[] = {
        {flag, QStringLiteral("yes"), true},
        {flag, QStringLiteral(" True "), true},
        {flag, QStringLiteral("1"), true},
        {flag, QStringLiteral("NO"), false},
        {flag, QStringLiteral("false"), false},
        {flag, QStringLiteral("0"), false},
        {flag, QStringLiteral("maybe"), QVariant()},
        {flag, 2, true},
        {duration, QStringLiteral("12,5"), 12.5},    // the user's locale
        {duration, QStringLiteral("12.5"), 12.5},    // C form, as stored texts have it
        {duration, QStringLiteral("1.234,5"), 1234.5},
        {duration, QStringLiteral("ten"), QVariant()},
        {duration, 7, 7.0},
        {start, QStringLiteral("2025-03-04T08:30:00"), QDateTime(QDate(2025, 3, 4), QTime(8, 30))},
        {start, QDate(2025, 3, 4), QDateTime(QDate(2025, 3, 4), QTime(0, 0))},
        {start, QStringLiteral("tomorrow"), QVariant()},
        {log, 42, QStringLiteral("42")},
        {log, QStringLiteral("as typed, ,5"), QStringLiteral("as typed, ,5")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(store::fieldName(c.column).toStdString() + " <- " + c.typed.toString().toStdString());
        if (!c.expected.isValid()) {
            try {
                store::coerceToColumn(c.column, c.typed);
                ADD_FAILURE() << "accepted";
            } catch (const orvane::DatabaseError& e) {
                EXPECT_EQ(e.message(), QStringLiteral("\"%1\" is not a valid value for the field %2")
                                           .arg(c.typed.toString(), store::fieldName(c.column)));
            }
            continue;
        }
        const QVariant got = store::coerceToColumn(c.column, c.typed);
        EXPECT_EQ(got.typeId(), c.expected.typeId());
        EXPECT_EQ(got, c.expected);
    }
    EXPECT_FALSE(store::coerceToColumn(duration, QVariant()).isValid());   // null stays null
    QLocale::setDefault(before);
}
