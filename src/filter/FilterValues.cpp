#include "filter/FilterValues.h"

#include "store/FilterSql.h"

#include <QDateTime>

namespace orvane::filter {

QVariant emptyValue()
{
    return QVariant::fromValue(EmptyValue{});
}

bool isEmptyValue(const QVariant& v)
{
    return v.metaType() == QMetaType::fromType<EmptyValue>();
}

bool isNullValue(const QVariant& v)
{
    return !v.isValid() || v.metaType() == QMetaType::fromType<std::nullptr_t>()
           || (v.isNull() && !isEmptyValue(v));
}

bool isCurrency(const QVariant& v)
{
    return v.metaType() == QMetaType::fromType<Currency>();
}

bool isArray(const QVariant& v)
{
    return v.metaType().id() == QMetaType::QVariantList;
}

bool isWholeNumber(const QVariant& v)
{
    switch (v.metaType().id()) {
    case QMetaType::Int: case QMetaType::UInt: case QMetaType::LongLong:
    case QMetaType::ULongLong: case QMetaType::Short: case QMetaType::UShort:
    case QMetaType::Long: case QMetaType::ULong: case QMetaType::SChar:
    case QMetaType::UChar: case QMetaType::Char:
        return true;
    default:
        return false;
    }
}

bool isFloatNumber(const QVariant& v)
{
    const int id = v.metaType().id();
    return id == QMetaType::Double || id == QMetaType::Float;
}

bool isDateValue(const QVariant& v)
{
    const int id = v.metaType().id();
    return id == QMetaType::QDateTime || id == QMetaType::QDate;
}

QDateTime dateValue(const QVariant& v)
{
    if (v.metaType().id() == QMetaType::QDate)
        return QDateTime(v.toDate(), QTime(0, 0));
    return v.toDateTime();
}

static QString quoted(const QString& text)
{
    QString doubled = text;
    doubled.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + doubled + QLatin1Char('\'');
}

QString filterValueText(const QVariant& v, const QLocale& locale, const QString& dateTimeFormat)
{
    if (isEmptyValue(v))
        return {};
    if (isNullValue(v))
        return QStringLiteral("NULL");
    if (isArray(v)) {
        QStringList parts;
        for (const QVariant& element : v.toList())
            parts << filterValueText(element, locale, dateTimeFormat);
        return QLatin1Char('(') + parts.join(QLatin1String(", ")) + QLatin1Char(')');
    }
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    if (isWholeNumber(v)) {
        const int id = v.metaType().id();
        if (id == QMetaType::ULongLong || id == QMetaType::ULong)
            return QString::number(v.toULongLong());
        return QString::number(v.toLongLong());
    }
    if (isFloatNumber(v))
        return store::filterNumberText(v.toDouble(), locale);
    if (isCurrency(v))
        return store::filterNumberText(v.value<Currency>().toDouble(), locale);
    if (isDateValue(v)) {
        const QDateTime dt = dateValue(v);
        if (!dateTimeFormat.isEmpty())
            return quoted(locale.toString(dt, dateTimeFormat));
        return quoted(store::filterDateTimeText(dt, locale));
    }
    return quoted(v.toString());
}

} // namespace orvane::filter
