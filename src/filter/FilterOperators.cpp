#include "filter/FilterOperators.h"

#include "filter/FilterCriteria.h"

#include <QRegularExpression>

#include <optional>

namespace orvane::filter {

namespace {

const char* const kDescriptions[] = {
    "equals", "does not equal", "is less than", "is less than or equal to", "is greater than",
    "is greater than or equal to", "like", "not like", "between", "not between", "in", "not in",
    "is yesterday", "is today", "is tomorrow", "is last week", "is last month", "is last year",
    "is this week", "is this month", "is this year", "is next week", "is next month",
    "is next year"};

bool isNumeric(const QVariant& v)
{
    return isWholeNumber(v) || isFloatNumber(v) || isCurrency(v)
           || v.metaType().id() == QMetaType::Bool;
}

double numeric(const QVariant& v)
{
    if (isCurrency(v))
        return v.value<Currency>().toDouble();
    return v.toDouble();
}

// Orders two non-null values the way the in-memory filter does: numbers as
// numbers, dates as dates, anything else as text.
std::optional<int> compareValues(const QVariant& a, const QVariant& b, bool caseInsensitive)
{
    if (isNullValue(a) || isNullValue(b) || isEmptyValue(a) || isEmptyValue(b))
        return std::nullopt;
    if (isNumeric(a) && isNumeric(b)) {
        const double x = numeric(a), y = numeric(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    if (isDateValue(a) && isDateValue(b)) {
        const QDateTime x = dateValue(a), y = dateValue(b);
        return x < y ? -1 : (x > y ? 1 : 0);
    }
    const int c = QString::compare(a.toString(), b.toString(),
                                   caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

QStringList splitDisplay(const QString& displayText)
{
    return displayText.split(QLatin1Char(';'));
}

} // namespace

QString operatorKindDescription(int kind)
{
    if (kind < 0 || kind > kLastOperatorKind)
        return {};
    return QString::fromLatin1(kDescriptions[kind]);
}

// --- base

TcxFilterOperator::TcxFilterOperator(TcxFilterCriteriaItem& condition) : m_condition(condition) {}
TcxFilterOperator::~TcxFilterOperator() = default;

QString TcxFilterOperator::WriteCondition(const QString& fieldText) const
{
    QString text = fieldText + QLatin1Char(' ') + Symbol();
    const QString value = valueText();
    if (!value.isEmpty())
        text += QLatin1Char(' ') + value;
    return text;
}

QString TcxFilterOperator::WriteValue(const QVariant& value) const
{
    const TcxDBDataFilterCriteria& criteria = m_condition.Criteria();
    return filterValueText(value, criteria.Locale(), criteria.DateTimeFormat());
}

QString TcxFilterOperator::AdjustDisplayValue(const QString& displayText) const { return displayText; }
void TcxFilterOperator::Prepare() {}
bool TcxFilterOperator::WriteArrayValue(const QVariant&, QString&) const { return false; }
bool TcxFilterOperator::IsDescription() const { return false; }
bool TcxFilterOperator::IsExpression() const { return false; }

QString TcxFilterOperator::valueText() const
{
    const QVariant& value = m_condition.Value();
    QString text;
    if (isArray(value) && WriteArrayValue(value, text))
        return text;
    return WriteValue(value);
}

bool TcxFilterOperator::caseInsensitive() const
{
    return m_condition.Criteria().Options().testFlag(fcoCaseInsensitive);
}

// --- comparisons

bool TcxFilterEqualOperator::IsMatch(const QVariant& row) const
{
    const auto c = compareValues(row, Condition().Value(), caseInsensitive());
    return c && *c == 0;
}
QString TcxFilterEqualOperator::Description() const { return operatorKindDescription(foEqual); }
QString TcxFilterEqualOperator::Symbol() const { return QStringLiteral("="); }

bool TcxFilterNotEqualOperator::IsMatch(const QVariant& row) const { return !TcxFilterEqualOperator::IsMatch(row); }
QString TcxFilterNotEqualOperator::Description() const { return operatorKindDescription(foNotEqual); }
QString TcxFilterNotEqualOperator::Symbol() const { return QStringLiteral("<>"); }

bool TcxFilterLessOperator::IsMatch(const QVariant& row) const
{
    const auto c = compareValues(row, Condition().Value(), caseInsensitive());
    return c && *c < 0;
}
QString TcxFilterLessOperator::Description() const { return operatorKindDescription(foLess); }
QString TcxFilterLessOperator::Symbol() const { return QStringLiteral("<"); }

bool TcxFilterLessEqualOperator::IsMatch(const QVariant& row) const
{
    const auto c = compareValues(row, Condition().Value(), caseInsensitive());
    return c && *c <= 0;
}
QString TcxFilterLessEqualOperator::Description() const { return operatorKindDescription(foLessEqual); }
QString TcxFilterLessEqualOperator::Symbol() const { return QStringLiteral("<="); }

bool TcxFilterGreaterOperator::IsMatch(const QVariant& row) const
{
    const auto c = compareValues(row, Condition().Value(), caseInsensitive());
    return c && *c > 0;
}
QString TcxFilterGreaterOperator::Description() const { return operatorKindDescription(foGreater); }
QString TcxFilterGreaterOperator::Symbol() const { return QStringLiteral(">"); }

bool TcxFilterGreaterEqualOperator::IsMatch(const QVariant& row) const
{
    const auto c = compareValues(row, Condition().Value(), caseInsensitive());
    return c && *c >= 0;
}
QString TcxFilterGreaterEqualOperator::Description() const { return operatorKindDescription(foGreaterEqual); }
QString TcxFilterGreaterEqualOperator::Symbol() const { return QStringLiteral(">="); }

// --- LIKE

TcxFilterLikeOperator::Pattern TcxFilterLikeOperator::analyse(const QString& text) const
{
    const QChar percent = Condition().Criteria().PercentWildcard();
    Pattern p;
    p.core = text;
    p.core.replace(QString(2, percent), QString(percent));
    if (p.core.size() >= 2) {
        p.leading = p.core.startsWith(percent);
        p.trailing = p.core.endsWith(percent);
        if (p.leading)
            p.core.remove(0, 1);
        if (p.trailing)
            p.core.chop(1);
    }
    return p;
}

QString TcxFilterLikeOperator::AdjustDisplayValue(const QString& displayText) const
{
    if (!Condition().Criteria().Options().testFlag(fcoShowOperatorDescription))
        return displayText;
    return analyse(displayText).core;
}

bool TcxFilterLikeOperator::IsMatch(const QVariant& row) const
{
    if (isNullValue(row))
        return false;
    const TcxDBDataFilterCriteria& criteria = Condition().Criteria();
    const QString pattern = Condition().Value().toString();
    QString regex = QStringLiteral("\\A");
    for (const QChar c : pattern) {
        if (c == criteria.PercentWildcard())
            regex += QLatin1String(".*");
        else if (c == criteria.UnderscoreWildcard())
            regex += QLatin1Char('.');
        else
            regex += QRegularExpression::escape(QString(c));
    }
    regex += QLatin1String("\\z");
    QRegularExpression re(regex, QRegularExpression::DotMatchesEverythingOption);
    if (caseInsensitive())
        re.setPatternOptions(re.patternOptions() | QRegularExpression::CaseInsensitiveOption);
    return re.match(row.toString()).hasMatch();
}

QString TcxFilterLikeOperator::Description() const
{
    const Pattern p = analyse(Condition().Value().toString());
    if (p.leading && p.trailing)
        return QStringLiteral("contains");
    if (p.trailing)
        return QStringLiteral("begins with");
    if (p.leading)
        return QStringLiteral("ends with");
    return operatorKindDescription(foLike);
}
QString TcxFilterLikeOperator::Symbol() const { return QStringLiteral("LIKE"); }

bool TcxFilterNotLikeOperator::IsMatch(const QVariant& row) const { return !TcxFilterLikeOperator::IsMatch(row); }
QString TcxFilterNotLikeOperator::Description() const
{
    const Pattern p = analyse(Condition().Value().toString());
    if (p.leading && p.trailing)
        return QStringLiteral("does not contain");
    if (p.trailing)
        return QStringLiteral("does not begin with");
    if (p.leading)
        return QStringLiteral("does not end with");
    return operatorKindDescription(foNotLike);
}
QString TcxFilterNotLikeOperator::Symbol() const { return QStringLiteral("NOT LIKE"); }

// --- BETWEEN

QString TcxFilterBetweenOperator::AdjustDisplayValue(const QString& displayText) const
{
    const qsizetype semicolon = displayText.indexOf(QLatin1Char(';'));
    if (semicolon < 0)
        return displayText;
    return displayText.left(semicolon) + QStringLiteral(" and ") + displayText.mid(semicolon + 1);
}

bool TcxFilterBetweenOperator::WriteArrayValue(const QVariant& value, QString& text) const
{
    const QVariantList list = value.toList();
    if (list.isEmpty())
        return false;
    text = WriteValue(list.at(0));
    if (list.size() > 1)
        text += QStringLiteral(" AND ") + WriteValue(list.at(1));
    return true;
}

bool TcxFilterBetweenOperator::IsMatch(const QVariant& row) const
{
    const QVariantList list = Condition().Value().toList();
    if (list.size() < 2)
        return false;
    const auto low = compareValues(row, list.at(0), caseInsensitive());
    const auto high = compareValues(row, list.at(1), caseInsensitive());
    return low && high && *low >= 0 && *high <= 0;
}
QString TcxFilterBetweenOperator::Description() const { return operatorKindDescription(foBetween); }
QString TcxFilterBetweenOperator::Symbol() const { return QStringLiteral("BETWEEN"); }
bool TcxFilterBetweenOperator::IsDescription() const { return true; }

bool TcxFilterNotBetweenOperator::IsMatch(const QVariant& row) const { return !TcxFilterBetweenOperator::IsMatch(row); }
QString TcxFilterNotBetweenOperator::Description() const { return operatorKindDescription(foNotBetween); }
QString TcxFilterNotBetweenOperator::Symbol() const { return QStringLiteral("NOT BETWEEN"); }

// --- IN

QString TcxFilterInListOperator::AdjustDisplayValue(const QString& displayText) const
{
    return QLatin1Char('(') + splitDisplay(displayText).join(QLatin1String(", ")) + QLatin1Char(')');
}

bool TcxFilterInListOperator::WriteArrayValue(const QVariant& value, QString& text) const
{
    QStringList parts;
    for (const QVariant& element : value.toList())
        parts << WriteValue(element);
    text = QLatin1Char('(') + parts.join(QLatin1String(", ")) + QLatin1Char(')');
    return true;
}

bool TcxFilterInListOperator::IsMatch(const QVariant& row) const
{
    const QVariant& value = Condition().Value();
    const QVariantList list = isArray(value) ? value.toList() : QVariantList{value};
    for (const QVariant& element : list) {
        const auto c = compareValues(row, element, caseInsensitive());
        if (c && *c == 0)
            return true;
    }
    return false;
}
QString TcxFilterInListOperator::Description() const { return operatorKindDescription(foInList); }
QString TcxFilterInListOperator::Symbol() const { return QStringLiteral("IN"); }
bool TcxFilterInListOperator::IsDescription() const { return true; }

bool TcxFilterNotInListOperator::IsMatch(const QVariant& row) const { return !TcxFilterInListOperator::IsMatch(row); }
QString TcxFilterNotInListOperator::Description() const { return operatorKindDescription(foNotInList); }
QString TcxFilterNotInListOperator::Symbol() const { return QStringLiteral("NOT IN"); }

// --- blanks

QString TcxFilterNullOperator::AdjustDisplayValue(const QString& displayText) const
{
    if (Condition().Criteria().Options().testFlag(fcoShowOperatorDescription))
        return {};
    return displayText;
}
QString TcxFilterNullOperator::WriteValue(const QVariant&) const { return QStringLiteral("NULL"); }
bool TcxFilterNullOperator::IsMatch(const QVariant& row) const { return Condition().Criteria().IsValueNull(row); }
QString TcxFilterNullOperator::Description() const { return QStringLiteral("is blank"); }

bool TcxFilterNotNullOperator::IsMatch(const QVariant& row) const { return !TcxFilterNullOperator::IsMatch(row); }
QString TcxFilterNotNullOperator::Description() const { return QStringLiteral("is not blank"); }
QString TcxFilterNotNullOperator::Symbol() const { return QStringLiteral("<>"); }


// --- relative dates

TcxFilterDateOperator::TcxFilterDateOperator(TcxFilterCriteriaItem& condition)
    : TcxFilterOperator(condition)
{
}

QString TcxFilterDateOperator::WriteCondition(const QString& fieldText) const
{
    const QString d1 = WriteValue(QDateTime(m_d1, QTime(0, 0)));
    const QString d2 = WriteValue(QDateTime(m_d2, QTime(0, 0)));
    return QLatin1Char('(') + d1 + QStringLiteral(" <= ") + fieldText + QStringLiteral(") AND (")
           + fieldText + QStringLiteral(" < ") + d2 + QLatin1Char(')');
}

QString TcxFilterDateOperator::AdjustDisplayValue(const QString&) const { return {}; }

void TcxFilterDateOperator::Prepare()
{
    const TcxDBDataFilterCriteria& criteria = Condition().Criteria();
    const QDate today = criteria.CurrentDate();
    const int firstDay = int(criteria.Locale().firstDayOfWeek());
    const QDate weekStart = today.addDays(-((today.dayOfWeek() - firstDay + 7) % 7));
    range(today, weekStart, m_d1, m_d2);
}

bool TcxFilterDateOperator::IsMatch(const QVariant& row) const
{
    if (!isDateValue(row))
        return false;
    const QDateTime value = dateValue(row);
    return value >= QDateTime(m_d1, QTime(0, 0)) && value < QDateTime(m_d2, QTime(0, 0));
}

QString TcxFilterDateOperator::Symbol() const { return Description(); }
bool TcxFilterDateOperator::IsDescription() const { return true; }
bool TcxFilterDateOperator::IsExpression() const { return true; }

namespace {
QDate monthStart(const QDate& d, int monthsAhead) { return QDate(d.year(), d.month(), 1).addMonths(monthsAhead); }
QDate yearStart(const QDate& d, int yearsAhead) { return QDate(d.year() + yearsAhead, 1, 1); }
} // namespace

#define ORVANE_DATE_RANGE(Name, Kind, D1, D2)                                                   \
    QString Name::Description() const { return operatorKindDescription(Kind); }                 \
    void Name::range(const QDate& T, const QDate& W, QDate& d1, QDate& d2) const                \
    {                                                                                           \
        (void)T; (void)W;                                                                       \
        d1 = D1;                                                                                \
        d2 = D2;                                                                                \
    }
ORVANE_DATE_RANGE(TcxFilterYesterdayOperator, foYesterday, T.addDays(-1), T)
ORVANE_DATE_RANGE(TcxFilterTodayOperator, foToday, T, T.addDays(1))
ORVANE_DATE_RANGE(TcxFilterTomorrowOperator, foTomorrow, T.addDays(1), T.addDays(2))
ORVANE_DATE_RANGE(TcxFilterLastWeekOperator, foLastWeek, W.addDays(-7), W)
ORVANE_DATE_RANGE(TcxFilterLastMonthOperator, foLastMonth, monthStart(T, -1), monthStart(T, 0))
ORVANE_DATE_RANGE(TcxFilterLastYearOperator, foLastYear, yearStart(T, -1), yearStart(T, 0))
ORVANE_DATE_RANGE(TcxFilterThisWeekOperator, foThisWeek, W, W.addDays(7))
ORVANE_DATE_RANGE(TcxFilterThisMonthOperator, foThisMonth, monthStart(T, 0), monthStart(T, 1))
ORVANE_DATE_RANGE(TcxFilterThisYearOperator, foThisYear, yearStart(T, 0), yearStart(T, 1))
ORVANE_DATE_RANGE(TcxFilterNextWeekOperator, foNextWeek, W.addDays(7), W.addDays(14))
ORVANE_DATE_RANGE(TcxFilterNextMonthOperator, foNextMonth, monthStart(T, 1), monthStart(T, 2))
ORVANE_DATE_RANGE(TcxFilterNextYearOperator, foNextYear, yearStart(T, 1), yearStart(T, 2))
#undef ORVANE_DATE_RANGE

} // namespace orvane::filter
