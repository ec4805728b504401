#include "filter/ConditionInput.h"

#include "store/CopiedValueText.h"

#include <QDateTime>
#include <QLocale>

namespace orvane::filter {

QString displayOperatorText(DisplayOperator op)
{
    static const char* const texts[] = {
        "", "equals", "does not equal", "is less than", "is less than or equal to", "is greater than",
        "is greater than or equal to", "like", "not like", "is blank", "is not blank", "between",
        "not between", "in", "not in", "is yesterday", "is today", "is tomorrow", "is last week",
        "is last month", "is last year", "is this week", "is this month", "is this year", "is next week",
        "is next month", "is next year"};
    const int number = int(op);
    if (number < int(DisplayOperator::Equals) || number > int(DisplayOperator::NextYear))
        return QString();
    return QString::fromLatin1(texts[number]);
}

QList<DisplayOperator> offeredDisplayOperators(store::FieldKind kind, bool builder)
{
    using D = DisplayOperator;
    QList<DisplayOperator> list;
    auto range = [&list](D first, D last) {
        for (int n = int(first); n <= int(last); ++n)
            list << D(n);
    };
    switch (kind) {
    case store::FieldKind::Text:
    case store::FieldKind::Number:
        // mask box without a mask
        range(D::Equals, builder ? D::NotInList : D::IsNotBlank);
        break;
    case store::FieldKind::Boolean:
        list << D::Equals << D::NotEquals << D::IsBlank << D::IsNotBlank;
        break;
    case store::FieldKind::Date:
        range(D::Equals, D::GreaterOrEqual);
        range(D::IsBlank, builder ? D::NextYear : D::IsNotBlank);
        break;
    }
    return list;
}

TcxFilterOperatorKind kindOfDisplayOperator(DisplayOperator op)
{
    switch (op) {
    case DisplayOperator::IsBlank: return foEqual;
    case DisplayOperator::IsNotBlank: return foNotEqual;
    default: break;
    }
    // Up to "not like" the kinds run one behind; after the blank tests,
    // three behind.
    const int number = int(op);
    return TcxFilterOperatorKind(op <= DisplayOperator::NotLike ? number - 1 : number - 3);
}

DisplayOperator displayOperatorOf(const TcxFilterCriteriaItem& condition)
{
    const int kind = condition.OperatorKind();
    if ((kind == foEqual || kind == foNotEqual) && isNullValue(condition.Value()))
        return kind == foEqual ? DisplayOperator::IsBlank : DisplayOperator::IsNotBlank;
    if (kind <= foNotLike)
        return DisplayOperator(kind + 1);
    return DisplayOperator(kind + 3);
}

QVariant dateFromText(const QString& text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QVariant();
    const QLocale locale;
    // The forms the grid and copied logs write first: the short date with a
    // four-digit year, with or without the short time.
    const QString fullYear = store::fullYearDateFormat(locale);
    QDateTime dt = locale.toDateTime(t, fullYear + QLatin1Char(' ') + locale.timeFormat(QLocale::ShortFormat));
    if (!dt.isValid()) {
        const QDate d = locale.toDate(t, fullYear);
        if (d.isValid())
            dt = QDateTime(d, QTime(0, 0));
    }
    if (dt.isValid())
        return dt;
    dt = locale.toDateTime(t, QLocale::ShortFormat);
    QString format = locale.dateTimeFormat(QLocale::ShortFormat);
    if (!dt.isValid()) {
        const QDate d = locale.toDate(t, QLocale::ShortFormat);
        if (d.isValid())
            dt = QDateTime(d, QTime(0, 0));
        format = locale.dateFormat(QLocale::ShortFormat);
    }
    if (dt.isValid() && !format.contains(QLatin1String("yyyy")) && dt.date().year() < 1950)
        dt = dt.addYears(100);
    if (!dt.isValid())
        dt = QDateTime::fromString(t, Qt::ISODate);
    return dt.isValid() ? QVariant(dt) : QVariant();
}

bool convertsToFieldKind(const QVariant& value, store::FieldKind kind)
{
    if (isNullValue(value))
        return true;
    switch (kind) {
    case store::FieldKind::Text:
        return true;
    case store::FieldKind::Number: {
        if (value.metaType().id() != QMetaType::QString)
            return value.canConvert<double>();
        bool ok = false;
        QLocale().toDouble(value.toString().trimmed(), &ok);
        if (!ok)
            QLocale::c().toDouble(value.toString().trimmed(), &ok);
        return ok;
    }
    case store::FieldKind::Date:
        return isDateValue(value);
    case store::FieldKind::Boolean:
        return value.metaType().id() == QMetaType::Bool;
    }
    return false;
}

} // namespace orvane::filter
