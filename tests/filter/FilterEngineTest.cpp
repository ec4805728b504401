// The filter engine against a real SQLite file: for every filter text, the
// rows the row filter selects ("SELECT rowid ... WHERE <sql>") are the rows a
// bulk UPDATE with " WHERE <filter text>" changes, and they are the expected
// ones. Filter texts come both written by hand and built by the criteria.

#include "common/Errors.h"
#include "filter/ActivityFilterColumns.h"
#include "filter/FilterCriteria.h"
#include "store/Database.h"
#include "store/FilterSql.h"
#include "support/TempDatabase.h"

#include <QDateTime>
#include <QStringList>
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>

using namespace orvane;
using namespace orvane::filter;

namespace {

using Ids = std::set<QString>;

QString idsText(const Ids& ids)
{
    return QStringList(ids.begin(), ids.end()).join(QLatin1Char(' '));
}

class FilterEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_previousLocale = QLocale();
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        using orvane::testing::insertRow;
        insertRow({{"ActivityID", "A1"}, {"Description", "Pour concrete"}, {"OriginalDuration", 5.0},
                   {"EarlyStart", QDateTime(QDate(2003, 12, 31), QTime(0, 0))}, {"Log#1", "rev A"},
                   {"Flag", true}});
        insertRow({{"ActivityID", "A2"}, {"Description", "it's done"}, {"OriginalDuration", 2.5},
                   {"EarlyStart", QDateTime(QDate(2003, 12, 31), QTime(8, 30))}, {"Flag", false}});
        insertRow({{"ActivityID", "A3"}, {"Flag", false}});
        orvane::testing::execRaw(QStringLiteral("UPDATE P3Data SET [Log#1] = '' WHERE ActivityID = 'A3'"));
        insertRow({{"ActivityID", "A4"}, {"Description", "x' OR 'a'='a"}, {"OriginalDuration", 10.0},
                   {"EarlyStart", QDateTime(QDate(2004, 1, 1), QTime(0, 0))}, {"Log#1", "REVIEW"},
                   {"Flag", true}});
        insertRow({{"ActivityID", "A5"}, {"Description", "pour"}, {"OriginalDuration", 0.0},
                   {"EarlyStart", QDateTime(QDate(2003, 12, 30), QTime(0, 0))}, {"Log#1", "50%"},
                   {"Flag", false}});
    }
    void TearDown() override { QLocale::setDefault(m_previousLocale); }

    Ids query(const QString& sql)
    {
        sqlite3* db = m_database.handle();
        sqlite3_stmt* stmt = nullptr;
        const QByteArray text = sql.toUtf8();
        if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &stmt, nullptr) != SQLITE_OK) {
            ADD_FAILURE() << "SQLite refused: " << sqlite3_errmsg(db) << "\n" << text.constData();
            return {};
        }
        Ids ids;
        while (sqlite3_step(stmt) == SQLITE_ROW)
            ids.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
        sqlite3_finalize(stmt);
        return ids;
    }

    // The rows the table's row filter shows.
    Ids rowFilter(const QString& filterText)
    {
        return query(QStringLiteral("SELECT ActivityID FROM P3Data WHERE rowid IN (SELECT rowid FROM P3Data WHERE ")
                     + store::filterTextToSql(filterText) + QStringLiteral(")"));
    }

    // The rows a bulk UPDATE with the same filter text changes.
    Ids updatedRows(const QString& filterText)
    {
        m_database.executeRaw(QStringLiteral("UPDATE P3Data SET [Log#99] = NULL"));
        m_database.execute(QStringLiteral("UPDATE [P3Data] SET [Log#99] = [ActivityID] WHERE ") + filterText);
        return query(QStringLiteral("SELECT ActivityID FROM P3Data WHERE [Log#99] IS NOT NULL"));
    }

    void expectRows(const QString& filterText, const Ids& expected)
    {
        SCOPED_TRACE(filterText.toStdString());
        const Ids shown = rowFilter(filterText);
        const Ids changed = updatedRows(filterText);
        EXPECT_EQ(idsText(shown), idsText(expected));
        EXPECT_EQ(idsText(changed), idsText(shown));
    }

    orvane::testing::TempWorkDir m_dir;
    store::Database m_database;
    QLocale m_previousLocale;
};

