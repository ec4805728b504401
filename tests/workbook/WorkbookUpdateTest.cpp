// The update from a workbook's cells against a real pdb.mdb: captions found
// wherever they stand, rows matched by ID, only Description and logs written
// and only where they differ, and everything doubtful left alone and told.

#include "common/Errors.h"
#include "store/ActivityLayout.h"
#include "store/ActivityStore.h"
#include "store/ExportRecord.h"
#include "support/TempDatabase.h"
#include "workbook/WorkbookUpdate.h"

#include <gtest/gtest.h>

#include <QSet>

#include <map>
#include <optional>

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

// Each cell decided against what the export wrote, one activity and field
// per case: what the table holds now, what the export wrote (none: the
// record does not hold the activity), what the workbook holds now. Exports
// record digests of the texts; workbooks exported before carry the texts
// themselves. Both decide alike, except that digests cannot tell the base of
// an activity with a text changed on both sides: its other cells in which
// table and workbook differ are then conflicts too, unless exported empty.
// The same workbook read without its
// record takes every difference from the workbook, as an update did before
// exports carried a record.
TEST_F(WorkbookUpdateTest, EachCellIsDecidedAgainstWhatTheExportWrote)
{
    enum Outcome { Same, Written, KeptTable, Conflict };
    struct Case {
        const char* name;
        const char* id;
        const char* field;
        QString table, exported, workbook;
        Outcome outcome;
        bool inRecord = true;
        std::optional<Outcome> withDigests = std::nullopt;   // where digests decide otherwise
    };
    const QString longLog = QString(40000, u'L');
    const QString cutLog = longLog.left(32767);
    const std::vector<Case> cases = {
        {"edited in the workbook only", "W1", "Log#1", "old", "old", "new", Written},
        {"emptied in the workbook only", "W2", "Log#1", "old", "old", "", Written},
        {"description edited in the workbook only", "W3", "Description", "old", "old", "renamed", Written},
        {"edited in the table only", "T1", "Log#1", "mine", "old", "old", KeptTable},
        {"emptied in the table by a bulk copy", "T2", "Log#1", "", "old", "old", KeptTable},
        {"added in the table only", "T3", "Log#1", "added", "", "", KeptTable},
        {"edited on both sides alike", "B1", "Log#1", "same", "old", "same", Same},
        {"edited on both sides alike, other line breaks", "B2", "Log#1", "a\nb", "old", "a\r\nb", Same},
        {"edited on both sides differently", "C1", "Log#1", "mine", "old", "theirs", Conflict},
        {"emptied here, edited there", "C2", "Log#1", "", "old", "theirs", Conflict},
        {"description on both sides differently", "C3", "Description", "my name", "old", "their name", Conflict},
        {"one log in conflict ...", "M1", "Log#1", "mine", "old", "theirs", Conflict},
        {"... another of the same activity edited there", "M1", "Log#2", "b", "b", "b edited", Written, true,
         Conflict},
        {"... a third edited here", "M1", "Log#3", "c edited", "c", "c", KeptTable, true, Conflict},
        {"... a fourth exported empty, filled here", "M1", "Description", "mine", "", "", KeptTable},
        {"line breaks in another form only", "L1", "Log#1", "x\ny", "x\ny", "x\r\ny", Same},
        {"cut by the cell limit, untouched", "X1", "Log#1", longLog, cutLog, cutLog, Same},
        {"cut by the cell limit, edited in the workbook", "X2", "Log#1", longLog, cutLog, "short now", Written},
        {"not exported: decided without a base", "N1", "Log#1", "mine", {}, "theirs", Written, false},
    };

    const QStringList fields{"ActivityID", "Description", "Log#1", "Log#2", "Log#3"};
    std::map<QString, QStringList> workbookRows, recordRows;
    for (const Case& c : cases) {
        const int at = int(fields.indexOf(QString::fromLatin1(c.field)));
        for (auto* rows : {&workbookRows, &recordRows}) {
            QStringList& cells = (*rows)[c.id];
            if (cells.isEmpty()) {
                cells = QStringList(fields.size());
                cells[0] = c.id;
            }
        }
        workbookRows[c.id][at] = c.workbook;
        recordRows[c.id][at] = c.exported;
    }
    QSet<QString> recordedIds;
    for (const Case& c : cases)
        if (c.inRecord)
            recordedIds.insert(c.id);

    // The record of texts, as workbooks exported before the digests carry it.
    workbook::SheetRows textRecord;
    textRecord.rows = {fields};
    for (const auto& [id, cells] : recordRows)
        if (recordedIds.contains(id))
            textRecord.rows << cells;
    // The record of digests, as an export writes it now.
    store::ExportDigestRecordBuilder builder(
        {store::kDescriptionColumn, store::logColumn(1), store::logColumn(2), store::logColumn(3)});
    for (const auto& [id, cells] : recordRows) {
        if (!recordedIds.contains(id))
            continue;
        std::vector<QStringView> texts(cells.begin() + 1, cells.end());
        builder.addActivity(id, texts.data());
    }
    workbook::SheetRows digestRecord;
    digestRecord.rows = {builder.captionRow()};
    for (const QString& cell : builder.takeLineCells())
        digestRecord.rows << QStringList{cell};

    workbook::WorkbookForUpdate book;
    book.sheet.rows = {fields};
    for (const auto& [id, cells] : workbookRows)
        book.sheet.rows << cells;
    const auto fillTable = [&] {
        orvane::testing::execRaw("DELETE FROM P3Data");
        for (const auto& [id, cells] : workbookRows)
            insertRow({{"ActivityID", id}});
        for (const Case& c : cases)
            orvane::testing::execRaw(QStringLiteral("UPDATE P3Data SET [%1] = %2 WHERE ActivityID = '%3'")
                                         .arg(c.field, c.table.isEmpty() ? "NULL" : "'" + c.table + "'", c.id));
    };

    for (const bool digests : {false, true}) {
        SCOPED_TRACE(digests ? "record of digests" : "record of texts");
        book.exportRecord = digests ? digestRecord : textRecord;
        fillTable();
        const workbook::UpdatePlan plan = workbook::planUpdate(book, db);
        EXPECT_TRUE(plan.notice().isEmpty());
        workbook::applyUpdate(db, plan);
        int kept = 0;
        QStringList conflicts;
        for (const Case& c : cases) {
            const Outcome outcome = digests ? c.withDigests.value_or(c.outcome) : c.outcome;
            EXPECT_EQ(readValue(c.id, c.field).toString(), outcome == Written ? c.workbook : c.table) << c.name;
            kept += outcome == KeptTable;
            if (outcome == Conflict)
                conflicts << QStringList{c.id, c.field, digests ? QString() : c.exported, c.table, c.workbook}.join('|');
        }
        QStringList listed;
        for (const workbook::CellConflict& c : plan.conflicts)
            listed << QStringList{c.activityId, store::fieldName(c.column), c.exported.value_or(QString()), c.table,
                                  c.workbook}
                          .join('|');
        EXPECT_EQ(listed.join(u'\n').toStdString(), conflicts.join(u'\n').toStdString());
        EXPECT_EQ(plan.keptTableEdits, kept);
        const QStringList lines = plan.previewLines();
        const QString exported = digests ? QString() : QStringLiteral(", exported \"old\"");
        EXPECT_TRUE(lines.contains("Conflict: C1 Log#1: table \"mine\", workbook \"theirs\"" + exported))
            << lines.join('\n').toStdString();
        EXPECT_TRUE(lines.contains("Conflict: C2 Log#1: table \"\", workbook \"theirs\"" + exported));
        EXPECT_TRUE(lines.contains(QStringLiteral("Cells edited both in the table and in the workbook, left as the "
                                                  "table has them: %1").arg(conflicts.size())));
        EXPECT_TRUE(lines.contains(QStringLiteral("Cells edited in the table since the export, kept as the table "
                                                  "has them: %1").arg(kept)));
    }

    // The same workbook without its record: every difference from the table
    // is taken from the workbook, after the notice.
    fillTable();
    book.exportRecord.reset();
    const workbook::UpdatePlan oldWay = workbook::planUpdate(book, db);
    EXPECT_FALSE(oldWay.notice().isEmpty());
    EXPECT_TRUE(oldWay.conflicts.empty());
    workbook::applyUpdate(db, oldWay);
    for (const Case& c : cases)
        EXPECT_EQ(readValue(c.id, c.field).toString(), c.outcome == Same ? c.table : c.workbook)
            << c.name << " (without the record)";
}

} // namespace
