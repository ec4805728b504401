// The bulk log copy statements against a real pdb.mdb: their texts, the row
// filter, the re-read on every way out, and the text a copied date or
// number takes.

#include "common/Errors.h"
#include "grid/GridViewModel.h"
#include "logedit/BulkCommands.h"
#include "store/ActivityStore.h"
#include "store/CopiedValueText.h"
#include "store/DataFieldList.h"
#include "support/QtPrinters.h"
#include "support/TempDatabase.h"

#include <QDateTime>
#include <QLocale>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace orvane;
using orvane::testing::insertRow;
using orvane::testing::readValue;

namespace {

TEST(BulkStatements, TextsAreBuiltByPlainConcatenation)
{
    struct Case {
        QString built;
        QString expected;
    };
    const Case cases[] = {
        {logedit::log2LogStatement("3", "7"), "UPDATE [P3Data] SET [Log#7] = [Log#3]"},
        {logedit::log2LogStatement("12", "12"), "UPDATE [P3Data] SET [Log#12] = [Log#12]"},
        {logedit::descriptionToLogStatement("99"), "UPDATE [P3Data] SET [Log#99] = [Description]"},
        {logedit::logToDescriptionStatement("1"), "UPDATE [P3Data] SET [Description] = [Log#1]"},
        {logedit::dataToLogStatement("EarlyStart", "4"), "UPDATE [P3Data] SET [Log#4] = [EarlyStart]"},
        {logedit::dataToLogStatement("ActivityCode1", "10"), "UPDATE [P3Data] SET [Log#10] = [ActivityCode1]"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.built, c.expected);
}

TEST(BulkStatements, OnlyTextsThatNameALogNumberAreAccepted)
{
    const QLocale c = QLocale::c();
    struct Case {
        QString text;
        int number;   // 0: refused
    };
    const Case cases[] = {
        {"1", 1}, {"99", 99}, {" 7 ", 7}, {"0", 0}, {"100", 0}, {"-1", 0}, {"", 0}, {"abc", 0},
        {"7a", 0}, {"2,5", 0}, {"1]=[Log#2", 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.text.toStdString());
        if (k.number > 0) {
            EXPECT_EQ(logedit::logNumberFromText(k.text, c), k.number);
            continue;
        }
        try {
            logedit::logNumberFromText(k.text, c);
            ADD_FAILURE() << "accepted";
        } catch (const OrvaneError& e) {
            EXPECT_TRUE(e.message().contains("\"Log#" + k.text.left(40) + "\"")) << e.message().toStdString();
        }
    }
}

TEST(BulkStatements, NumbersShownInAnyLocaleGiveAsciiStatements)
{
    // Locales whose digits are not ASCII, and ones that are.
    for (const char* name : {"ar_EG", "fa_IR", "bn_BD", "hi_IN", "de_DE", "en_US", "C"}) {
        const QLocale locale(QString::fromLatin1(name));
        SCOPED_TRACE(name);
        const QString shownX = locale.toString(7), shownY = locale.toString(42);
        const int x = logedit::logNumberFromText(shownX, locale);
        const int y = logedit::logNumberFromText(shownY, locale);
        EXPECT_EQ(logedit::log2LogStatement(x, y), QString("UPDATE [P3Data] SET [Log#42] = [Log#7]"));
        EXPECT_EQ(logedit::dataToLogStatement("ActivityID", y), QString("UPDATE [P3Data] SET [Log#42] = [ActivityID]"));
        // ASCII digits are read in every locale.
        EXPECT_EQ(logedit::logNumberFromText("13", locale), 13);
    }
    // The digits really differ where the test claims they do.
    EXPECT_NE(QLocale("ar_EG").toString(7), QString("7"));
}

// Three rows in import order; B is the one a filter on Flag picks.
class BulkCommandsTest : public ::testing::Test {
protected:
    orvane::testing::TempWorkDir dir;
    std::unique_ptr<store::ActivityStore> st;

    void SetUp() override
    {
        insertRow({{"ActivityID", "A"}, {"Description", "desc A"}, {"Log#1", "one A"}, {"Log#2", "two A"},
                   {"EarlyStart", QDateTime(QDate(2024, 3, 5), QTime(0, 0))}, {"OriginalDuration", 5.0},
                   {"PercentComplete", 12.5}, {"CalendarID", "cal"}, {"ActivityCode1", "code A"},
                   {"Flag", false}});
        insertRow({{"ActivityID", "B"}, {"Description", "desc B"}, {"Log#1", "one B"},
                   {"EarlyStart", QDateTime(QDate(2024, 3, 6), QTime(8, 30))}, {"OriginalDuration", 3.0},
                   {"Flag", true}});
        insertRow({{"ActivityID", "C"}, {"Description", "desc C"}, {"Log#2", "two C"}, {"Flag", false}});
        st = std::make_unique<store::ActivityStore>();
        st->ADOCon.open();
        st->taActivities.open();
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::c());
    }
};

TEST_F(BulkCommandsTest, WithoutFilterEveryRowChangesAndTheSourceIsKept)
{
    const int changed = logedit::runBulkStatement(*st, logedit::log2LogStatement("1", "3"));
    EXPECT_EQ(changed, 3);
    EXPECT_EQ(st->qLog2Log.sqlText(), QString("UPDATE [P3Data] SET [Log#3] = [Log#1]"));
    EXPECT_EQ(readValue("A", "Log#3"), QVariant("one A"));
    EXPECT_EQ(readValue("B", "Log#3"), QVariant("one B"));
    EXPECT_TRUE(readValue("C", "Log#3").isNull());   // a null source empties the target
    EXPECT_EQ(readValue("A", "Log#1"), QVariant("one A"));
    // The re-read shows the new values.
    EXPECT_EQ(st->taActivities.value(0, store::logColumn(3)), QVariant("one A"));
}

TEST_F(BulkCommandsTest, WithTheFilterOnlyTheFilteredRowsChange)
{
    st->taActivities.setFilter("([Flag] = True)");
    st->taActivities.setFiltered(true);
    const int changed = logedit::runBulkStatement(*st, logedit::descriptionToLogStatement("2"));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(st->qLog2Log.sqlText(), QString("UPDATE [P3Data] SET [Log#2] = [Description] WHERE ([Flag] = True)"));
    EXPECT_EQ(readValue("B", "Log#2"), QVariant("desc B"));
    EXPECT_EQ(readValue("A", "Log#2"), QVariant("two A"));
    EXPECT_EQ(readValue("C", "Log#2"), QVariant("two C"));

    // A filter text with the switch off is not used.
    st->taActivities.setFiltered(false);
    EXPECT_EQ(logedit::withRowFilter("S", st->taActivities), QString("S"));
}

TEST_F(BulkCommandsTest, EmptyLogIntoDescriptionEmptiesTheDescription)
{
    logedit::runBulkStatement(*st, logedit::logToDescriptionStatement("2"));
    EXPECT_EQ(readValue("A", "Description"), QVariant("two A"));
    EXPECT_TRUE(readValue("B", "Description").isNull());
}

TEST_F(BulkCommandsTest, RefusedStatementStillRequeriesOntoTheFirstRow)
{
    st->taActivities.setCurrentRow(2);
    // An edit still open on the current row is posted by the re-read.
    st->taActivities.edit();
    st->taActivities.setFieldValue(store::logColumn(5), "typed");
    QSignalSpy scrolled(&st->taActivities, &store::ActivityTable::afterScroll);
    try {
        logedit::runBulkStatement(*st, logedit::log2LogStatement("0", "2"));
        FAIL() << "the statement should be refused";
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().contains("Log#0")) << e.message().toStdString();
    }
    EXPECT_EQ(st->taActivities.currentRow(), 0);
    EXPECT_GE(scrolled.count(), 1);
    EXPECT_EQ(st->taActivities.state(), store::ActivityTable::State::Browse);
    EXPECT_EQ(readValue("C", "Log#5"), QVariant("typed"));
    EXPECT_EQ(readValue("C", "Log#2"), QVariant("two C"));   // nothing else changed
}

