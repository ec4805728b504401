// Undo of changes to many cells against a real pdb.mdb: what a recorded
// statement changed goes back byte for byte, several steps back, cells
// edited since are kept, and the history stays within its bounds.

#include "common/Errors.h"
#include "store/ActivityStore.h"
#include "store/Statement.h"
#include "store/Query.h"
#include "store/UndoHistory.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>
#include <optional>
#include <sqlite3.h>

using namespace orvane;
using orvane::testing::dumpTable;
using orvane::testing::insertRow;
using orvane::testing::readValue;

namespace {

class UndoHistoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Values of every storage class the columns hold, nulls among them.
        for (int i = 0; i < 6; ++i)
            insertRow({{"ActivityID", QStringLiteral("A%1").arg(i)},
                       {"Description", i == 2 ? QVariant() : QVariant(QStringLiteral("desc ü %1").arg(i))},
                       {"Log#1", QStringLiteral("one\r\n%1").arg(i)},
                       {"Log#2", i % 2 ? QVariant() : QVariant(QStringLiteral("two %1").arg(i))},
                       {"Log#99", QStringLiteral("last %1").arg(i)},
                       {"TotalFloat", 1.25 * i},
                       {"Flag", i % 2 == 1}});
        store.ADOCon.open();
        store.undo.setEnabled(true);
    }

    int run(const QString& statement, const QString& label = QStringLiteral("step"))
    {
        store::UndoRecording recording(store.undo, label);
        const int changed = store.ADOCon.execute(statement);
        recording.finish();
        return changed;
    }

    orvane::testing::TempWorkDir dir;
    store::ActivityStore store;
};

TEST_F(UndoHistoryTest, StepsGoBackByteForByteNewestFirst)
{
    const QStringList start = dumpTable();
    run("UPDATE [P3Data] SET [Log#2] = [Log#1] WHERE [ActivityID] <> 'A3'", "copy");
    const QStringList afterCopy = dumpTable();
    run("UPDATE [P3Data] SET [Description] = [Log#99], [Log#1] = NULL, [Flag] = 1", "second");
    ASSERT_EQ(store.undo.stepCount(), 2u);
    EXPECT_EQ(store.undo.nextLabel(), "second");

    store::UndoHistory::Result r = store.undo.undo();
    EXPECT_EQ(r.label, "second");
    EXPECT_EQ(r.kept, 0);
    EXPECT_EQ(dumpTable(), afterCopy);
    r = store.undo.undo();
    EXPECT_EQ(r.label, "copy");
    // Every row but A3, which the WHERE left out.
    EXPECT_EQ(r.restored, 5);
    EXPECT_EQ(dumpTable(), start);
    EXPECT_FALSE(store.undo.canUndo());
    EXPECT_EQ(store.undo.heldBytes(), 0u);
    EXPECT_THROW(store.undo.undo(), OrvaneError);
}

// A bulk command is recorded by reading the columns it sets before and
// after it; that must keep exactly the cells the row-by-row comparison
// keeps, and undo them byte for byte, whatever the values' storage classes.
TEST_F(UndoHistoryTest, ColumnReadingsKeepWhatRowByRowComparingKeeps)
{
    const char* statements[] = {
        "UPDATE [P3Data] SET [Log#2] = [Log#1] WHERE [ActivityID] <> 'A3'",
        "UPDATE [P3Data] SET [Log#50] = [Description]",
        "UPDATE [P3Data] SET [Description] = [Log#2]",
        "UPDATE [P3Data] SET [Log#3] = [TotalFloat]",
        "UPDATE [P3Data] SET [Log#99] = [Log#99]",
        "UPDATE [P3Data] SET [Log#4] = 'x' WHERE [ActivityID] = 'none'",
        "UPDATE [P3Data] SET [Description] = [Log#99], [Log#1] = NULL, [Flag] = 1",
    };
    for (const char* statement : statements) {
        SCOPED_TRACE(statement);
        const QStringList start = dumpTable();
        std::vector<QStringList> after;
        std::vector<store::UndoHistory::Result> undone;
        for (const bool byColumns : {false, true}) {
            store::UndoRecording recording(store.undo, "step");
            const QString text = QString::fromLatin1(statement);
            const int changed = byColumns ? recording.runColumnStatement(
                                                text, [&] { return store.ADOCon.execute(text); })
                                          : store.ADOCon.execute(text);
            EXPECT_GE(changed, 0);
            ASSERT_TRUE(recording.finish());
            after.push_back(dumpTable());
            undone.push_back(store.undo.canUndo() ? store.undo.undo() : store::UndoHistory::Result{});
            EXPECT_EQ(dumpTable(), start);
            EXPECT_FALSE(store.undo.canUndo());
        }
        EXPECT_EQ(after[1], after[0]);
        EXPECT_EQ(undone[1].restored, undone[0].restored);
        EXPECT_EQ(undone[1].columns, undone[0].columns);
    }
}

