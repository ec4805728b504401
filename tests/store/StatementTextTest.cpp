// The statement texts Orvane uses are accepted exactly as written.

#include "common/Errors.h"
#include "store/ActivityStore.h"
#include "store/Dialect.h"
#include "support/TempDatabase.h"

#include <gtest/gtest.h>

using namespace orvane::store;
using orvane::testing::insertRow;
using orvane::testing::readValue;

namespace {

TEST(StatementText, StatementsRunAsWritten)
{
    orvane::testing::TempWorkDir dir;
    insertRow({{"ActivityID", "A1"}, {"Description", "Pour"}, {"Log#1", "one"}, {"Flag", false}});
    insertRow({{"ActivityID", "A2"}, {"Description", "Cure"}, {"Log#1", "uno"}, {"Flag", false}});
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });

    store.qLog2Log.setSql("UPDATE [P3Data] SET [Log#2] = [Log#1]");
    EXPECT_EQ(store.qLog2Log.execSQL(), 2);
    EXPECT_EQ(readValue("A2", "Log#2").toString(), "uno");

    store.qLog2Log.setSql("UPDATE [P3Data] SET [Log#3] = [Description] WHERE ([ActivityID] = 'A1')");
    EXPECT_EQ(store.qLog2Log.execSQL(), 1);
    EXPECT_EQ(readValue("A1", "Log#3").toString(), "Pour");
    EXPECT_TRUE(readValue("A2", "Log#3").isNull());

    store.qDelete.execSQL();   // "DELETE * FROM P3Data"
    store.taActivities.requery();
    EXPECT_EQ(store.taActivities.rowCount(), 0);
}

TEST(StatementText, EngineErrorsCarryTheEnginesMessage)
{
    orvane::testing::TempWorkDir dir;
    ActivityStore store;
    store.openAtStartup([](const QString& m) { FAIL() << m.toStdString(); });
    store.qLog2Log.setSql("UPDATE [P3Data] SET [Log#100] = [Log#1]");
    try {
        store.qLog2Log.execSQL();
        FAIL();
    } catch (const orvane::DatabaseError& e) {
        EXPECT_TRUE(e.message().contains("Log#100")) << e.message().toStdString();
    }
}

TEST(StatementText, WhereIsFoundOutsideQuotesAndBrackets)
{
    const QString quoted = "UPDATE [P3Data] SET [Log#1] = ' WHERE ' WHERE ([Flag] = True)";
    EXPECT_EQ(findTopLevelWhere(quoted), quoted.lastIndexOf(" WHERE "));
    EXPECT_EQ(findTopLevelWhere("UPDATE [x WHERE y] SET a = 1"), -1);
    EXPECT_EQ(findTopLevelWhere("UPDATE P3Data SET a = 'it''s WHERE'"), -1);
}

} // namespace