TEST_F(BulkCommandsTest, FilterTextTheEngineCannotReadIsRefusedAndNothingChanges)
{
    // The table keeps a text the engine cannot read only while its filter is
    // off; the statement then fails the same way the filter would.
    st->taActivities.setFilter("([NoSuchColumn] = 1)");
    EXPECT_THROW(st->taActivities.setFiltered(true), DatabaseError);
    const QString statement = logedit::log2LogStatement("1", "4") + " WHERE ([NoSuchColumn] = 1)";
    EXPECT_THROW(logedit::runBulkStatement(*st, statement), DatabaseError);
    EXPECT_TRUE(readValue("A", "Log#4").isNull());
    EXPECT_EQ(st->taActivities.currentRow(), 0);
}

TEST_F(BulkCommandsTest, PendingEditIsPostedAfterTheStatement)
{
    st->taActivities.setCurrentRow(0);
    st->taActivities.edit();
    st->taActivities.setFieldValue(store::logColumn(2), "edited");
    logedit::runBulkStatement(*st, logedit::log2LogStatement("1", "2"));
    // The statement wrote "one A", then the re-read posted the open edit.
    EXPECT_EQ(readValue("A", "Log#2"), QVariant("edited"));
    EXPECT_EQ(readValue("B", "Log#2"), QVariant("one B"));
}