TEST_F(FilterEngineTest, RowFilterAndUpdateSelectTheSameRows)
{
    const struct {
        const char* text;
        Ids rows;
    } cases[] = {
        // texts, case-insensitive, quotes doubled
        {"(ActivityID = 'A1')", {"A1"}},
        {"(ActivityID = 'a1')", {"A1"}},
        {"(Description = 'it''s done')", {"A2"}},
        {"(Description = 'x'' OR ''a''=''a')", {"A4"}},
        {"(Description > 'pour')", {"A1", "A4"}},
        {"(Description < 'it')", {}},
        {"(ActivityID IN ('A1', 'a5'))", {"A1", "A5"}},
        {"(ActivityID NOT IN ('A1', 'A5'))", {"A2", "A3", "A4"}},
        {"(ActivityID BETWEEN 'a2' AND 'A4')", {"A2", "A3", "A4"}},
        // blanks: NULL and the empty text
        {"(Description = NULL)", {"A3"}},
        {"(Description <> NULL)", {"A1", "A2", "A4", "A5"}},
        {"([Log#1] = NULL)", {"A2", "A3"}},
        {"([Log#1] <> NULL)", {"A1", "A4", "A5"}},
        {"([Log#1] = '')", {"A2", "A3"}},
        {"([Log#1] IS NULL)", {"A2", "A3"}},
        {"([Log#1] IS NOT NULL)", {"A1", "A4", "A5"}},
        {"([Log#1] <> 'rev A')", {"A4", "A5"}},
        // LIKE with % and _, case-insensitive; NOT LIKE leaves blanks out
        {"([Log#1] LIKE '%rev%')", {"A1", "A4"}},
        {"([Log#1] NOT LIKE '%rev%')", {"A5"}},
        {"([Log#1] LIKE '5_%')", {"A5"}},
        {"(Description LIKE 'POUR%')", {"A1", "A5"}},
        {"(OriginalDuration LIKE '2,%')", {"A2"}},
        {"(Flag LIKE 'T%')", {"A1", "A4"}},
        // numbers (comma locale), quoted numbers read in the locale
        {"(OriginalDuration = 5)", {"A1"}},
        {"(OriginalDuration = '5')", {"A1"}},
        {"(OriginalDuration = 2,5)", {"A2"}},
        {"(OriginalDuration = '2,5')", {"A2"}},
        {"(OriginalDuration <> 5)", {"A2", "A4", "A5"}},
        {"(OriginalDuration < 5)", {"A2", "A5"}},
        {"(OriginalDuration <= 5)", {"A1", "A2", "A5"}},
        {"(OriginalDuration > 2,5)", {"A1", "A4"}},
        {"(OriginalDuration >= 2,5)", {"A1", "A2", "A4"}},
        {"(OriginalDuration BETWEEN 1 AND 5)", {"A1", "A2"}},
        {"(OriginalDuration NOT BETWEEN 1 AND 5)", {"A4", "A5"}},
        {"(OriginalDuration IN (2,5, 10))", {"A2", "A4"}},
        {"(OriginalDuration NOT IN (2,5, 10))", {"A1", "A5"}},
        {"(OriginalDuration = NULL)", {"A3"}},
        {"(OriginalDuration = -1E-20)", {}},
        // dates, in the locale's form and ISO
        {"(EarlyStart = '31.12.2003')", {"A1"}},
        {"(EarlyStart = '31.12.2003 08:30:00')", {"A2"}},
        {"(EarlyStart = '2003-12-31T08:30:00')", {"A2"}},
        {"(EarlyStart < '31.12.2003')", {"A5"}},
        {"(EarlyStart >= '31.12.2003')", {"A1", "A2", "A4"}},
        {"(EarlyStart BETWEEN '30.12.2003' AND '31.12.2003')", {"A1", "A5"}},
        {"(('31.12.2003' <= EarlyStart) AND (EarlyStart < '01.01.2004'))", {"A1", "A2"}},
        {"(EarlyStart = NULL)", {"A3"}},
        {"(EarlyStart <> NULL)", {"A1", "A2", "A4", "A5"}},
        // yes/no
        {"(Flag = True)", {"A1", "A4"}},
        {"(Flag = False)", {"A2", "A3", "A5"}},
        {"(Flag <> True)", {"A2", "A3", "A5"}},
        {"(Flag = 'True')", {"A1", "A4"}},
        {"(Flag = NULL)", {}},
        // groups; NOT selects exactly the other rows, blanks included
        {"((Flag = True) OR (OriginalDuration = 0)) AND ([Log#1] LIKE '%5%')", {"A5"}},
        {"NOT ((Flag = True) AND (OriginalDuration = 5))", {"A2", "A3", "A4", "A5"}},
        {"(NOT (([Log#1] = 'rev A') OR ([Log#1] = 'REVIEW')))", {"A2", "A3", "A5"}},
        {"(NOT (Description = 'pour'))", {"A1", "A2", "A3", "A4"}},
        {"(Flag = True) AND ()", {"A1", "A4"}},
        {"(NOT ())", {}},
        {"flag = true or activityid = 'A3'", {"A1", "A3", "A4"}},
    };
    for (const auto& c : cases)
        expectRows(QString::fromUtf8(c.text), c.rows);
}

