#pragma once
// Operator kinds of filter conditions and the operator classes that write a
// condition into the filter text and the display text. A condition owns one
// operator object, chosen from its kind and value (see
// TcxDBDataFilterCriteria::CreateOperator).

#include <QDate>
#include <QString>
#include <QVariant>

#include <memory>

namespace orvane::filter {

class TcxFilterCriteriaItem;

// Stored as one byte in the stream form; the numbers are fixed.
enum TcxFilterOperatorKind : quint8 {
    foEqual = 0, foNotEqual = 1, foLess = 2, foLessEqual = 3, foGreater = 4,
    foGreaterEqual = 5, foLike = 6, foNotLike = 7, foBetween = 8, foNotBetween = 9,
    foInList = 10, foNotInList = 11, foYesterday = 12, foToday = 13, foTomorrow = 14,
    foLastWeek = 15, foLastMonth = 16, foLastYear = 17, foThisWeek = 18,
    foThisMonth = 19, foThisYear = 20, foNextWeek = 21, foNextMonth = 22,
    foNextYear = 23
};
inline constexpr int kLastOperatorKind = foNextYear;


// Boolean kind of a group; one byte in the stream form.
enum TcxFilterBoolOperatorKind : quint8 { fboAnd = 0, fboOr = 1, fboNotAnd = 2, fboNotOr = 3 };
inline constexpr int kLastBoolOperatorKind = fboNotOr;

// Base of all operator classes. An operator knows its condition and, through
// it, the criteria (locale, date format, wildcards, options).
class TcxFilterOperator {
public:
    explicit TcxFilterOperator(TcxFilterCriteriaItem& condition);
    virtual ~TcxFilterOperator();
    TcxFilterOperator(const TcxFilterOperator&) = delete;
    TcxFilterOperator& operator=(const TcxFilterOperator&) = delete;

    // The whole condition in the filter text, given the field text F:
    // "F <symbol>" and, when the value text is not empty, " <value text>".
    virtual QString WriteCondition(const QString& fieldText) const;
    // Text of a single value (quotes doubled in texts).
    virtual QString WriteValue(const QVariant& value) const;
    // The value part of the display text, made from the condition's display text.
    virtual QString AdjustDisplayValue(const QString& displayText) const;
    // Called before every filter text is built.
    virtual void Prepare();
    // Writes an array value; answers whether it wrote anything.
    virtual bool WriteArrayValue(const QVariant& value, QString& text) const;
    // Tests a row value in memory (the table's engine does the real filtering).
    virtual bool IsMatch(const QVariant& rowValue) const = 0;
    virtual QString Description() const = 0;
    virtual QString Symbol() const = 0;
    // Whether the display text shows the description instead of the symbol.
    virtual bool IsDescription() const;
    // Whether the class writes the whole condition itself.
    virtual bool IsExpression() const;

