// The update from a workbook's cells against a real pdb.mdb: captions found
// wherever they stand, rows matched by ID, only Description and logs written
// and only where they differ, and everything doubtful left alone and told.

#include "common/Errors.h"
#include "store/ActivityStore.h"
#include "support/TempDatabase.h"
#include "workbook/WorkbookUpdate.h"

#include <gtest/gtest.h>

using namespace orvane;
using orvane::testing::dumpTable;
using orvane::testing::insertRow;
using orvane::testing::readValue;
using workbook::SheetRows;

namespace {

class WorkbookUpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rowIds << insertRow({{"ActivityID", "A1"}, {"Description", "first"}, {"Log#1", "a1"}, {"Log#2", "b1"}})
               << insertRow({{"ActivityID", "A2"}, {"Description", "second"}, {"Log#1", "a2"}})
               << insertRow({{"ActivityID", "A3"}, {"Description", "third"}, {"Log#1", "line\r\nbreak"}})
               << insertRow({{"ActivityID", "TWICE"}, {"Log#1", "t1"}})
               << insertRow({{"ActivityID", "TWICE"}, {"Log#1", "t2"}});
        db.open();
    }

    orvane::testing::TempWorkDir dir;
    store::Database db;
    QList<qint64> rowIds;
};

TEST_F(WorkbookUpdateTest, WritesOnlyEditedLogsAndDescriptionsWhereverTheColumnsStand)
{
    // A title above, band captions, moved columns, Log#2 deleted, a column of
    // the user's own, a data column that is never written.
    SheetRows sheet;
    sheet.rows = {
        {"Site notes"},
        {"Activity Info", "", "Log records"},
        {"Log#1", "Comment", " ActivityID ", "Description", "OriginalDuration", "Log#3"},
        {"a1", "x", "A1", "first (site)", "99", ""},                 // Description edited
        {"", "", "A2", "second", "5", "new third log"},              // Log#1 emptied, Log#3 added
        {"line\nbreak", "", "A3", "third", "1", ""},                 // breaks in another form: unchanged
    };
    const QStringList before = dumpTable();
    const workbook::UpdatePlan plan = workbook::planUpdate(sheet, db);
    EXPECT_EQ(plan.activities, 2);
    EXPECT_EQ(plan.descriptions, 1);
    EXPECT_EQ(plan.logLines, 2);
    EXPECT_EQ(plan.unrecognisedColumns, QStringList{"Comment"});
    EXPECT_EQ(dumpTable(), before) << "planning changes nothing";

    EXPECT_EQ(workbook::applyUpdate(db, plan), 3);
    EXPECT_EQ(readValue("A1", "Description").toString(), "first (site)");
    EXPECT_EQ(readValue("A2", "Log#1"), QVariant()) << "an emptied cell empties the log";
    EXPECT_EQ(readValue("A2", "Log#3").toString(), "new third log");
    EXPECT_EQ(readValue("A1", "Log#2").toString(), "b1") << "a deleted column leaves its logs alone";
    EXPECT_EQ(readValue("A3", "Log#1").toString(), "line\r\nbreak");
    EXPECT_EQ(readValue("A2", "OriginalDuration"), QVariant());
}

TEST_F(WorkbookUpdateTest, DoubtfulRowsAreLeftAloneAndTold)
{
    SheetRows sheet;
    sheet.rows = {
        {"ActivityID", "Log#1"},
        {"A1", "dup one"},
        {"NEW1", "unknown"},
        {"A1", "dup two"},
        {"", "orphan text"},
        {"", ""},
        {"TWICE", "which row?"},
        {"A2", "a2 edited"},
    };
    const workbook::UpdatePlan plan = workbook::planUpdate(sheet, db, {}, [&](qint64 rowId) {
        return rowId == rowIds.at(1);   // the filter hides A2
    });
    EXPECT_EQ(plan.duplicateIds, QStringList{"A1"});
    EXPECT_EQ(plan.unknownIds, QStringList{"NEW1"});
    EXPECT_EQ(plan.repeatedInTable, QStringList{"TWICE"});
    EXPECT_EQ(plan.rowsWithoutId, 1);
    EXPECT_EQ(plan.activities, 1);
    EXPECT_EQ(plan.hiddenByFilter, 1);
    workbook::applyUpdate(db, plan);
    EXPECT_EQ(readValue("A1", "Log#1").toString(), "a1");
    EXPECT_EQ(readValue("A2", "Log#1").toString(), "a2 edited") << "a hidden row is updated too";
}

TEST_F(WorkbookUpdateTest, ALogCutByTheCellLimitIsNotAnEdit)
{
    const QString longLog = QString(40000, 'L');
    orvane::testing::execRaw(QStringLiteral("UPDATE P3Data SET [Log#4] = '%1' WHERE ActivityID = 'A1'").arg(longLog));
    SheetRows sheet;
    sheet.rows = {{"ActivityID", "Log#4"}, {"A1", longLog.left(32767)}};
    EXPECT_EQ(workbook::planUpdate(sheet, db).activities, 0);
}

TEST_F(WorkbookUpdateTest, RefusesSheetsItCannotReadSafely)
{
    struct Case {
        const char* name;
        QVector<QStringList> rows;
    };
    const Case cases[] = {
        {"no ActivityID caption", {{"Description", "Log#1"}, {"first", "x"}}},
        {"a log captioned twice", {{"ActivityID", "Log#1", "Log#1"}, {"A1", "x", "y"}}},
    };
    for (const Case& c : cases) {
        SheetRows sheet;
        sheet.rows = c.rows;
        EXPECT_THROW(workbook::planUpdate(sheet, db), FormatError) << c.name;
    }
}

TEST_F(WorkbookUpdateTest, ATableChangedAfterReadingIsLeftWhole)
{
    SheetRows sheet;
    sheet.rows = {{"ActivityID", "Log#1"}, {"A1", "from sheet"}, {"A2", "from sheet too"}};
    const workbook::UpdatePlan plan = workbook::planUpdate(sheet, db);
    orvane::testing::execRaw("UPDATE P3Data SET [Log#1] = 'typed meanwhile' WHERE ActivityID = 'A2'");
    const QStringList before = dumpTable();
    EXPECT_THROW(workbook::applyUpdate(db, plan), DatabaseError);
    EXPECT_EQ(dumpTable(), before);
}

TEST_F(WorkbookUpdateTest, UndoAfterAnUpdateGivesTheTableBack)
{
    store::ActivityStore store;
    store.ADOCon.open();
    store.undo.setEnabled(true);
    const QStringList before = dumpTable();
    SheetRows sheet;
    sheet.rows = {{"ActivityID", "Description", "Log#1", "Log#50"},
                  {"A1", "", "changed", "fifty"},
                  {"A3", "third", "", ""}};
    const workbook::UpdatePlan plan = workbook::planUpdate(sheet, store.ADOCon);
    store::UndoRecording recording(store.undo, "workbook");
    workbook::applyUpdate(store.ADOCon, plan);
    recording.finish();
    ASSERT_NE(dumpTable(), before);
    store.undo.undo();
    EXPECT_EQ(dumpTable(), before);
}

} // namespace