TEST_F(FilterEngineTest, UnreadableTextsFailAndChangeNothing)
{
    const char* const texts[] = {
        "(Foo = 1)",                                  // unknown column
        "([Log#100] = 'x')",
        "([Log#1] = 'x'",                             // unbalanced
        "([Log#1] = 'x)",                             // unterminated text
        "(Description =)",                            // value missing
        "(EarlyStart = 'yesterday')",                 // not a date
        "(EarlyStart = 5)",
        "(OriginalDuration = 'abc')",                 // not a number
        "(Flag = 'maybe')",
        "(OriginalDuration < NULL)",
        "(Description = 'x' OR 'a'='a')",             // an unescaped quote cannot widen the filter
        "(Description = 'x'); DELETE FROM P3Data; --",
        "(Description = 'x') OR 1=1",
        "(ActivityID = [Description])",
        "(ActivityID LIKE)",
        "(OriginalDuration BETWEEN 1)",
        "(Flag = True) (Flag = False)",
        "NOT",
        "()()",
    };
    m_database.executeRaw(QStringLiteral("UPDATE P3Data SET [Log#99] = 'kept'"));
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const QString filterText = QString::fromUtf8(text);
        try {
            store::filterTextToSql(filterText);
            ADD_FAILURE() << "accepted";
        } catch (const DatabaseError& e) {
            EXPECT_TRUE(e.message().startsWith(QLatin1String("Invalid filter text: "))) << e.what();
        }
        EXPECT_THROW(m_database.execute(QStringLiteral("UPDATE [P3Data] SET [Log#99] = 'changed' WHERE ") + filterText),
                     DatabaseError);
        EXPECT_EQ(idsText(query(QStringLiteral("SELECT ActivityID FROM P3Data WHERE [Log#99] = 'kept'"))),
                  idsText({"A1", "A2", "A3", "A4", "A5"}));
    }
}

TEST_F(FilterEngineTest, MessagesNameTheProblem)
{
    try {
        store::filterTextToSql(QStringLiteral("(Foo = 1)"));
        FAIL();
    } catch (const DatabaseError& e) {
        EXPECT_EQ(e.message(), QStringLiteral("Invalid filter text: unknown column \"Foo\" at position 2."));
    }
}

TEST_F(FilterEngineTest, NumbersAndDatesFollowTheLocale)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    QLocale::setDefault(us);
    expectRows(QStringLiteral("(OriginalDuration = 2.5)"), {"A2"});
    expectRows(QStringLiteral("(EarlyStart = '12/31/2003')"), {"A1"});
    expectRows(QStringLiteral("(OriginalDuration IN (2.5, 10))"), {"A2", "A4"});
    // In a point locale the comma separates list items only.
    EXPECT_THROW(store::filterTextToSql(QStringLiteral("(OriginalDuration = 2,5)"), us), DatabaseError);
    EXPECT_THROW(store::filterTextToSql(QStringLiteral("(EarlyStart = '31.12.2003')"), us), DatabaseError);
}

