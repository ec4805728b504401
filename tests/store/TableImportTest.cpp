// Another program's import against what this program read before it: an
// undo step, an edit and a column re-read never land in the rows of the
// import that replaced them. Also the parts of a transaction, the declared
// column types of the layout check, and readers that wait for a busy file.

#include "common/Errors.h"
#include "logedit/BulkCommands.h"
#include "store/ActivityStore.h"
#include "store/TableImport.h"
#include "support/ErrorOf.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <thread>

using namespace orvane;
using namespace orvane::store;
using orvane::testing::dumpTable;
using orvane::testing::errorOf;
using orvane::testing::insertRow;
using orvane::testing::readValue;
using orvane::testing::TempWorkDir;

namespace {

void failOnReport(const QString& message)
{
    ADD_FAILURE() << message.toStdString();
}

// An import as another program makes it: its own connection, the table
// emptied and refilled with `ids` in one transaction that counts it.
void importElsewhere(const QString& group, const QStringList& ids)
{
    ActivityStore other;
    other.openAtStartup(failOnReport);
    Transaction transaction(other.ADOCon);
    countImport(other.ADOCon, group, QString());
    other.ADOCon.execute(QStringLiteral("DELETE * FROM P3Data"));
    for (const QString& id : ids)
        other.ADOCon.execute(QStringLiteral("INSERT INTO P3Data (ActivityID, Description, Flag) VALUES (:id, :d, 0)"),
                             {{"id", id}, {"d", group + QStringLiteral(" row ") + id}});
    transaction.commit();
}

class ImportStampTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The window's own import of TWNT: rowids 1 to 3.
        importElsewhere(QStringLiteral("TWNT"), {"T1", "T2", "T3"});
        store.openAtStartup(failOnReport);
        store.undo.setEnabled(true);
    }

    QStringList shownIds()
    {
        store.taActivities.fetchAll();
        QStringList ids;
        for (int row = 0; row < store.taActivities.rowCount(); ++row)
            ids << store.taActivities.value(row, kActivityIdColumn).toString();
        return ids;
    }

    TempWorkDir dir;
    ActivityStore store;
};

TEST_F(ImportStampTest, EveryImportCountsItselfWithItsProject)
{
    EXPECT_EQ(lastImport(store.ADOCon).stamp, 1);
    EXPECT_EQ(store.taActivities.rowsImportStamp(), 1);
    importElsewhere(QStringLiteral("CLIN"), {"C1"});
    const TableImport last = lastImport(store.ADOCon);
    EXPECT_EQ(last.stamp, 2);
    EXPECT_EQ(last.projectGroup, "CLIN");
    // A file no import has counted reads as older than any import.
    TempWorkDir fresh;
    Database untouched;
    untouched.open();
    EXPECT_EQ(importStamp(untouched), 0);
}

// The undo step of a bulk command taken after another program imported
// CLIN (same rowids) is refused, writes nothing and ends the history; a step
// of the rows the file holds still goes back.
TEST_F(ImportStampTest, UndoOfAStepBeforeAnotherProgramsImportIsRefused)
{
    logedit::runBulkStatement(store, logedit::descriptionToLogStatement(3));
    logedit::runBulkStatement(store, logedit::descriptionToLogStatement(4));
    ASSERT_EQ(store.undo.stepCount(), 2u);
    importElsewhere(QStringLiteral("CLIN"), {"C1", "C2", "C3"});
    const QStringList clin = dumpTable();

    EXPECT_EQ(errorOf([&] { store.undo.undo(); }).toStdString(),
              "The table was replaced by an import since this step; it cannot be undone.");
    EXPECT_EQ(dumpTable(), clin);
    EXPECT_FALSE(store.undo.canUndo());

    store.taActivities.requery();
    logedit::runBulkStatement(store, logedit::descriptionToLogStatement(5));
    store.undo.undo();
    EXPECT_EQ(dumpTable(), clin);
}

