// The grid's row filter without windows: the criteria owned by the grid's
// view model, the value list of a column, the effect of a picked entry on the
// table over a real pdb.mdb, and the bulk statement that follows the filter.

#include "common/Errors.h"
#include "filter/ConditionInput.h"
#include "filter/GridFilter.h"
#include "grid/ActivityGridLayout.h"
#include "grid/GridViewModel.h"
#include "logedit/BulkCommands.h"
#include "store/ActivityStore.h"
#include "store/CopiedValueText.h"
#include "support/QtPrinters.h"
#include "support/TempDatabase.h"

#include <QMap>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace orvane;
using filter::TcxFilterValueItem;
using orvane::testing::insertRow;
using orvane::testing::readValue;

namespace {

int col(const char* name)
{
    return store::fieldIndex(QString::fromLatin1(name));
}

class GridFilterTest : public ::testing::Test {
protected:
    orvane::testing::TempWorkDir dir;
    std::unique_ptr<store::ActivityStore> st;
    std::unique_ptr<grid::GridViewModel> model;
    std::unique_ptr<filter::GridFilterLink> link;

    void SetUp() override
    {
        insertRow({{"ActivityID", "A"}, {"Log#1", "one A"}, {"OriginalDuration", 5.0}, {"Flag", false}});
        insertRow({{"ActivityID", "B"}, {"Log#1", "one B"}, {"Log#2", "x"}, {"OriginalDuration", 3.0}, {"Flag", true}});
        insertRow({{"ActivityID", "C"}, {"Log#1", "one C"}, {"Log#2", "x"}, {"OriginalDuration", 5.0}, {"Flag", false}});
        insertRow({{"ActivityID", "D"}, {"Log#1", "one D"}, {"Log#2", "y"}, {"OriginalDuration", 7.0}, {"Flag", false}});
        st = std::make_unique<store::ActivityStore>();
        st->ADOCon.open();
        st->taActivities.open();
        st->taActivities.fetchAll();
        model = std::make_unique<grid::GridViewModel>();
        grid::applyActivityLayout(*model);
        model->setTable(&st->taActivities);
        link = std::make_unique<filter::GridFilterLink>(*model, st->taActivities);
    }
    void TearDown() override
    {
        link.reset();
        model.reset();
    }

    filter::TcxDBDataFilterCriteria& criteria() { return link->criteria(); }

    // The activity IDs the grid shows, sorted.
    QStringList shown() const
    {
        QStringList ids;
        for (int row = 0; row < model->rowCount(); ++row)
            ids << model->value(row, col("ActivityID")).toString();
        ids.sort();
        return ids;
    }

    QStringList texts(const QList<TcxFilterValueItem>& list) const
    {
        QStringList out;
        for (const auto& item : list)
            out << item.displayText;
        return out;
    }