TEST_F(FilterEngineTest, TextsMatchInAnyCase)
{
    orvane::testing::insertRow({{"ActivityID", "A6"}, {"Description", QStringLiteral("Ärger mit Straße [1]*?")}});
    expectRows(QStringLiteral("(Description = 'ärger MIT straße [1]*?')"), {"A6"});
    expectRows(QStringLiteral("(Description LIKE '%ÄRGER%')"), {"A6"});
    expectRows(QStringLiteral("(Description LIKE '%[1]*?')"), {"A6"});
    expectRows(QStringLiteral("(Description LIKE '%[1]_?')"), {"A6"});
    expectRows(QStringLiteral("(Description LIKE '%[2]%')"), {});
    expectRows(QStringLiteral("(Description IN ('x', 'ÄRGER MIT STRASSE [1]*?', 'ärger mit straße [1]*?'))"), {"A6"});
    expectRows(QStringLiteral("(Description <> 'ÄRGER mit straße [1]*?') AND (Description LIKE '%r%')"), {"A1", "A4", "A5"});
    // wildcard characters of GLOB are plain characters in a filter text
    expectRows(QStringLiteral("(Description = '*')"), {});
    expectRows(QStringLiteral("(Description LIKE '*%')"), {});
}

// A NUL character in a filter value neither breaks nor ends the statement.
TEST_F(FilterEngineTest, ANulCharacterInAValueStaysInTheValue)
{
    const QString value = QStringLiteral("x") + QChar(0) + QStringLiteral("y");
    orvane::testing::insertRow({{"ActivityID", "A6"}, {"Description", value}});
    expectRows(QStringLiteral("(Description = '") + value + QStringLiteral("')"), {"A6"});
    expectRows(QStringLiteral("(Description LIKE 'x") + QChar(0) + QStringLiteral("%')"), {"A6"});
    // outside a text it is not part of the grammar
    EXPECT_THROW(store::filterTextToSql(QStringLiteral("(Flag = True)") + QChar(0)), DatabaseError);
}

// Filter texts written by the criteria, for every operator kind and column
// kind, select the rows the condition means.
TEST_F(FilterEngineTest, CriteriaTextsSelectTheirRows)
{
    const ActivityFilterColumns columns;
    const int id = 0, description = 1, duration = 2, earlyStart = 7, log1 = 48, flag = 147;
    const QDateTime morning(QDate(2003, 12, 31), QTime(8, 30));
    const struct {
        int column;
        TcxFilterOperatorKind kind;
        QVariant value;
        Ids rows;
    } cases[] = {
        {id, foEqual, QStringLiteral("A1"), {"A1"}},
        {description, foEqual, QStringLiteral("it's done"), {"A2"}},
        {description, foEqual, QStringLiteral("x' OR 'a'='a"), {"A4"}},
        {description, foNotEqual, QStringLiteral("x' OR 'a'='a"), {"A1", "A2", "A5"}},
        {log1, foEqual, QVariant(), {"A2", "A3"}},
        {log1, foNotEqual, QVariant(), {"A1", "A4", "A5"}},
        {log1, foLike, QVariant(), {"A2", "A3"}},
        {log1, foNotLike, QVariant(), {"A1", "A4", "A5"}},
        {log1, foLike, QStringLiteral("%rev%"), {"A1", "A4"}},
        {log1, foNotLike, QStringLiteral("rev%"), {"A5"}},
        {duration, foEqual, 2.5, {"A2"}},
        {duration, foLess, 5, {"A2", "A5"}},
        {duration, foLessEqual, 5, {"A1", "A2", "A5"}},
        {duration, foGreater, 2.5, {"A1", "A4"}},
        {duration, foGreaterEqual, 2.5, {"A1", "A2", "A4"}},
        {duration, foBetween, QVariantList{1, 5}, {"A1", "A2"}},
        {duration, foNotBetween, QVariantList{1, 5}, {"A4", "A5"}},
        {duration, foInList, QVariantList{2.5, 10}, {"A2", "A4"}},
        {duration, foNotInList, QVariantList{2.5, 10}, {"A1", "A5"}},
        {duration, foEqual, QStringLiteral("5"), {"A1"}},
        {duration, foEqual, QVariant::fromValue(Currency{25000}), {"A2"}},
        {earlyStart, foEqual, morning, {"A2"}},
        {earlyStart, foEqual, QDate(2003, 12, 31), {"A1"}},
        {earlyStart, foGreater, morning, {"A4"}},
        {earlyStart, foEqual, QVariant(), {"A3"}},
        {earlyStart, foToday, QVariant(), {"A1", "A2"}},
        {earlyStart, foYesterday, QVariant(), {"A5"}},
        {earlyStart, foTomorrow, QVariant(), {"A4"}},
        {earlyStart, foThisWeek, QVariant(), {"A1", "A2", "A4", "A5"}},
        {earlyStart, foThisMonth, QVariant(), {"A1", "A2", "A5"}},
        {earlyStart, foNextYear, QVariant(), {"A4"}},
        {earlyStart, foLastMonth, QVariant(), {}},
        {flag, foEqual, true, {"A1", "A4"}},
        {flag, foNotEqual, true, {"A2", "A3", "A5"}},
        {flag, foEqual, QVariant(), {}},
    };
    for (const auto& c : cases) {
        TcxDBDataFilterCriteria criteria(&columns);
        criteria.SetCurrentDateSource([] { return QDate(2003, 12, 31); });
        criteria.AddCondition(nullptr, c.column, c.kind, QString(), c.value);
        expectRows(criteria.BuildFilterText(), c.rows);
    }
}

} // namespace

