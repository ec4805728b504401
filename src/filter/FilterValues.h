#pragma once
// Values a filter condition can hold, beside the plain QVariant types:
//   null                 QVariant() (or any null QVariant)
//   empty (no value)     EmptyValue
//   text                 QString
//   whole number         int / qlonglong (and the other integer types)
//   floating point       double, float
//   currency             Currency (ten-thousandths, exact)
//   date                 QDateTime (local) or QDate
//   true/false           bool
//   array                QVariantList (between: two elements; in-list: any)

#include <QLocale>
#include <QMetaType>
#include <QString>
#include <QVariant>

namespace orvane::filter {

// "No value": a condition whose text ends with its operator symbol.
struct EmptyValue {
    bool operator==(const EmptyValue&) const { return true; }
};

// A currency amount as a count of ten-thousandths.
struct Currency {
    qint64 tenThousandths = 0;
    bool operator==(const Currency& o) const { return tenThousandths == o.tenThousandths; }
    double toDouble() const { return double(tenThousandths) / 10000.0; }
};

QVariant emptyValue();
bool isEmptyValue(const QVariant& v);
// The null value (not the empty one).
bool isNullValue(const QVariant& v);
bool isCurrency(const QVariant& v);
bool isArray(const QVariant& v);
bool isWholeNumber(const QVariant& v);
bool isFloatNumber(const QVariant& v);
bool isDateValue(const QVariant& v);
// A QDate or QDateTime as a QDateTime (time zero for a date).
QDateTime dateValue(const QVariant& v);

// Text of a single value in a filter text: 'text' with quotes doubled,
// '<date>', numbers with the locale's decimal separator, True/False, NULL;
// dateTimeFormat (when not empty) replaces the locale's date form.
QString filterValueText(const QVariant& v, const QLocale& locale, const QString& dateTimeFormat);

} // namespace orvane::filter

Q_DECLARE_METATYPE(orvane::filter::EmptyValue)
Q_DECLARE_METATYPE(orvane::filter::Currency)