// A copied number arrives as the text the grid shows for it; a copied date
// as the grid's date with its time of day, always with a four-digit year.
TEST_F(BulkCommandsTest, CopiedDatesAndNumbersReadAsTheGridShowsThem)
{
    for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                  QLocale(QLocale::English, QLocale::UnitedStates)}) {
        QLocale::setDefault(locale);
        SCOPED_TRACE(locale.name().toStdString());
        logedit::runBulkStatement(*st, logedit::dataToLogStatement("EarlyStart", "10"));
        logedit::runBulkStatement(*st, logedit::dataToLogStatement("OriginalDuration", "11"));
        logedit::runBulkStatement(*st, logedit::dataToLogStatement("PercentComplete", "12"));
        for (int row = 0; row < st->taActivities.rowCount(); ++row) {
            const auto shown = [&](int column) {
                return grid::GridViewModel::displayTextOf(st->taActivities.value(row, column),
                                                          store::fieldKind(column));
            };
            const QDateTime start = st->taActivities.value(row, 7).toDateTime();
            const QString copied = st->taActivities.value(row, store::logColumn(10)).toString();
            if (start.isValid()) {
                EXPECT_TRUE(copied.startsWith(shown(7))) << copied.toStdString();
                EXPECT_TRUE(copied.contains(QString::number(start.date().year()))) << copied.toStdString();
                if (start.time() != QTime(0, 0)) {
                    EXPECT_TRUE(copied.endsWith(locale.toString(start.time(), QLocale::ShortFormat)))
                        << copied.toStdString();
                }
            }
            EXPECT_EQ(st->taActivities.value(row, store::logColumn(11)).toString(), shown(2));
            EXPECT_EQ(st->taActivities.value(row, store::logColumn(12)).toString(), shown(6));
        }
        EXPECT_TRUE(readValue("C", "Log#10").isNull());
    }
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    logedit::runBulkStatement(*st, logedit::dataToLogStatement("PercentComplete", "12"));
    EXPECT_EQ(readValue("A", "Log#12"), QVariant("12,5"));
}

TEST(CopiedValueText, OnlyNonTextSourcesIntoTextTargetsAreRewritten)
{
    struct Case {
        QString in;
        QString out;
    };
    const Case cases[] = {
        {"UPDATE [P3Data] SET [Log#4] = [EarlyStart]",
         "UPDATE [P3Data] SET [Log#4] = orvane_display_text([EarlyStart], 2)"},
        {"UPDATE [P3Data] SET [Log#4] = [OriginalDuration], [Log#5] = [Flag]",
         "UPDATE [P3Data] SET [Log#4] = orvane_display_text([OriginalDuration], 1), [Log#5] = "
         "orvane_display_text([Flag], 3)"},
        {"UPDATE [P3Data] SET [Log#4] = [Log#3]", "UPDATE [P3Data] SET [Log#4] = [Log#3]"},
        {"UPDATE [P3Data] SET [Log#4] = [CalendarID]", "UPDATE [P3Data] SET [Log#4] = [CalendarID]"},
        {"UPDATE [P3Data] SET [EarlyStart] = [LateStart]", "UPDATE [P3Data] SET [EarlyStart] = [LateStart]"},
        {"UPDATE [Other] SET [Log#4] = [EarlyStart]", "UPDATE [Other] SET [Log#4] = [EarlyStart]"},
        {"UPDATE [P3Data] SET [Log#4] = '[EarlyStart]'", "UPDATE [P3Data] SET [Log#4] = '[EarlyStart]'"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(store::wrapCopiedValues(c.in), c.out);
}

TEST_F(BulkCommandsTest, DataFieldEntryOfTheFirstCodeCopiesActivityCode1)
{
    store::DataFieldList list;
    ASSERT_EQ(list.size(), 27);
    for (const auto& entry : list.entries())
        EXPECT_NE(entry.field(), QString("CalendarID"));
    list.appendCode("Area");
    list.appendCode("Phase");
    ASSERT_EQ(list.size(), 29);
    EXPECT_EQ(list.at(27).caption, QString("Area"));
    logedit::runBulkStatement(*st, logedit::dataToLogStatement(list.at(27).field(), "6"));
    EXPECT_EQ(readValue("A", "Log#6"), QVariant("code A"));
    EXPECT_NE(readValue("A", "Log#6"), QVariant("cal"));
}

TEST(BulkFeedback, NamesTheCopyAndTheRowsItChanged)
{
    const struct {
        QString statement;
        int rows;
        const char* shown;
    } cases[] = {
        {logedit::log2LogStatement("3", "10"), 16, "Log#3 => Log#10: 16 rows"},
        {logedit::descriptionToLogStatement("5") + " WHERE ([Flag] = True)", 1, "Description => Log#5: 1 row"},
        {logedit::logToDescriptionStatement("99"), 0, "Log#99 => Description: 0 rows"},
        {logedit::dataToLogStatement("EarlyStart", "20"), 305, "EarlyStart => Log#20: 305 rows"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(logedit::bulkFeedback(c.statement, c.rows), QString::fromLatin1(c.shown)) << c.statement.toStdString();
}

} // namespace