    TcxFilterCriteriaItem& Condition() const { return m_condition; }

protected:
    // The value text of the condition's value (arrays through WriteArrayValue).
    QString valueText() const;
    bool caseInsensitive() const;

private:
    TcxFilterCriteriaItem& m_condition;
};

class TcxFilterEqualOperator : public TcxFilterOperator {
public:
    using TcxFilterOperator::TcxFilterOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

class TcxFilterNotEqualOperator : public TcxFilterEqualOperator {
public:
    using TcxFilterEqualOperator::TcxFilterEqualOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

class TcxFilterLessOperator : public TcxFilterOperator {
public:
    using TcxFilterOperator::TcxFilterOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

class TcxFilterLessEqualOperator : public TcxFilterOperator {
public:
    using TcxFilterOperator::TcxFilterOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

class TcxFilterGreaterOperator : public TcxFilterOperator {
public:
    using TcxFilterOperator::TcxFilterOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

class TcxFilterGreaterEqualOperator : public TcxFilterOperator {
public:
    using TcxFilterOperator::TcxFilterOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

class TcxFilterLikeOperator : public TcxFilterOperator {
public:
    using TcxFilterOperator::TcxFilterOperator;
    QString AdjustDisplayValue(const QString& displayText) const override;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;

protected:
    // The pattern with doubled percent wildcards reduced, and whether it
    // has a leading / trailing percent wildcard (patterns of two or more
    // characters only).
    struct Pattern { QString core; bool leading = false; bool trailing = false; };
    Pattern analyse(const QString& text) const;
};

class TcxFilterNotLikeOperator : public TcxFilterLikeOperator {
public:
    using TcxFilterLikeOperator::TcxFilterLikeOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

class TcxFilterBetweenOperator : public TcxFilterOperator {
public:
    using TcxFilterOperator::TcxFilterOperator;
    QString AdjustDisplayValue(const QString& displayText) const override;
    bool WriteArrayValue(const QVariant& value, QString& text) const override;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
    bool IsDescription() const override;
};

class TcxFilterNotBetweenOperator : public TcxFilterBetweenOperator {
public:
    using TcxFilterBetweenOperator::TcxFilterBetweenOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

class TcxFilterInListOperator : public TcxFilterOperator {
public:
    using TcxFilterOperator::TcxFilterOperator;
    QString AdjustDisplayValue(const QString& displayText) const override;
    bool WriteArrayValue(const QVariant& value, QString& text) const override;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
    bool IsDescription() const override;
};

class TcxFilterNotInListOperator : public TcxFilterInListOperator {
public:
    using TcxFilterInListOperator::TcxFilterInListOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

// "is blank": written "F = NULL".
class TcxFilterNullOperator : public TcxFilterEqualOperator {
public:
    using TcxFilterEqualOperator::TcxFilterEqualOperator;
    QString WriteValue(const QVariant& value) const override;   // always NULL
    QString AdjustDisplayValue(const QString& displayText) const override;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
};

// "is not blank": written "F <> NULL".
class TcxFilterNotNullOperator : public TcxFilterNullOperator {
public:
    using TcxFilterNullOperator::TcxFilterNullOperator;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Description() const override;
    QString Symbol() const override;
};

// Base of the relative-date operators: the range [D1, D2) computed from the
// current date in Prepare(), written as "('D1' <= F) AND (F < 'D2')".
class TcxFilterDateOperator : public TcxFilterOperator {
public:
    explicit TcxFilterDateOperator(TcxFilterCriteriaItem& condition);
    QString WriteCondition(const QString& fieldText) const override;
    QString AdjustDisplayValue(const QString& displayText) const override;
    void Prepare() override;
    bool IsMatch(const QVariant& rowValue) const override;
    QString Symbol() const override;   // the description
    bool IsDescription() const override;
    bool IsExpression() const override;
    QDate D1() const { return m_d1; }
    QDate D2() const { return m_d2; }

protected:
    // The range for today's date T and week start W.
    virtual void range(const QDate& today, const QDate& weekStart, QDate& d1, QDate& d2) const = 0;

private:
    QDate m_d1;
    QDate m_d2;
};

#define ORVANE_DATE_OPERATOR(Name)                                                      \
    class Name : public TcxFilterDateOperator {                                         \
    public:                                                                             \
        using TcxFilterDateOperator::TcxFilterDateOperator;                             \
        QString Description() const override;                                           \
    protected:                                                                          \
        void range(const QDate& today, const QDate& weekStart, QDate& d1, QDate& d2) const override; \
    };
ORVANE_DATE_OPERATOR(TcxFilterYesterdayOperator)
ORVANE_DATE_OPERATOR(TcxFilterTodayOperator)
ORVANE_DATE_OPERATOR(TcxFilterTomorrowOperator)
ORVANE_DATE_OPERATOR(TcxFilterLastWeekOperator)
ORVANE_DATE_OPERATOR(TcxFilterLastMonthOperator)
ORVANE_DATE_OPERATOR(TcxFilterLastYearOperator)
ORVANE_DATE_OPERATOR(TcxFilterThisWeekOperator)
ORVANE_DATE_OPERATOR(TcxFilterThisMonthOperator)
ORVANE_DATE_OPERATOR(TcxFilterThisYearOperator)
ORVANE_DATE_OPERATOR(TcxFilterNextWeekOperator)
ORVANE_DATE_OPERATOR(TcxFilterNextMonthOperator)
ORVANE_DATE_OPERATOR(TcxFilterNextYearOperator)
#undef ORVANE_DATE_OPERATOR

// The description of an operator kind ("equals", "is today", ...).
QString operatorKindDescription(int kind);

} // namespace orvane::filter
