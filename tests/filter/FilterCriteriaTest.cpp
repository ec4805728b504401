// The criteria tree: its filter text to the character, its display text, the
// tidying of RemoveColumnConditions, change announcements, and the hand-over
// to the real activity table.

#include "common/Errors.h"
#include "filter/ActivityFilterColumns.h"
#include "filter/FilterCriteria.h"
#include "store/ActivityTable.h"
#include "store/Database.h"
#include "support/TempDatabase.h"

#include <QDateTime>
#include <QMap>
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <functional>

using namespace orvane;
using namespace orvane::filter;

namespace {

constexpr int kActivityID = 0, kDescription = 1, kOriginalDuration = 2, kEarlyStart = 7,
              kActivityCode1 = 28, kLog1 = 48, kLog2 = 49, kLog3 = 50, kFlag = 147;

const QDate kToday(2003, 12, 31);   // a Wednesday

// Columns A (ID 0) and B (ID 1), captioned "First" and "Second".
class TwoColumns final : public FilterColumnSource {
public:
    std::optional<FilterColumn> columnById(int id) const override
    {
        if (id == 0)
            return FilterColumn{0, QStringLiteral("A"), store::FieldKind::Number, QStringLiteral("First")};
        if (id == 1)
            return FilterColumn{1, QStringLiteral("B"), store::FieldKind::Number, QStringLiteral("Second")};
        return std::nullopt;
    }
};

class FilterCriteriaTest : public ::testing::Test {
protected:
    FilterCriteriaTest() : criteria(&columns)
    {
        criteria.SetLocale(QLocale(QLocale::German, QLocale::Germany));
        criteria.SetCurrentDateSource([this] { return today; });
    }
    QString text() const { return criteria.BuildFilterText(); }
    QString display() const { return criteria.BuildDisplayText(); }

