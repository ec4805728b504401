// The multi-line editor's data side: the slice a range shows, how typed
// lines map back onto a range, and the round trip through a real table.

#include "common/Errors.h"
#include "logedit/MultiLogLines.h"
#include "store/ActivityStore.h"
#include "support/TempDatabase.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

using namespace orvane;
using orvane::testing::insertRow;
using orvane::testing::readValue;

namespace {

QStringList logValues()
{
    QStringList values;
    for (int n = 1; n <= 99; ++n)
        values << QString();
    values[2] = "three";
    values[4] = "five";
    values[98] = "ninety-nine";
    return values;
}

TEST(MultiLogRange, SliceOfTheLogValues)
{
    struct Case {
        int first, last;
        QStringList lines;
        bool stoppedEarly;
    };
    const Case cases[] = {
        {3, 7, {"three", "", "five", "", ""}, false},   // gaps show as empty lines
        {5, 5, {"five"}, false},
        {7, 3, {}, false},                              // first above last
        {0, 5, {}, true},                               // below 1: nothing at all
        {97, 120, {"", "", "ninety-nine"}, true},       // stops after 99
        {100, 120, {}, true},
    };
    for (const Case& c : cases) {
        bool stopped = !c.stoppedEarly;
        EXPECT_EQ(logedit::rangeLines(logValues(), c.first, c.last, &stopped), c.lines)
            << c.first << ".." << c.last;
        EXPECT_EQ(stopped, c.stoppedEarly) << c.first << ".." << c.last;
    }
}

TEST(MultiLogRange, BoxTextThatIsNotAWholeNumberReadsAsOne)
{
    EXPECT_EQ(logedit::rangeBoxValue("42"), 42);
    EXPECT_EQ(logedit::rangeBoxValue("0"), 0);
    EXPECT_EQ(logedit::rangeBoxValue(""), 1);
    EXPECT_EQ(logedit::rangeBoxValue("-"), 1);
    EXPECT_EQ(logedit::rangeBoxValue("2,5"), 1);
}

QStringList applied(const QStringList& typed, int first, int last)
{
    QStringList out;
    for (const auto& line : logedit::linesToApply(typed, first, last))
        out << QString::number(line.number) + "=" + line.text;
    return out;
}

TEST(MultiLogRange, TypedLinesMapOntoTheRange)
{
    // Fewer lines than the range: the rest of the range is emptied.
    EXPECT_EQ(applied({"a", "b"}, 1, 5), QStringList({"1=a", "2=b", "3=", "4=", "5="}));
    // More lines than the range: the surplus is ignored.
    EXPECT_EQ(applied({"a", "b", "c", "d", "e"}, 1, 3), QStringList({"1=a", "2=b", "3=c"}));
    // First above last: nothing is set.
    EXPECT_TRUE(applied({"a"}, 6, 2).isEmpty());
    // Out-of-range boxes are clamped to 1..99.
    EXPECT_EQ(applied({"a", "b"}, 98, 250), QStringList({"98=a", "99=b"}));
    EXPECT_EQ(applied({"a"}, -3, 1), QStringList({"1=a"}));
}

TEST(MultiLogRange, OnlyHardLineBreaksSeparateLines)
{
    const QString longLine = QString(6000, QLatin1Char('x')) + " end";
    const QStringList lines = logedit::typedLines("first\n" + longLine + "\n\nlast");
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines.at(1), longLine);
    EXPECT_EQ(lines.at(2), QString());
    EXPECT_EQ(logedit::typedLines(QString("a") + QChar(QChar::ParagraphSeparator) + "b"), QStringList({"a", "b"}));
}

class MultiLogTableTest : public ::testing::Test {
protected:
    orvane::testing::TempWorkDir dir;
    std::unique_ptr<store::ActivityStore> st;
    void SetUp() override
    {
        insertRow({{"ActivityID", "A"}, {"Log#3", "three"}, {"Log#5", "five"}, {"Log#9", "nine"}});
        st = std::make_unique<store::ActivityStore>();
        st->ADOCon.open();
        st->taActivities.open();
    }
};

TEST_F(MultiLogTableTest, RoundTripOfARangeWithALongLine)
{
    const QStringList values = logedit::readLogValues(st->taActivities);
    ASSERT_EQ(values.size(), 99);
    EXPECT_EQ(values.at(2), QString("three"));
    EXPECT_EQ(values.at(3), QString());

    const QString longLine = QString(5000, QLatin1Char('w'));
    logedit::writeLogLines(st->taActivities, {"new three", longLine}, 3, 6);
    EXPECT_EQ(readValue("A", "Log#3"), QVariant("new three"));
    EXPECT_EQ(readValue("A", "Log#4"), QVariant(longLine));
    EXPECT_EQ(readValue("A", "Log#5"), QVariant(QString()));   // emptied
    EXPECT_EQ(readValue("A", "Log#6"), QVariant(QString()));
    EXPECT_EQ(readValue("A", "Log#9"), QVariant("nine"));      // outside the range
    EXPECT_EQ(logedit::readLogValues(st->taActivities).at(3), longLine);
}

TEST_F(MultiLogTableTest, NoRowGivesEmptyLinesAndAFailedPostLeavesNoEditOpen)
{
    orvane::testing::execRaw("DELETE FROM P3Data");
    st->taActivities.requery();
    const QStringList values = logedit::readLogValues(st->taActivities);
    EXPECT_EQ(values.size(), 99);
    EXPECT_EQ(values.join(QString()), QString());
    EXPECT_THROW(logedit::writeLogLines(st->taActivities, {"x"}, 1, 1), DatabaseError);

    // A post the database refuses: the edit is dropped, not left open.
    insertRow({{"ActivityID", "B"}});
    st->taActivities.requery();
    orvane::testing::execRaw("CREATE TRIGGER refuse BEFORE UPDATE ON P3Data BEGIN "
                             "SELECT RAISE(ABORT, 'refused by the test'); END");
    EXPECT_THROW(logedit::writeLogLines(st->taActivities, {"x"}, 1, 1), std::exception);
    EXPECT_EQ(st->taActivities.state(), store::ActivityTable::State::Browse);
}

} // namespace
