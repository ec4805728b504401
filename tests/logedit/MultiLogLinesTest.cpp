// The multi-line editor's data side: the slice a range shows, how typed
// lines map back onto a range, and the round trip through a real table.

#include "common/Errors.h"
#include "logedit/MultiLogLines.h"
#include "store/ActivityStore.h"
#include "support/QtPrinters.h"
#include "support/TempDatabase.h"

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

TEST(MultiLogRange, BoxTextInTheBoxLocale)
{
    // The range boxes show the locale's digits; they read as the same numbers.
    for (const char* name : {"ar_EG", "fa_IR", "bn_BD", "C"}) {
        const QLocale locale(QString::fromLatin1(name));
        EXPECT_EQ(logedit::rangeBoxValue(locale.toString(27), locale), 27) << name;
        EXPECT_EQ(logedit::rangeBoxValue("27", locale), 27) << name;
    }
}

TEST(MultiLogLine, StoredBreaksShowAsOneLineAndComeBackExactly)
{
    const QChar mark = logedit::kStoredBreakMark;
    struct Case {
        QString stored;
        QString shown;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"two\ntwo-b", QString("two") + mark + "two-b"},
        {"a\r\nb\rc", QString("a") + mark + "b" + mark + "c"},
        {QString("x") + QChar::LineSeparator + "y" + QChar::ParagraphSeparator, QString("x") + mark + "y" + mark},
        {"fi\u00a0ve\ttab \U0001F600", "fi\u00a0ve\ttab \U0001F600"},
        {QString("literal ") + mark, QString("literal ") + mark},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.toStdString());
        const QString shown = logedit::shownLogLine(c.stored);
        EXPECT_EQ(shown, c.shown);
        EXPECT_EQ(logedit::typedLines(shown).size(), 1);
        EXPECT_EQ(logedit::logOfLine(shown, c.stored), c.stored);
    }
    // An edited line keeps the log's own breaks (and literal marks) in order.
    const QString stored = QString("a\r\nb") + mark + "c\nd";
    EXPECT_EQ(logedit::logOfLine(QString("A") + mark + "B" + mark + "C" + mark + "D", stored),
              QString("A\r\nB") + mark + "C\nD");
    // With another number of marks each one is a line feed.
    EXPECT_EQ(logedit::logOfLine(QString("A") + mark + "D", stored), QString("A\nD"));
}

TEST(MultiLogRange, LinesAsShownAreNotWritten)
{
    QStringList loaded = logValues();
    loaded[1] = "two\ntwo-b";
    loaded[5] = "six";
    const QStringList shown = logedit::rangeLines(loaded, 1, 6);
    EXPECT_EQ(shown.size(), 6);   // one line per log, the break shown as a mark
    EXPECT_TRUE(logedit::linesToApply(shown, 1, 6, loaded).isEmpty());

    QStringList edited = shown;
    edited[5] = "SIX";
    edited[1] = QString("TWO") + logedit::kStoredBreakMark + "two-b";
    const auto lines = logedit::linesToApply(edited, 1, 6, loaded);
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0].number, 2);
    EXPECT_EQ(lines[0].text, QString("TWO\ntwo-b"));
    EXPECT_EQ(lines[1].number, 6);
    EXPECT_EQ(lines[1].text, QString("SIX"));
    // A typed line break splits: every later log moves down a line and is written.
    QStringList split = shown;
    split.insert(3, "inserted");
    const auto moved = logedit::linesToApply(split, 1, 6, loaded);
    ASSERT_EQ(moved.size(), 3);
    EXPECT_EQ(moved[0].number, 4);
    EXPECT_EQ(moved[1].text, QString());   // log 5 gets the empty line 4 showed
    EXPECT_EQ(moved[2].text, QString("five"));
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
