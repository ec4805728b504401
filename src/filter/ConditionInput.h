#pragma once
// What the filter windows offer and read back, apart from any window: the
// operators the custom filter dialog and the builder list, and the reading
// of a value typed into their boxes.

#include "filter/FilterCriteria.h"
#include "store/ActivityLayout.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace orvane::filter {

// The operators the custom filter dialog and the builder offer, in the order
// they list them. The blank tests stand between "not like" and "between", so
// these are not the criteria's operator kinds: kindOfDisplayOperator() and
// displayOperatorOf() translate. None is the empty entry of a second line.
enum class DisplayOperator : int {
    None = 0,
    Equals, NotEquals, Less, LessOrEqual, Greater, GreaterOrEqual, Like, NotLike,
    IsBlank, IsNotBlank, Between, NotBetween, InList, NotInList,
    Yesterday, Today, Tomorrow, LastWeek, LastMonth, LastYear,
    ThisWeek, ThisMonth, ThisYear, NextWeek, NextMonth, NextYear,
};

// Two values: "between" and "not between".
constexpr bool isRangeOperator(DisplayOperator op)
{
    return op == DisplayOperator::Between || op == DisplayOperator::NotBetween;
}
// Any number of values: "in" and "not in".
constexpr bool isListOperator(DisplayOperator op)
{
    return op == DisplayOperator::InList || op == DisplayOperator::NotInList;
}
// "is blank" and "is not blank": a test for a null value.
constexpr bool isBlankTest(DisplayOperator op)
{
    return op == DisplayOperator::IsBlank || op == DisplayOperator::IsNotBlank;
}
// No value box: the blank tests and the relative dates.
constexpr bool takesNoValue(DisplayOperator op)
{
    return isBlankTest(op) || op >= DisplayOperator::Yesterday;
}
// A pattern with wildcards: "like" and "not like".
constexpr bool isLikeOperator(DisplayOperator op)
{
    return op == DisplayOperator::Like || op == DisplayOperator::NotLike;
}
// An ordering comparison (less, greater, and their "or equal" forms).
constexpr bool isOrderingOperator(DisplayOperator op)
{
    return op >= DisplayOperator::Less && op <= DisplayOperator::GreaterOrEqual;
}

QString displayOperatorText(DisplayOperator op);
// The display operators a value box kind offers, in list order.
QList<DisplayOperator> offeredDisplayOperators(store::FieldKind kind, bool builder);
// The condition kind a display operator produces (the blank tests: equal
// and not equal with a null value).
TcxFilterOperatorKind kindOfDisplayOperator(DisplayOperator op);
// The display operator that shows a condition.
DisplayOperator displayOperatorOf(const TcxFilterCriteriaItem& condition);
// A date typed in the user's short date form (with or without the time), or
// ISO 8601; null when it is not a date. Two-digit years fall in 1950..2049.
QVariant dateFromText(const QString& text);
// Whether a typed value converts to the column's value type.
bool convertsToFieldKind(const QVariant& value, store::FieldKind kind);

} // namespace orvane::filter