TEST_F(UndoHistoryTest, EveryStatementRunWhileRecordingIsTakenBack)
{
    const QStringList start = dumpTable();
    sqlite3* db = store.ADOCon.writableHandle();
    const auto run = [db](const char* sql) {
        store::Statement statement(db, QString::fromLatin1(sql));
        while (statement.step()) {
        }
    };
    // Prepared before the recording and run after a statement of other
    // columns: its columns must be recorded all the same.
    store::Statement early(db, QStringLiteral("UPDATE P3Data SET [Log#7] = 'early', TotalFloat = 2.5, Flag = 0 "
                                              "WHERE ActivityID <> 'A1'"));
    {
        store::UndoRecording recording(store.undo, "mixed");
        run("UPDATE P3Data SET [Log#1] = 'fresh' WHERE ActivityID = 'A0'");
        while (early.step()) {
        }
        // The same cells again in the same step, with every storage class.
        run("UPDATE P3Data SET [Log#7] = x'00ff10', TotalFloat = NULL WHERE ActivityID = 'A2'");
        run("UPDATE P3Data SET [Log#7] = 42, [Log#1] = 1.5, Description = '' WHERE ActivityID IN ('A0', 'A3')");
        EXPECT_TRUE(recording.finish());
    }
    ASSERT_NE(dumpTable(), start);
    const store::UndoHistory::Result r = store.undo.undo();
    EXPECT_EQ(r.kept, 0);
    EXPECT_EQ(dumpTable(), start);
}

TEST_F(UndoHistoryTest, CellsOnlyTheStatementChangedAreRecorded)
{
    // A statement that writes a value a cell already holds changes nothing there.
    run("UPDATE [P3Data] SET [Log#99] = 'last 0'");
    ASSERT_TRUE(store.undo.canUndo());
    const store::UndoHistory::Result r = store.undo.undo();
    EXPECT_EQ(r.restored + r.kept, 5);
}

TEST_F(UndoHistoryTest, ACellEditedSinceKeepsTheLaterEdit)
{
    const QStringList start = dumpTable();
    run("UPDATE [P3Data] SET [Log#2] = 'bulk'");
    store.ADOCon.execute("UPDATE [P3Data] SET [Log#2] = 'typed later' WHERE [ActivityID] = 'A4'");
    const store::UndoHistory::Result r = store.undo.undo();
    EXPECT_EQ(r.kept, 1);
    EXPECT_EQ(r.restored, 5);
    EXPECT_EQ(readValue("A4", "Log#2").toString(), "typed later");
    EXPECT_EQ(readValue("A3", "Log#2"), QVariant());
    EXPECT_EQ(readValue("A2", "Log#2").toString(), "two 2");
}

TEST_F(UndoHistoryTest, FailedOrUnrecordedChangesLeaveNoStep)
{
    {
        store::UndoRecording recording(store.undo, "failed");
        store.ADOCon.execute("UPDATE [P3Data] SET [Log#5] = 'x'");
        // dropped without finish(): the change was rolled back by its owner
    }
    EXPECT_FALSE(store.undo.canUndo());
    store.undo.setEnabled(false);
    run("UPDATE [P3Data] SET [Log#5] = 'y'");
    EXPECT_FALSE(store.undo.canUndo());
    store.undo.setEnabled(true);
    run("UPDATE [P3Data] SET [Log#5] = 'y'");   // changes nothing now
    EXPECT_FALSE(store.undo.canUndo());
}

// What a recording says its statements can have set decides whether the
// grid re-reads a few columns or every row: anything beyond setting known
// columns of existing rows must say "unknown", with or without a history.
TEST_F(UndoHistoryTest, RecordingNamesTheColumnsItsStatementsCanSet)
{
    struct Case {
        const char* statement;
        std::optional<std::vector<int>> columns;
    };
    const Case cases[] = {
        {"UPDATE [P3Data] SET [Log#7] = [Log#1]", std::vector<int>{store::logColumn(7)}},
        {"UPDATE [P3Data] SET [Log#99] = 'x', [Description] = [Log#1] WHERE [Flag] = True",
         std::vector<int>{store::fieldIndex("Description"), store::logColumn(99)}},
        {"SELECT count(*) FROM [P3Data]", std::vector<int>{}},
        {"INSERT INTO [P3Data] (ActivityID, Flag) VALUES ('NEW', 0)", std::nullopt},
        {"DELETE * FROM P3Data WHERE ActivityID = 'A1'", std::nullopt},
    };
    for (const bool enabled : {true, false}) {
        store.undo.setEnabled(enabled);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.statement);
            store::UndoRecording recording(store.undo, "step");
            store.ADOCon.execute(QString::fromLatin1(c.statement));
            recording.finish();
            EXPECT_EQ(recording.columnsSet(), c.columns);
        }
    }
    // A statement prepared before the recording began is seen all the same.
    store::Query prepared(store.ADOCon, {QStringLiteral("UPDATE [P3Data] SET [Log#8] = 'p'")});
    prepared.execSQL();
    store::UndoRecording recording(store.undo, "step");
    prepared.execSQL();
    EXPECT_EQ(recording.columnsSet(), std::vector<int>{store::logColumn(8)});
}

TEST_F(UndoHistoryTest, StaysWithinItsBounds)
{
    store.undo.setLimits(2, 1 << 20);
    run("UPDATE [P3Data] SET [Log#10] = 'a'", "a");
    run("UPDATE [P3Data] SET [Log#10] = 'b'", "b");
    run("UPDATE [P3Data] SET [Log#10] = 'c'", "c");
    EXPECT_EQ(store.undo.stepCount(), 2u);
    store.undo.undo();
    EXPECT_EQ(store.undo.nextLabel(), "b");

    // A change larger than the bound cannot be kept: the history ends.
    store.undo.setLimits(2, 2000);
    store::UndoRecording recording(store.undo, "huge");
    store.ADOCon.execute(QStringLiteral("UPDATE [P3Data] SET [Log#11] = '%1'").arg(QString(400, 'x')));
    EXPECT_FALSE(recording.finish());
    EXPECT_FALSE(store.undo.canUndo());
    EXPECT_EQ(store.undo.heldBytes(), 0u);
}

} // namespace
