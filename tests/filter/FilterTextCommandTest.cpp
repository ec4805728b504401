// orvane-batch filter-text, run as a process.

#include "filter/ActivityFilterColumns.h"
#include "filter/FilterStream.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include "support/QtPrinters.h"

#include "support/RunProgram.h"

#include <gtest/gtest.h>

using namespace orvane::filter;

namespace {

using Result = orvane::testing::ProgramResult;

Result runBatch(const QStringList& args)
{
    return orvane::testing::runProgram(QStringLiteral(ORVANE_BATCH_PATH), args);
}

TEST(FilterTextCommand, PrintsTheFilterTextAndTheDisplayText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.flt"));
    ActivityFilterColumns columns;
    TcxDBDataFilterCriteria criteria(&columns);
    auto* g = criteria.AddGroup(nullptr, fboOr);
    criteria.AddCondition(g, 48, foLike, "%rev%", QStringLiteral("%rev%"));
    criteria.AddCondition(g, 1, foEqual, "", QVariant());
    criteria.AddCondition(nullptr, 0, foEqual, "it's", QStringLiteral("it's"));
    saveCriteriaFile(criteria, path);

    const Result r = runBatch({QStringLiteral("filter-text"), path});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, QStringLiteral("(([Log#1] LIKE '%rev%') OR (Description = NULL)) AND (ActivityID = 'it''s')\n"
                                    "((Log#1 LIKE %rev%) or (Description = blank)) and (ActivityID = it's)\n"));
}

TEST(FilterTextCommand, AFileThatIsNotAFilterFailsWithTheMessage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bad.flt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("ffffffff0001000000000000000000300000000e"));
    file.close();

    const Result r = runBatch({QStringLiteral("filter-text"), path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(r.err, QStringLiteral("Stream read error.\n"));   // as the error box shows it

    EXPECT_EQ(runBatch({QStringLiteral("filter-text"), dir.filePath(QStringLiteral("none.flt"))}).exitCode, 1);
    EXPECT_EQ(runBatch({QStringLiteral("filter-text")}).exitCode, 2);
}

} // namespace