// An edit made on TWNT's rows and posted after CLIN was imported elsewhere
// would go by rowid into a CLIN row: it is refused, the file keeps CLIN's
// rows, and the table shows them.
TEST_F(ImportStampTest, EditPostedOverAnotherProgramsImportIsRefused)
{
    store.taActivities.setCurrentRow(0);
    store.taActivities.edit();
    store.taActivities.setFieldValue(logColumn(1), QStringLiteral("typed on T1"));
    importElsewhere(QStringLiteral("CLIN"), {"C1", "C2", "C3"});
    const QStringList clin = dumpTable();

    const QString refusal = errorOf([&] { store.taActivities.post(); });
    EXPECT_TRUE(refusal.contains("the edit was not saved")) << refusal.toStdString();
    EXPECT_EQ(dumpTable(), clin);
    EXPECT_EQ(shownIds(), (QStringList{"C1", "C2", "C3"}));
    EXPECT_EQ(store.taActivities.state(), ActivityTable::State::Browse);

    // On rows of the import the file holds, edits are written as before.
    store.taActivities.edit();
    store.taActivities.setFieldValue(logColumn(1), QStringLiteral("typed on C1"));
    store.taActivities.post();
    EXPECT_EQ(readValue("C1", "Log#1").toString(), "typed on C1");
}

// A re-read of the columns a statement set, after another program replaced
// the rows under the same rowids, reads every column again: the IDs shown
// are CLIN's, not TWNT's with CLIN's logs.
TEST_F(ImportStampTest, ColumnReReadAfterAnotherProgramsImportReadsWholeRows)
{
    EXPECT_EQ(shownIds(), (QStringList{"T1", "T2", "T3"}));
    importElsewhere(QStringLiteral("CLIN"), {"C1", "C2", "C3"});
    store.ADOCon.execute(logedit::descriptionToLogStatement(2));
    store.taActivities.requeryColumns({logColumn(2)});
    EXPECT_EQ(shownIds(), (QStringList{"C1", "C2", "C3"}));
    EXPECT_EQ(store.taActivities.value(0, kDescriptionColumn).toString(), "CLIN row C1");
    EXPECT_EQ(store.taActivities.rowsImportStamp(), 2);
}

// A transaction begun inside another is a part of it: its rollback takes
// back only its own changes, its commit leaves the rest to the outer one.
TEST(TransactionParts, InnerPartsFollowTheOuterTransaction)
{
    TempWorkDir dir;
    insertRow({{"ActivityID", "A1"}, {"Log#1", "old"}, {"Log#2", "old"}, {"Flag", false}});
    Database db;
    db.open();
    {
        Transaction outer(db);
        db.execute("UPDATE P3Data SET [Log#1] = 'outer'");
        {
            Transaction dropped(db);
            db.execute("UPDATE P3Data SET [Log#2] = 'dropped part'");
        }
        {
            Transaction kept(db);
            db.execute("UPDATE P3Data SET [Log#3] = 'kept part'");
            kept.commit();
        }
        EXPECT_EQ(readValue("A1", "Log#1").toString(), "old");   // nothing visible before the outer commit
        outer.commit();
    }
    EXPECT_EQ(readValue("A1", "Log#1").toString(), "outer");
    EXPECT_EQ(readValue("A1", "Log#2").toString(), "old");
    EXPECT_EQ(readValue("A1", "Log#3").toString(), "kept part");
    {
        Transaction outer(db);
        Transaction inner(db);
        db.execute("UPDATE P3Data SET [Log#1] = 'never'");
        inner.commit();
    }   // the outer one rolls its committed part back too
    EXPECT_EQ(readValue("A1", "Log#1").toString(), "outer");
}

// P3Data made with one column declared `declared`.
void makeTableDeclaring(const QString& column, const QString& declared)
{
    QStringList columns;
    for (int i = 0; i < kColumnCount; ++i)
        columns << QStringLiteral("[%1] %2").arg(fieldName(i), fieldName(i) == column ? declared : sqlTypeOf(i));
    orvane::testing::execRaw(QStringLiteral("DROP TABLE P3Data; CREATE TABLE P3Data (%1)").arg(columns.join(", ")));
}

struct TypeCase {
    const char* column;
    const char* declared;
    const char* refusal;   // null: accepted, the affinity being the same
};

class DeclaredType : public ::testing::TestWithParam<TypeCase> {};