    ActivityFilterColumns columns;
    QDate today = kToday;
    TcxDBDataFilterCriteria criteria;
};

TEST_F(FilterCriteriaTest, FilterTextOfTheExamples)
{
    using Build = std::function<void(TcxDBDataFilterCriteria&)>;
    const struct {
        const char* name;
        Build build;
        const char* expected;
    } cases[] = {
        {"text", [](auto& c) { c.AddCondition(nullptr, kActivityID, foEqual, "A1000", QStringLiteral("A1000")); },
         "(ActivityID = 'A1000')"},
        {"number", [](auto& c) { c.AddCondition(nullptr, kOriginalDuration, foEqual, "5", 5); },
         "(OriginalDuration = 5)"},
        {"date", [](auto& c) { c.AddCondition(nullptr, kEarlyStart, foEqual, "", QDateTime(kToday, QTime(0, 0))); },
         "(EarlyStart = '31.12.2003')"},
        {"like", [](auto& c) { c.AddCondition(nullptr, kLog1, foLike, "%rev%", QStringLiteral("%rev%")); },
         "([Log#1] LIKE '%rev%')"},
        {"blank", [](auto& c) { c.AddCondition(nullptr, kDescription, foEqual, "", QVariant()); },
         "(Description = NULL)"},
        {"not blank", [](auto& c) { c.AddCondition(nullptr, kDescription, foNotEqual, "", QVariant()); },
         "(Description <> NULL)"},
        {"between", [](auto& c) { c.AddCondition(nullptr, kOriginalDuration, foBetween, "1;5", QVariantList{1, 5}); },
         "(OriginalDuration BETWEEN 1 AND 5)"},
        {"in", [](auto& c) {
             c.AddCondition(nullptr, kActivityCode1, foInList, "A;B", QVariantList{QStringLiteral("A"), QStringLiteral("B")});
         },
         "(ActivityCode1 IN ('A', 'B'))"},
        {"today", [](auto& c) { c.AddCondition(nullptr, kEarlyStart, foToday, "", QVariant()); },
         "(('31.12.2003' <= EarlyStart) AND (EarlyStart < '01.01.2004'))"},
        {"or group and root condition", [](auto& c) {
             auto* g = c.AddGroup(nullptr, fboOr);
             c.AddCondition(g, kLog2, foEqual, "x", QStringLiteral("x"));
             c.AddCondition(g, kLog2, foEqual, "y", QStringLiteral("y"));
             c.AddCondition(nullptr, kFlag, foEqual, "True", true);
         },
         "(([Log#2] = 'x') OR ([Log#2] = 'y')) AND (Flag = True)"},
        {"not-or group", [](auto& c) {
             auto* g = c.AddGroup(nullptr, fboNotOr);
             c.AddCondition(g, kLog3, foEqual, "a", QStringLiteral("a"));
             c.AddCondition(g, kLog3, foEqual, "b", QStringLiteral("b"));
         },
         "(NOT (([Log#3] = 'a') OR ([Log#3] = 'b')))"},
        {"nothing", [](auto&) {}, ""},
        // edge cases
        {"quote doubled", [](auto& c) { c.AddCondition(nullptr, kDescription, foEqual, "it's", QStringLiteral("it's")); },
         "(Description = 'it''s')"},
        {"injection stays a literal", [](auto& c) {
             c.AddCondition(nullptr, kDescription, foEqual, "", QStringLiteral("x' OR 'a'='a"));
         },
         "(Description = 'x'' OR ''a''=''a')"},
        {"date with time", [](auto& c) {
             c.AddCondition(nullptr, kEarlyStart, foEqual, "", QDateTime(kToday, QTime(14, 5, 9)));
         },
         "(EarlyStart = '31.12.2003 14:05:09')"},
        {"float with comma", [](auto& c) { c.AddCondition(nullptr, kOriginalDuration, foEqual, "", 2.5); },
         "(OriginalDuration = 2,5)"},
        {"float general format", [](auto& c) { c.AddCondition(nullptr, kOriginalDuration, foLess, "", 1.0 / 3); },
         "(OriginalDuration < 0,333333333333333)"},
        {"large float", [](auto& c) { c.AddCondition(nullptr, kOriginalDuration, foLess, "", 1e20); },
         "(OriginalDuration < 1E20)"},
        {"negative whole number", [](auto& c) { c.AddCondition(nullptr, kOriginalDuration, foGreater, "", -7); },
         "(OriginalDuration > -7)"},
        {"currency", [](auto& c) {
             c.AddCondition(nullptr, kOriginalDuration, foEqual, "", QVariant::fromValue(Currency{12345}));
         },
         "(OriginalDuration = 1,2345)"},
        {"false", [](auto& c) { c.AddCondition(nullptr, kFlag, foEqual, "", false); }, "(Flag = False)"},
        {"like null is blank", [](auto& c) { c.AddCondition(nullptr, kLog1, foLike, "", QVariant()); },
         "([Log#1] = NULL)"},
        {"not like null is not blank", [](auto& c) { c.AddCondition(nullptr, kLog1, foNotLike, "", QVariant()); },
         "([Log#1] <> NULL)"},
        {"between texts", [](auto& c) {
             c.AddCondition(nullptr, kLog1, foBetween, "", QVariantList{QStringLiteral("a"), QStringLiteral("b")});
         },
         "([Log#1] BETWEEN 'a' AND 'b')"},
        {"not in with null", [](auto& c) {
             c.AddCondition(nullptr, kLog1, foNotInList, "", QVariantList{QVariant(), QStringLiteral("a")});
         },
         "([Log#1] NOT IN (NULL, 'a'))"},
        {"between with a single value", [](auto& c) { c.AddCondition(nullptr, kOriginalDuration, foNotBetween, "", 3); },
         "(OriginalDuration NOT BETWEEN 3)"},
        {"empty value ends with the symbol", [](auto& c) { c.AddCondition(nullptr, kLog1, foGreater, "", emptyValue()); },
         "([Log#1] >)"},
        {"condition without a column", [](auto& c) { c.AddCondition(nullptr, 999, foEqual, "", 1); }, "( = 1)"},
        {"empty nested group", [](auto& c) {
             c.AddCondition(nullptr, kFlag, foEqual, "", true);
             c.AddGroup(nullptr, fboAnd);
             c.AddGroup(nullptr, fboNotOr);
         },
         "(Flag = True) AND () AND (NOT ())"},
        {"nested groups keep their parentheses outside NOT", [](auto& c) {
             c.Root()->SetBoolOperatorKind(fboOr);
             auto* g = c.AddGroup(nullptr, fboNotAnd);
             auto* inner = c.AddGroup(g, fboOr);
             c.AddCondition(inner, kLog1, foEqual, "", QStringLiteral("a"));
             c.AddCondition(g, kFlag, foEqual, "", true);
             c.AddCondition(nullptr, kActivityID, foNotEqual, "", QStringLiteral("A1"));
         },
         "(NOT ((([Log#1] = 'a')) AND (Flag = True))) OR (ActivityID <> 'A1')"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ActivityFilterColumns cols;
        TcxDBDataFilterCriteria fresh(&cols);
        fresh.SetLocale(QLocale(QLocale::German, QLocale::Germany));
        fresh.SetCurrentDateSource([] { return kToday; });
        c.build(fresh);
        EXPECT_EQ(fresh.BuildFilterText(), QString::fromUtf8(c.expected));
    }

    TwoColumns ab;
    TcxDBDataFilterCriteria negated(&ab);
    negated.Root()->SetBoolOperatorKind(fboNotAnd);
    negated.AddCondition(nullptr, 0, foEqual, "1", 1);
    negated.AddCondition(nullptr, 1, foEqual, "2", 2);
    EXPECT_EQ(negated.BuildFilterText(), QStringLiteral("NOT ((A = 1) AND (B = 2))"));
    EXPECT_EQ(negated.BuildDisplayText(), QStringLiteral("not ((First = 1) and (Second = 2))"));
}

TEST_F(FilterCriteriaTest, DatesAndNumbersFollowTheLocale)
{
    const QDateTime afternoon(kToday, QTime(14, 5, 9));
    criteria.AddCondition(nullptr, kEarlyStart, foEqual, "", afternoon);
    criteria.AddCondition(nullptr, kOriginalDuration, foEqual, "", 2.5);
    const QString german = text();

    const QLocale us(QLocale::English, QLocale::UnitedStates);
    criteria.SetLocale(us);
    const QString american = text();
    EXPECT_NE(american, german);
    EXPECT_TRUE(american.startsWith(QStringLiteral("(EarlyStart = '12/31/2003 2:05:09"))) << american.toStdString();
    EXPECT_TRUE(american.endsWith(QStringLiteral("AND (OriginalDuration = 2.5)"))) << american.toStdString();

    criteria.SetDateTimeFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    EXPECT_EQ(text(), QStringLiteral("(EarlyStart = '2003-12-31 14:05') AND (OriginalDuration = 2.5)"));
}

TEST_F(FilterCriteriaTest, BlanksAreNeverTheIsFormWithThisTable)
{
    for (int column : {kActivityID, kOriginalDuration, kEarlyStart, kLog1, kFlag}) {
        criteria.ClearConditions();
        auto* blank = criteria.AddCondition(nullptr, column, foEqual, "", QVariant());
        auto* nonBlank = criteria.AddCondition(nullptr, column, foNotLike, "", QVariant());
        EXPECT_NE(dynamic_cast<TcxFilterNullOperator*>(&blank->Operator()), nullptr);
        EXPECT_NE(dynamic_cast<TcxFilterNotNullOperator*>(&nonBlank->Operator()), nullptr);
        EXPECT_EQ(blank->DisplayValue(), QStringLiteral("blank"));
        EXPECT_TRUE(text().endsWith(QStringLiteral(" = NULL) AND (") + nonBlank->FieldText()
                                    + QStringLiteral(" <> NULL)"))) << text().toStdString();
    }
    // An empty text counts as null only with fcoSoftNull.
    criteria.ClearConditions();
    criteria.AddCondition(nullptr, kLog1, foEqual, "", QString());
    EXPECT_EQ(text(), QStringLiteral("([Log#1] = '')"));
    criteria.SetOptions(fcoSoftNull);
    criteria.ClearConditions();
    criteria.AddCondition(nullptr, kLog1, foEqual, "", QString());
    EXPECT_EQ(text(), QStringLiteral("([Log#1] = NULL)"));
}

TEST_F(FilterCriteriaTest, DisplayTextForms)
{
    const struct {
        const char* name;
        int column;
        TcxFilterOperatorKind kind;
        const char* displayText;
        QVariant value;
        const char* plain;
        const char* withDescriptions;
    } cases[] = {
        {"equals", kActivityID, foEqual, "A1000", QStringLiteral("A1000"), "(ActivityID = A1000)", "(ActivityID equals A1000)"},
        {"less", kOriginalDuration, foLessEqual, "5", 5, "(OriginalDuration <= 5)", "(OriginalDuration is less than or equal to 5)"},
        {"between", kOriginalDuration, foBetween, "1;5", QVariantList{1, 5}, "(OriginalDuration between 1 and 5)", "(OriginalDuration between 1 and 5)"},
        {"not in", kActivityCode1, foNotInList, "A;B;C", QVariantList{"A", "B", "C"}, "(ActivityCode1 not in (A, B, C))", "(ActivityCode1 not in (A, B, C))"},
        {"contains", kLog1, foLike, "%rev%", QStringLiteral("%rev%"), "(Log#1 LIKE %rev%)", "(Log#1 contains rev)"},
        {"begins", kLog1, foLike, "rev%", QStringLiteral("rev%"), "(Log#1 LIKE rev%)", "(Log#1 begins with rev)"},
        {"ends", kLog1, foLike, "%rev", QStringLiteral("%rev"), "(Log#1 LIKE %rev)", "(Log#1 ends with rev)"},
        {"like", kLog1, foLike, "r_v", QStringLiteral("r_v"), "(Log#1 LIKE r_v)", "(Log#1 like r_v)"},
        {"doubled wildcards", kLog1, foLike, "%%rev%%", QStringLiteral("%%rev%%"), "(Log#1 LIKE %%rev%%)", "(Log#1 contains rev)"},
        {"single wildcard", kLog1, foLike, "%", QStringLiteral("%"), "(Log#1 LIKE %)", "(Log#1 like %)"},
        {"not contains", kLog1, foNotLike, "%rev%", QStringLiteral("%rev%"), "(Log#1 NOT LIKE %rev%)", "(Log#1 does not contain rev)"},
        {"not begins", kLog1, foNotLike, "rev%", QStringLiteral("rev%"), "(Log#1 NOT LIKE rev%)", "(Log#1 does not begin with rev)"},
        {"not ends", kLog1, foNotLike, "%rev", QStringLiteral("%rev"), "(Log#1 NOT LIKE %rev)", "(Log#1 does not end with rev)"},
        {"blank", kDescription, foEqual, "", QVariant(), "(Description = blank)", "(Description is blank)"},
        {"not blank", kDescription, foNotEqual, "", QVariant(), "(Description <> blank)", "(Description is not blank)"},
        {"today", kEarlyStart, foToday, "ignored", QVariant(), "(EarlyStart is today)", "(EarlyStart is today)"},
        {"next month", kEarlyStart, foNextMonth, "", QVariant(), "(EarlyStart is next month)", "(EarlyStart is next month)"},
        {"display text kept", kFlag, foEqual, "Checked", true, "(Flag = Checked)", "(Flag equals Checked)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        criteria.SetOptions({});
        criteria.ClearConditions();
        criteria.AddCondition(nullptr, c.column, c.kind, QString::fromUtf8(c.displayText), c.value);
        EXPECT_EQ(display(), QString::fromUtf8(c.plain));
        criteria.SetOptions(fcoShowOperatorDescription);
        EXPECT_EQ(display(), QString::fromUtf8(c.withDescriptions));
    }

    criteria.SetOptions({});
    criteria.ClearConditions();
    auto* g = criteria.AddGroup(nullptr, fboOr);
    criteria.AddCondition(g, kLog2, foEqual, "x", QStringLiteral("x"));
    criteria.AddCondition(g, kLog2, foEqual, "y", QStringLiteral("y"));
    criteria.AddCondition(nullptr, kFlag, foEqual, "True", true);
    EXPECT_EQ(display(), QStringLiteral("((Log#2 = x) or (Log#2 = y)) and (Flag = True)"));
    criteria.ClearConditions();
    EXPECT_EQ(display(), QString());
}

TEST_F(FilterCriteriaTest, RelativeDateRanges)
{
    const struct {
        TcxFilterOperatorKind kind;
        QDate today;
        QLocale::Country country;
        QDate d1, d2;
    } cases[] = {
        {foYesterday, kToday, QLocale::Germany, {2003, 12, 30}, {2003, 12, 31}},
        {foToday, kToday, QLocale::Germany, {2003, 12, 31}, {2004, 1, 1}},
        {foTomorrow, kToday, QLocale::Germany, {2004, 1, 1}, {2004, 1, 2}},
        {foLastWeek, kToday, QLocale::Germany, {2003, 12, 22}, {2003, 12, 29}},
        {foThisWeek, kToday, QLocale::Germany, {2003, 12, 29}, {2004, 1, 5}},
        {foNextWeek, kToday, QLocale::Germany, {2004, 1, 5}, {2004, 1, 12}},
        // the week starts on Sunday in the United States
        {foThisWeek, kToday, QLocale::UnitedStates, {2003, 12, 28}, {2004, 1, 4}},
        {foThisWeek, QDate(2003, 12, 28), QLocale::Germany, {2003, 12, 22}, {2003, 12, 29}},
        {foLastMonth, kToday, QLocale::Germany, {2003, 11, 1}, {2003, 12, 1}},
        {foLastMonth, QDate(2004, 1, 15), QLocale::Germany, {2003, 12, 1}, {2004, 1, 1}},
        {foThisMonth, kToday, QLocale::Germany, {2003, 12, 1}, {2004, 1, 1}},
        {foNextMonth, kToday, QLocale::Germany, {2004, 1, 1}, {2004, 2, 1}},
        {foNextMonth, QDate(2003, 11, 30), QLocale::Germany, {2003, 12, 1}, {2004, 1, 1}},
        {foLastYear, kToday, QLocale::Germany, {2002, 1, 1}, {2003, 1, 1}},
        {foThisYear, kToday, QLocale::Germany, {2003, 1, 1}, {2004, 1, 1}},
        {foNextYear, kToday, QLocale::Germany, {2004, 1, 1}, {2005, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(QStringLiteral("kind %1 on %2").arg(int(c.kind)).arg(c.today.toString(Qt::ISODate)).toStdString());
        criteria.SetLocale(QLocale(c.country == QLocale::Germany ? QLocale::German : QLocale::English, c.country));
        today = c.today;
        criteria.ClearConditions();
        auto* condition = criteria.AddCondition(nullptr, kEarlyStart, c.kind, "", QStringLiteral("ignored"));
        const auto& op = dynamic_cast<const TcxFilterDateOperator&>(condition->Operator());
        EXPECT_EQ(op.D1(), c.d1);
        EXPECT_EQ(op.D2(), c.d2);
    }
}

TEST_F(FilterCriteriaTest, RemoveColumnConditionsTidiesTheParentOnly)
{
    // A two-condition group collapses: the survivor moves to the end of the root.
    auto* g = criteria.AddGroup(nullptr, fboOr);
    criteria.AddCondition(g, kLog2, foEqual, "", QStringLiteral("x"));
    criteria.AddCondition(g, kLog3, foEqual, "", QStringLiteral("y"));
    criteria.AddCondition(nullptr, kFlag, foEqual, "", true);
    criteria.RemoveColumnConditions(kLog3);
    EXPECT_EQ(text(), QStringLiteral("(Flag = True) AND ([Log#2] = 'x')"));

    // An emptied group is freed; a grandparent it leaves empty stays.
    criteria.ClearConditions();
    auto* outer = criteria.AddGroup(nullptr, fboAnd);
    auto* inner = criteria.AddGroup(outer, fboOr);
    criteria.AddCondition(inner, kLog1, foEqual, "", QStringLiteral("a"));
    criteria.AddCondition(nullptr, kFlag, foEqual, "", true);
    criteria.RemoveColumnConditions(kLog1);
    EXPECT_EQ(text(), QStringLiteral("() AND (Flag = True)"));
    EXPECT_FALSE(criteria.IsEmptyFilter());

    // Each removal tidies the parent of that condition: the survivor of the
    // inner group moves up, and its own removal then empties (and frees) the
    // outer group.
    criteria.ClearConditions();
    outer = criteria.AddGroup(nullptr, fboAnd);
    inner = criteria.AddGroup(outer, fboOr);
    criteria.AddCondition(inner, kLog1, foEqual, "", QStringLiteral("a"));
    criteria.AddCondition(inner, kLog1, foEqual, "", QStringLiteral("b"));
    criteria.AddCondition(nullptr, kFlag, foEqual, "", true);
    criteria.RemoveColumnConditions(kLog1);
    EXPECT_EQ(text(), QStringLiteral("(Flag = True)"));

    // Groups with two or more remaining children stay; conditions at the root just go.
    criteria.ClearConditions();
    auto* three = criteria.AddGroup(nullptr, fboOr);
    criteria.AddCondition(three, kLog1, foEqual, "", QStringLiteral("a"));
    criteria.AddCondition(three, kLog2, foEqual, "", QStringLiteral("b"));
    criteria.AddCondition(three, kLog3, foEqual, "", QStringLiteral("c"));
    criteria.AddCondition(nullptr, kLog1, foEqual, "", QStringLiteral("d"));
    criteria.RemoveColumnConditions(kLog1);
    EXPECT_EQ(text(), QStringLiteral("(([Log#2] = 'b') OR ([Log#3] = 'c'))"));
    EXPECT_EQ(criteria.FindColumnCondition(kLog1), nullptr);
    EXPECT_EQ(criteria.FindColumnCondition(kLog3)->DisplayValue(), QString());
}

TEST_F(FilterCriteriaTest, FindColumnConditionIsDepthFirst)
{
    auto* g = criteria.AddGroup(nullptr, fboAnd);
    auto* inGroup = criteria.AddCondition(g, kLog1, foEqual, "first", QStringLiteral("a"));
    criteria.AddCondition(nullptr, kLog1, foEqual, "second", QStringLiteral("b"));
    EXPECT_EQ(criteria.FindColumnCondition(kLog1), inGroup);
    EXPECT_EQ(criteria.FindColumnCondition(kLog2), nullptr);
}

TEST_F(FilterCriteriaTest, ChangesAreAnnouncedOncePerLock)
{
    int announcements = 0;
    QObject::connect(&criteria, &TcxDBDataFilterCriteria::filterChanged, [&] { ++announcements; });
    auto count = [&](const std::function<void()>& action) {
        announcements = 0;
        action();
        return announcements;
    };
    EXPECT_EQ(count([&] { criteria.AddCondition(nullptr, kLog1, foEqual, "", QStringLiteral("a")); }), 1);
    EXPECT_EQ(count([&] { criteria.AddGroup(nullptr, fboOr); }), 1);
    EXPECT_EQ(count([&] {
                  FilterChangeLock outer(criteria);
                  auto* g = criteria.AddGroup(nullptr, fboOr);
                  criteria.AddCondition(g, kLog2, foEqual, "", QStringLiteral("b"));
                  criteria.SetActive(true);
                  EXPECT_EQ(announcements, 0);
              }),
              1);
    EXPECT_EQ(count([&] { FilterChangeLock nothing(criteria); }), 1);
    EXPECT_EQ(count([&] { criteria.RemoveColumnConditions(kFlag); }), 0);
    EXPECT_EQ(count([&] { criteria.RemoveColumnConditions(kLog1); }), 1);
    EXPECT_EQ(count([&] { criteria.SetActive(true); }), 0);
    EXPECT_EQ(count([&] { criteria.SetActive(false); }), 1);
    EXPECT_EQ(count([&] { criteria.SetMaxValueListCount(5); }), 0);
    EXPECT_EQ(count([&] { criteria.SetOptions(fcoShowOperatorDescription); }), 1);
    EXPECT_EQ(count([&] { criteria.ClearConditions(); }), 1);
    EXPECT_EQ(criteria.Root()->BoolOperatorKind(), fboAnd);
    criteria.SetDestroying(true);
    EXPECT_EQ(count([&] { criteria.AddCondition(nullptr, kLog1, foEqual, "", 1); }), 0);
}

// The criteria hand their text to the real activity table.
class FilterPushTest : public FilterCriteriaTest {
protected:
    FilterPushTest()
    {
        // The table reads the filter text in the user's locale.
        m_previousLocale = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        for (const char* id : {"A1", "A2", "A3"})
            orvane::testing::insertRow({{"ActivityID", id}, {"Log#1", QStringLiteral("log ") + id},
                                {"EarlyStart", QDateTime(id == QLatin1String("A2") ? kToday : kToday.addDays(-3), QTime(9, 0))},
                                {"Flag", id != QLatin1String("A3")}});
        table.open();
        criteria.SetTable(&adapter);
        QObject::connect(&table, &store::ActivityTable::rowsReset, [this] { ++resets; });
    }
    ~FilterPushTest() override { QLocale::setDefault(m_previousLocale); }
    QStringList visibleIds() const
    {
        QStringList ids;
        for (int r = 0; r < table.rowCount(); ++r)
            ids << table.value(r, kActivityID).toString();
        return ids;
    }

    orvane::testing::TempWorkDir dir;
    store::Database database;
    store::ActivityTable table{database};
    DataSetFilterTable<store::ActivityTable> adapter{table};
    int resets = 0;
    QLocale m_previousLocale;
};

TEST_F(FilterPushTest, ActiveAndTheTextDecideTheSwitch)
{
    criteria.AddCondition(nullptr, kFlag, foEqual, "True", true);
    EXPECT_EQ(table.filter(), QStringLiteral("(Flag = True)"));
    EXPECT_FALSE(table.filtered());
    EXPECT_EQ(visibleIds(), QStringList({"A1", "A2", "A3"}));

    criteria.SetActive(true);
    EXPECT_TRUE(table.filtered());
    EXPECT_EQ(visibleIds(), QStringList({"A1", "A2"}));

    // Toggling Active changes only the switch; the table keeps the text.
    criteria.SetActive(false);
    EXPECT_FALSE(table.filtered());
    EXPECT_EQ(table.filter(), QStringLiteral("(Flag = True)"));
    criteria.SetActive(true);
    EXPECT_EQ(visibleIds(), QStringList({"A1", "A2"}));

    // An empty tree switches the table's filter off whatever Active says.
    criteria.ClearConditions();
    EXPECT_TRUE(criteria.Active());
    EXPECT_EQ(table.filter(), QString());
    EXPECT_FALSE(table.filtered());
    EXPECT_EQ(visibleIds(), QStringList({"A1", "A2", "A3"}));
}

TEST_F(FilterPushTest, AnEqualTextIsIgnoredAndAChangePostsAndMovesFirst)
{
    criteria.SetActive(true);
    criteria.AddCondition(nullptr, kLog1, foLike, "", QStringLiteral("log%"));
    ASSERT_EQ(visibleIds(), QStringList({"A1", "A2", "A3"}));

    resets = 0;
    { FilterChangeLock unchanged(criteria); }
    EXPECT_EQ(resets, 0);

    table.setCurrentRow(2);
    table.edit();
    table.setFieldValue(kLog1, QStringLiteral("edited"));
    criteria.FindColumnCondition(kLog1)->SetValue(QStringLiteral("%A%"), QString());
    EXPECT_EQ(orvane::testing::readValue(QStringLiteral("A3"), QStringLiteral("Log#1")).toString(), QStringLiteral("edited"));
    EXPECT_EQ(visibleIds(), QStringList({"A1", "A2"}));
    EXPECT_EQ(table.currentRow(), 0);
    EXPECT_EQ(table.state(), store::ActivityTable::State::Browse);
}

TEST_F(FilterPushTest, TheTableTakesNoFilterOptions)
{
    criteria.AddCondition(nullptr, kFlag, foEqual, "", true);
    try {
        criteria.SetOptions(fcoCaseInsensitive);
        FAIL() << "accepted";
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("FilterOptions are not supported"));
    }
    EXPECT_TRUE(criteria.Options().testFlag(fcoCaseInsensitive));   // the criteria keep the change
    EXPECT_EQ(table.filter(), QStringLiteral("(Flag = True)"));
}

TEST_F(FilterPushTest, ARelativeDateConditionsFirstTextHoldsItsRange)
{
    criteria.SetActive(true);
    criteria.AddCondition(nullptr, kEarlyStart, foToday, "", QVariant());
    EXPECT_EQ(table.filter(), QStringLiteral("(('31.12.2003' <= EarlyStart) AND (EarlyStart < '01.01.2004'))"));
    EXPECT_EQ(visibleIds(), QStringList({"A2"}));

    // The range moves only with the next announcement.
    today = kToday.addDays(1);
    EXPECT_TRUE(table.filter().contains(QStringLiteral("'31.12.2003'")));
    { FilterChangeLock touch(criteria); }
    EXPECT_EQ(table.filter(), QStringLiteral("(('01.01.2004' <= EarlyStart) AND (EarlyStart < '02.01.2004'))"));
    EXPECT_EQ(visibleIds(), QStringList());
}

TEST_F(FilterPushTest, ARefusedTextLeavesTheTableAsItWas)
{
    criteria.SetActive(true);
    criteria.AddCondition(nullptr, kFlag, foEqual, "", true);
    ASSERT_EQ(visibleIds(), QStringList({"A1", "A2"}));
    // A condition whose value has no text ends with its symbol, which no engine reads.
    EXPECT_THROW(criteria.AddCondition(nullptr, kLog1, foGreater, "", emptyValue()), DatabaseError);
    EXPECT_EQ(table.filter(), QStringLiteral("(Flag = True)"));
    EXPECT_EQ(visibleIds(), QStringList({"A1", "A2"}));
    EXPECT_EQ(criteria.Root()->Count(), 2);
}

} // namespace