    TcxFilterValueItem entry(int columnId, const QString& text) const
    {
        for (const auto& item : link->valueList(columnId))
            if (item.displayText == text)
                return item;
        ADD_FAILURE() << "no entry " << text.toStdString();
        return {};
    }
};

TEST_F(GridFilterTest, PickedValueFiltersTheTableAndTheBulkStatementChangesExactlyTheShownRows)
{
    QSignalSpy announced(&criteria(), &filter::TcxDBDataFilterCriteria::filterChanged);
    link->pick(col("Log#2"), entry(col("Log#2"), "x"));
    EXPECT_EQ(announced.count(), 1);
    EXPECT_TRUE(criteria().Active());
    EXPECT_EQ(st->taActivities.filter(), QString("([Log#2] = 'x')"));
    EXPECT_TRUE(st->taActivities.filtered());
    EXPECT_EQ(shown(), QStringList({"B", "C"}));

    const int changed = logedit::runBulkStatement(*st, logedit::log2LogStatement("1", "4"));
    EXPECT_EQ(st->qLog2Log.sqlText(), QString("UPDATE [P3Data] SET [Log#4] = [Log#1] WHERE ([Log#2] = 'x')"));
    EXPECT_EQ(changed, 2);
    for (const QString id : {"A", "B", "C", "D"}) {
        const bool inGrid = id == "B" || id == "C";
        EXPECT_EQ(readValue(id, "Log#4"), inGrid ? QVariant("one " + id) : QVariant()) << id.toStdString();
    }
    EXPECT_EQ(shown(), QStringList({"B", "C"}));   // the re-read keeps the filter
}

TEST_F(GridFilterTest, EveryValueEntryShowsExactlyTheRowsWithThatText)
{
    // Dates with times, numbers, true/false and texts: the rows shown after a
    // pick are the rows whose cell shows the picked text.
    insertRow({{"ActivityID", "E"}, {"EarlyFinish", QDateTime(QDate(2024, 3, 6), QTime(8, 30))}, {"Flag", true}});
    insertRow({{"ActivityID", "F"}, {"EarlyFinish", QDateTime(QDate(2024, 3, 7), QTime(0, 0))}, {"OriginalDuration", 2.5}});
    st->taActivities.requery();
    st->taActivities.fetchAll();
    for (const char* name : {"EarlyFinish", "Flag", "OriginalDuration", "Log#2", "ActivityID"}) {
        const int id = col(name);
        QStringList all;
        QMap<QString, QStringList> byText;
        for (int row = 0; row < model->rowCount(); ++row)
            byText[model->displayText(row, id)] << model->value(row, col("ActivityID")).toString();
        int picks = 0;
        for (const auto& item : link->valueList(id)) {
            if (item.kind != TcxFilterValueItem::fviValue)
                continue;
            ++picks;
            link->pick(id, item);
            QStringList expected = byText.value(item.displayText);
            expected.sort();
            EXPECT_EQ(shown(), expected) << name << " = " << item.displayText.toStdString();
            link->pick(id, entry(id, "(All)"));
        }
        EXPECT_GE(picks, 2) << name;
    }
}

TEST_F(GridFilterTest, PickedNumberIsTheRowsValueAndReplacesTheColumnsCondition)
{
    const int duration = col("OriginalDuration");
    link->pick(duration, entry(duration, "7"));
    link->pick(duration, entry(duration, "7"));   // the column's list now holds only 7
    EXPECT_EQ(texts(link->valueList(duration)), QStringList({"(All)", "(Custom...)", "7"}));

    link->pick(duration, entry(duration, "(All)"));
    link->pick(duration, entry(duration, "5"));
    EXPECT_EQ(st->taActivities.filter(), QString("(OriginalDuration = 5)"));
    EXPECT_EQ(shown(), QStringList({"A", "C"}));
    EXPECT_EQ(criteria().Root()->Count(), 1);
}

TEST_F(GridFilterTest, ValueListOrderAndBlankEntries)
{
    // Log#2 holds a null (row A): blanks entries, in front of the values.
    EXPECT_EQ(texts(link->valueList(col("Log#2"))),
              QStringList({"(All)", "(Custom...)", "(Blanks)", "(NonBlanks)", "x", "y"}));
    // ActivityID has no null: no blanks entries.
    EXPECT_EQ(texts(link->valueList(col("ActivityID"))), QStringList({"(All)", "(Custom...)", "A", "B", "C", "D"}));

    // Only values of the rows that pass the filter.
    link->pick(col("Log#2"), entry(col("Log#2"), "x"));
    EXPECT_EQ(texts(link->valueList(col("ActivityID"))), QStringList({"(All)", "(Custom...)", "B", "C"}));

    criteria().SetMaxValueListCount(4);
    EXPECT_EQ(texts(link->valueList(col("ActivityID"))), QStringList({"(All)", "(Custom...)", "B", "C"}));
    criteria().SetMaxValueListCount(3);
    EXPECT_EQ(texts(link->valueList(col("ActivityID"))), QStringList({"(All)", "(Custom...)", "B"}));
}

TEST_F(GridFilterTest, HighlightedEntryFollowsTheColumnsFirstCondition)
{
    const int log2 = col("Log#2");
    auto highlighted = [&] {
        const auto list = link->valueList(log2);
        const int i = link->highlightedEntry(log2, list);
        return i < 0 ? QString() : list[i].displayText;
    };
    EXPECT_EQ(highlighted(), QString());
    link->pick(log2, entry(log2, "y"));
    EXPECT_EQ(highlighted(), QString("y"));
    link->pick(log2, entry(log2, "(All)"));
    link->pick(log2, entry(log2, "(Blanks)"));
    EXPECT_EQ(highlighted(), QString("(Blanks)"));
    {
        filter::FilterChangeLock lock(criteria());
        criteria().ClearConditions();
        criteria().AddCondition(nullptr, log2, filter::foLike, "x%", "x%");
    }
    EXPECT_EQ(highlighted(), QString("(Custom...)"));
    {
        filter::FilterChangeLock lock(criteria());
        criteria().ClearConditions();
        criteria().AddCondition(nullptr, log2, filter::foEqual, "z", "z");
    }
    EXPECT_EQ(highlighted(), QString("(All)"));
}

TEST_F(GridFilterTest, BlanksAndNonBlanks)
{
    const int log2 = col("Log#2");
    link->pick(log2, entry(log2, "(Blanks)"));
    EXPECT_EQ(shown(), QStringList({"A"}));
    EXPECT_EQ(criteria().BuildDisplayText(), QString("(Log#2 = blank)"));
    link->pick(log2, entry(log2, "(All)"));
    EXPECT_EQ(shown(), QStringList({"A", "B", "C", "D"}));
    link->pick(log2, entry(log2, "(NonBlanks)"));
    EXPECT_EQ(shown(), QStringList({"B", "C", "D"}));
}

TEST_F(GridFilterTest, AllOnAColumnWithoutConditionAnnouncesOnceAndChangesNothing)
{
    link->pick(col("Log#2"), entry(col("Log#2"), "x"));
    criteria().SetActive(false);
    EXPECT_FALSE(st->taActivities.filtered());
    QSignalSpy announced(&criteria(), &filter::TcxDBDataFilterCriteria::filterChanged);
    link->pick(col("ActivityID"), entry(col("ActivityID"), "(All)"));
    EXPECT_EQ(announced.count(), 1);
    EXPECT_FALSE(criteria().Active());   // "(All)" never switches the filter
    EXPECT_EQ(st->taActivities.filter(), QString("([Log#2] = 'x')"));
    EXPECT_EQ(criteria().Root()->Count(), 1);
    // A picked value switches the filter on again.
    link->pick(col("ActivityID"), entry(col("ActivityID"), "B"));
    EXPECT_TRUE(criteria().Active());
    EXPECT_EQ(shown(), QStringList({"B"}));
}

TEST_F(GridFilterTest, UnreadableFilterIsReportedAndTheTableKeepsItsFilter)
{
    link->pick(col("Log#2"), entry(col("Log#2"), "x"));
    QStringList errors;
    link->setGuard([&errors](const std::function<void()>& action) {
        try {
            action();
        } catch (const OrvaneError& e) {
            errors << e.message();
        }
    });
    // A condition on a column the view does not have writes no field name.
    link->run([&] {
        filter::FilterChangeLock lock(criteria());
        criteria().AddCondition(nullptr, 9999, filter::foEqual, "q", "q");
    });
    ASSERT_EQ(errors.size(), 1);
    EXPECT_FALSE(errors[0].isEmpty());
    EXPECT_EQ(st->taActivities.filter(), QString("([Log#2] = 'x')"));
    EXPECT_TRUE(st->taActivities.filtered());
    EXPECT_EQ(shown(), QStringList({"B", "C"}));
    EXPECT_EQ(criteria().Root()->Count(), 2);   // the criteria keep the change
}

TEST_F(GridFilterTest, SmartRefreshLeavesTheTableAlone)
{
    model->setSmartRefresh(true);
    link->pick(col("Log#2"), entry(col("Log#2"), "x"));
    EXPECT_TRUE(st->taActivities.filter().isEmpty());
    EXPECT_EQ(shown(), QStringList({"A", "B", "C", "D"}));
    model->setSmartRefresh(false);
    link->pick(col("Log#2"), entry(col("Log#2"), "x"));
    EXPECT_EQ(shown(), QStringList({"B", "C"}));
}

TEST_F(GridFilterTest, ViewGoingAwayStopsPushes)
{
    link->pick(col("Log#2"), entry(col("Log#2"), "x"));
    filter::TcxDBDataFilterCriteria* c = &criteria();
    QSignalSpy destroyed(c, &QObject::destroyed);
    link.reset();
    model.reset();   // frees the criteria it owns without touching the table
    EXPECT_EQ(destroyed.count(), 1);
    EXPECT_EQ(st->taActivities.filter(), QString("([Log#2] = 'x')"));
}

TEST_F(GridFilterTest, SimpleCriteriaForTheCustomDialog)
{
    using namespace filter;
    const int a = col("ActivityID"), l = col("Log#2");
    struct Case {
        const char* name;
        std::function<void(TcxDBDataFilterCriteria&)> build;
        bool simple;
    };
    const Case cases[] = {
        {"empty", [](auto&) {}, true},
        {"two columns", [&](auto& c) {
             c.AddCondition(nullptr, a, foEqual, "A", "A");
             c.AddCondition(nullptr, l, foLike, "x", "x");
         }, true},
        {"or root", [&](auto& c) {
             c.Root()->SetBoolOperatorKind(fboOr);
             c.AddCondition(nullptr, a, foEqual, "A", "A");
         }, false},
        {"column twice", [&](auto& c) {
             c.AddCondition(nullptr, a, foEqual, "A", "A");
             c.AddCondition(nullptr, a, foEqual, "B", "B");
         }, false},
        {"between", [&](auto& c) { c.AddCondition(nullptr, a, foBetween, "A;B", QVariantList{"A", "B"}); }, false},
        {"or group of two", [&](auto& c) {
             auto* g = c.AddGroup(nullptr, fboOr);
             c.AddCondition(g, a, foEqual, "A", "A");
             c.AddCondition(g, a, foEqual, "B", "B");
         }, true},
        {"group of two columns", [&](auto& c) {
             auto* g = c.AddGroup(nullptr, fboAnd);
             c.AddCondition(g, a, foEqual, "A", "A");
             c.AddCondition(g, l, foEqual, "x", "x");
         }, false},
        {"not group", [&](auto& c) {
             auto* g = c.AddGroup(nullptr, fboNotAnd);
             c.AddCondition(g, a, foEqual, "A", "A");
             c.AddCondition(g, a, foEqual, "B", "B");
         }, false},
        {"group of three", [&](auto& c) {
             auto* g = c.AddGroup(nullptr, fboOr);
             for (const char* v : {"A", "B", "C"})
                 c.AddCondition(g, a, foEqual, v, v);
         }, false},
    };
    for (const Case& k : cases) {
        {
            FilterChangeLock lock(criteria());
            criteria().ClearConditions();
            k.build(criteria());
        }
        EXPECT_EQ(link->isSimpleCriteria(), k.simple) << k.name;
    }
}

} // namespace