TEST_P(DeclaredType, IsRefusedWhenItsAffinityDiffers)
{
    TempWorkDir dir;
    makeTableDeclaring(GetParam().column, GetParam().declared);
    insertRow({{"ActivityID", "A1"}, {"Log#3", "007"}, {"Flag", false}});
    const QStringList before = dumpTable();
    ActivityStore store;
    QStringList reported;
    store.openAtStartup([&](const QString& m) { reported << m; });
    if (!GetParam().refusal) {
        EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
        EXPECT_TRUE(store.taActivities.isActive());
        return;
    }
    ASSERT_EQ(reported.size(), 1);
    EXPECT_TRUE(reported[0].contains("does not have the expected layout")) << reported[0].toStdString();
    EXPECT_TRUE(reported[0].contains(GetParam().refusal)) << reported[0].toStdString();
    EXPECT_FALSE(store.taActivities.isActive());
    EXPECT_THROW(store.ADOCon.execute("UPDATE [P3Data] SET [Log#3] = [Log#3]"), DatabaseError);
    EXPECT_EQ(dumpTable(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeclaredType,
    ::testing::Values(
        TypeCase{"Log#3", "INTEGER", "column 50 'Log#3' is declared 'INTEGER' (INTEGER affinity) where TEXT affinity"},
        TypeCase{"Log#3", "", "column 50 'Log#3' is declared '' (BLOB affinity) where TEXT affinity"},
        TypeCase{"Log#3", "NUMBER", "(NUMERIC affinity) where TEXT"},
        TypeCase{"ActivityID", "INT", "column 0 'ActivityID' is declared 'INT' (INTEGER affinity)"},
        TypeCase{"Description", "BLOB", "where TEXT affinity"},
        TypeCase{"TotalFloat", "TEXT", "column 4 'TotalFloat' is declared 'TEXT' (TEXT affinity) where REAL"},
        TypeCase{"TotalFloat", "DECIMAL", "(NUMERIC affinity) where REAL"},
        TypeCase{"EarlyStart", "TEXT", "where NUMERIC affinity"},
        TypeCase{"Flag", "INTEGER", "column 147 'Flag' is declared 'INTEGER' (INTEGER affinity) where NUMERIC"},
        TypeCase{"ActivityCode1", "FLOATING POINT", "(INTEGER affinity) where TEXT"},   // "INT" comes first
        TypeCase{"Log#3", "varchar(255)", nullptr},
        TypeCase{"Log#3", "CLOB", nullptr},
        TypeCase{"TotalFloat", "DOUBLE PRECISION", nullptr},
        TypeCase{"EarlyStart", "DATE", nullptr},
        TypeCase{"Flag", "BOOL", nullptr}),
    [](const auto& info) {
        std::string name = std::string(info.param.column) + "_" + info.param.declared;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name + std::to_string(info.index);
    });

// Another program holding the file's lock (here: exclusive locking, as a
// connection has while it removes the journal at its close) for a moment:
// a reader that starts meanwhile waits for it as writers do, and past the
// writers' wait it gets their message.
TEST(BusyFile, ReadersWaitAsWritersDoAndThenSaySo)
{
    TempWorkDir dir;
    insertRow({{"ActivityID", "A1"}, {"Flag", false}});
    for (const int holdMs : {700, 6000}) {
        sqlite3* holder = nullptr;
        ASSERT_EQ(sqlite3_open("pdb.mdb", &holder), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(holder, "PRAGMA locking_mode=EXCLUSIVE; BEGIN IMMEDIATE; "
                                       "UPDATE P3Data SET [Log#1] = 'held'; COMMIT;",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        std::thread release([holder, holdMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
            sqlite3_close(holder);
        });
        ActivityStore reader;
        QStringList reported;
        reader.openAtStartup([&](const QString& m) { reported << m; });
        release.join();
        if (holdMs < 5000) {
            EXPECT_TRUE(reported.isEmpty()) << reported.join('\n').toStdString();
            EXPECT_EQ(reader.taActivities.value(0, logColumn(1)).toString(), "held");
        } else {
            ASSERT_FALSE(reported.isEmpty());
            EXPECT_EQ(reported[0], "Another program is changing the database at this moment, so nothing was "
                                   "changed. Try again when it has finished.");
        }
    }
}

} // namespace
