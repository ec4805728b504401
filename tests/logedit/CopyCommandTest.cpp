// orvane-batch copy, run as a process on a pdb.mdb in a temporary folder.

#include "filter/ActivityFilterColumns.h"
#include "filter/FilterStream.h"
#include "support/QtPrinters.h"
#include "support/TempDatabase.h"

#include <QProcess>

#include "support/RunProgram.h"

#include <gtest/gtest.h>

using namespace orvane::filter;
using orvane::testing::insertRow;
using orvane::testing::readValue;

namespace {

using Result = orvane::testing::ProgramResult;

Result runBatch(const QStringList& args)
{
    return orvane::testing::runProgram(QStringLiteral(ORVANE_BATCH_PATH), args);
}

class CopyCommandTest : public ::testing::Test {
protected:
    orvane::testing::TempWorkDir dir;
    void SetUp() override
    {
        insertRow({{"ActivityID", "A"}, {"Description", "pour"}, {"Log#1", "one A"}, {"OriginalDuration", 5.0},
                   {"ActivityCode3", "zone 3"}, {"Flag", true}});
        insertRow({{"ActivityID", "B"}, {"Description", "form"}, {"Log#1", "one B"}, {"Flag", false}});
    }
};

TEST_F(CopyCommandTest, EachKindRunsItsStatementOnEveryRow)
{
    struct Case {
        QStringList args;
        QString statement;
        QString id, field;
        QVariant value;
    };
    const Case cases[] = {
        {{"log2log", "1", "2"}, "UPDATE [P3Data] SET [Log#2] = [Log#1]", "B", "Log#2", "one B"},
        {{"desc2log", "3"}, "UPDATE [P3Data] SET [Log#3] = [Description]", "A", "Log#3", "pour"},
        {{"data2log", "ActivityCode3", "4"}, "UPDATE [P3Data] SET [Log#4] = [ActivityCode3]", "A", "Log#4", "zone 3"},
        {{"data2log", "OriginalDuration", "5"}, "UPDATE [P3Data] SET [Log#5] = [OriginalDuration]", "A", "Log#5", "5"},
        {{"log2desc", "2"}, "UPDATE [P3Data] SET [Description] = [Log#2]", "A", "Description", "one A"},
    };
    for (const Case& c : cases) {
        const Result r = runBatch(QStringList{"copy"} + c.args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, c.statement + "\n2 rows changed\n");
        EXPECT_EQ(readValue(c.id, c.field), c.value) << c.statement.toStdString();
    }
}

TEST_F(CopyCommandTest, FilterFileRestrictsTheRows)
{
    const QString path = dir.file("flagged.flt");
    ActivityFilterColumns columns;
    TcxDBDataFilterCriteria criteria(&columns);
    criteria.AddCondition(nullptr, orvane::store::kFlagColumn, foEqual, "True", true);
    saveCriteriaFile(criteria, path);

    const Result r = runBatch({"copy", "log2log", "1", "9", "--filter-file", path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.startsWith("UPDATE [P3Data] SET [Log#9] = [Log#1] WHERE ")) << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith("\n1 rows changed\n")) << r.out.toStdString();
    EXPECT_EQ(readValue("A", "Log#9"), QVariant("one A"));
    EXPECT_TRUE(readValue("B", "Log#9").isNull());
}

TEST_F(CopyCommandTest, RefusedStatementPrintsTheEngineMessage)
{
    const Result r = runBatch({"copy", "log2log", "100", "2"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Log#100")) << r.err.toStdString();
    EXPECT_TRUE(readValue("A", "Log#2").isNull());
}

TEST_F(CopyCommandTest, ArgumentsThatAreNotNumbersOrFieldsAreUsageErrors)
{
    for (const QStringList& args : {QStringList{"copy", "log2log", "1]=[Log#2", "3"},
                                    QStringList{"copy", "data2log", "NoSuchField", "3"},
                                    QStringList{"copy", "desc2log"}, QStringList{"copy", "move", "1", "2"}}) {
        const Result r = runBatch(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString();
    }
    EXPECT_EQ(readValue("A", "Log#3"), QVariant());
}

} // namespace