namespace {

TEST_F(FilterEngineTest, EqualityOfLongTextsIgnoresCaseAtAnyLength)
{
    // Values far beyond SQLite's limit for a GLOB pattern, with letters
    // whose case changes and characters outside the BMP.
    const QString piece = QStringLiteral("Straße Ärger \U0001F600 [x]*? ");
    QString longValue;
    while (longValue.size() < 100000)
        longValue += piece;
    orvane::testing::execRaw(QStringLiteral("UPDATE P3Data SET [Log#2] = '%1' WHERE ActivityID = 'A2'")
                                 .arg(longValue));
    orvane::testing::execRaw(QStringLiteral("UPDATE P3Data SET [Log#2] = '%1' WHERE ActivityID = 'A4'")
                                 .arg(longValue + QStringLiteral("x")));
    const QString upper = longValue.toUpper().replace(QStringLiteral("STRASSE"), QStringLiteral("STRAßE"));
    expectRows(QStringLiteral("([Log#2] = '%1')").arg(longValue), {"A2"});
    expectRows(QStringLiteral("([Log#2] = '%1')").arg(upper), {"A2"});
    expectRows(QStringLiteral("([Log#2] <> '%1')").arg(upper), {"A4"});
    expectRows(QStringLiteral("([Log#2] IN ('%1', 'rev a'))").arg(longValue + QStringLiteral("X")), {"A4"});
    // One character off in the middle of the value.
    QString changed = longValue;
    changed[50000] = QLatin1Char('#');
    expectRows(QStringLiteral("([Log#2] = '%1')").arg(changed), {});
}

TEST_F(FilterEngineTest, ManyConditionsTranslateAndRun)
{
    // A saved filter of many conditions: its SQL grows in step with it and
    // the engine reads it. (Its speed is measured in bench/filter.)
    auto filterOf = [](int count) {
        QStringList terms;
        for (int k = 0; k < count; ++k)
            terms << QStringLiteral("([Log#1] = 'value %1')").arg(k % 1000);
        terms << QStringLiteral("([Log#1] = 'REV a')");
        return terms.join(QStringLiteral(" OR "));
    };
    const QString text = filterOf(50000);
    EXPECT_LT(store::filterTextToSql(text).size(), 11 * store::filterTextToSql(filterOf(5000)).size());
    expectRows(text, {"A1"});
}

} // namespace