namespace {

TEST(FilterDateText, TypedDatesReadBackAsTheGridShowsThem)
{
    struct Case {
        const char* locale;
        QDateTime value;
    };
    const Case cases[] = {
        {"C", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
        {"C", QDateTime(QDate(2024, 3, 6), QTime(8, 30))},
        {"en_US", QDateTime(QDate(2024, 3, 5), QTime(0, 0))},
        {"en_US", QDateTime(QDate(1999, 12, 31), QTime(0, 0))},
        {"en_US", QDateTime(QDate(2024, 3, 6), QTime(8, 30))},
        {"de_DE", QDateTime(QDate(2031, 11, 2), QTime(17, 45))},
        {"de_DE", QDateTime(QDate(1, 1, 1), QTime(0, 0))},
    };
    for (const Case& c : cases) {
        QLocale::setDefault(QLocale(QString::fromLatin1(c.locale)));
        // The whole text (tooltip, copied log) reads back as the value; the
        // grid's date alone as that day.
        const QString whole = store::copiedText(c.value, store::FieldKind::Date);
        EXPECT_EQ(filter::dateFromText(whole), QVariant(c.value)) << c.locale << " " << whole.toStdString();
        const QString shown = grid::GridViewModel::displayTextOf(c.value, store::FieldKind::Date);
        EXPECT_EQ(filter::dateFromText(shown), QVariant(QDateTime(c.value.date(), QTime(0, 0))))
            << c.locale << " " << shown.toStdString();
    }
    // The short form with a two-digit year is read in 1950 to 2049.
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    EXPECT_EQ(filter::dateFromText("3/5/24"), QVariant(QDateTime(QDate(2024, 3, 5), QTime(0, 0))));
    EXPECT_EQ(filter::dateFromText("3/5/51"), QVariant(QDateTime(QDate(1951, 3, 5), QTime(0, 0))));
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(filter::dateFromText("2024-05-02"), QVariant(QDateTime(QDate(2024, 5, 2), QTime(0, 0))));
    EXPECT_FALSE(filter::dateFromText("not a date").isValid());
    EXPECT_FALSE(filter::dateFromText("  ").isValid());
}

} // namespace

namespace {

// The dialogs' operators and the criteria's operator kinds are numbered
// differently (the blank tests stand between "not like" and "between" in the
// lists only). Each dialog operator makes a condition of the kind its words
// say, and the condition shows as that operator again.
TEST_F(GridFilterTest, DialogOperatorsMakeTheirOwnKindAndShowAgain)
{
    using D = filter::DisplayOperator;
    using namespace filter;
    const struct {
        D op;
        const char* words;
        TcxFilterOperatorKind kind;
    } table[] = {
        {D::Equals, "equals", foEqual},
        {D::NotEquals, "does not equal", foNotEqual},
        {D::Less, "is less than", foLess},
        {D::GreaterOrEqual, "is greater than or equal to", foGreaterEqual},
        {D::Like, "like", foLike},
        {D::NotLike, "not like", foNotLike},
        {D::IsBlank, "is blank", foEqual},
        {D::IsNotBlank, "is not blank", foNotEqual},
        {D::Between, "between", foBetween},
        {D::NotBetween, "not between", foNotBetween},
        {D::InList, "in", foInList},
        {D::NotInList, "not in", foNotInList},
        {D::Yesterday, "is yesterday", foYesterday},
        {D::ThisWeek, "is this week", foThisWeek},
        {D::NextYear, "is next year", foNextYear},
    };
    const int start = col("EarlyStart");
    const QDateTime day(QDate(2024, 5, 2), QTime(0, 0));
    for (const auto& c : table) {
        SCOPED_TRACE(c.words);
        EXPECT_EQ(displayOperatorText(c.op), QString::fromLatin1(c.words));
        EXPECT_EQ(kindOfDisplayOperator(c.op), c.kind);
        QVariant value = day;
        if (isBlankTest(c.op) || takesNoValue(c.op))
            value = QVariant();
        else if (isRangeOperator(c.op) || isListOperator(c.op))
            value = QVariantList{day, day.addDays(3)};
        criteria().ClearConditions();
        const TcxFilterCriteriaItem* condition =
            criteria().AddCondition(nullptr, start, kindOfDisplayOperator(c.op), QStringLiteral("v"), value);
        ASSERT_NE(condition, nullptr);
        EXPECT_EQ(displayOperatorOf(*condition), c.op);
    }
    // Every operator a date column offers in the builder comes back as itself.
    for (D op : offeredDisplayOperators(store::FieldKind::Date, true)) {
        criteria().ClearConditions();
        const QVariant value = takesNoValue(op) ? QVariant()
                               : isRangeOperator(op) || isListOperator(op) ? QVariant(QVariantList{day, day})
                                                                           : QVariant(day);
        const auto* condition = criteria().AddCondition(nullptr, start, kindOfDisplayOperator(op), "v", value);
        EXPECT_EQ(displayOperatorOf(*condition), op) << int(op);
    }
}

} // namespace
