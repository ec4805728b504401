#include "store/SqlValues.h"

#include "common/Errors.h"
#include "common/Utf8Text.h"
#include "store/Statement.h"

#include <QDateTime>
#include <QLocale>
#include <sqlite3.h>

namespace orvane::store {

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

void check(sqlite3_stmt* stmt, int rc)
{
    if (rc != SQLITE_OK)
        throw DatabaseError(engineMessage(sqlite3_db_handle(stmt), rc));
}

void bindText(sqlite3_stmt* stmt, int index, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    check(stmt, sqlite3_bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT));
}

} // namespace

QString dateToStorage(const QDateTime& value)
{
    return value.toString(kDateFormat);
}

qint64 packedDate(const char* s, int size)
{
    if (size != 19 || s[4] != '-' || s[7] != '-' || s[10] != 'T' || s[13] != ':' || s[16] != ':')
        return -1;
    qint64 packed = 0;
    for (int i = 0; i < 19; ++i) {
        if (i == 4 || i == 7 || i == 10 || i == 13 || i == 16)
            continue;
        if (s[i] < '0' || s[i] > '9')
            return -1;
        packed = packed * 10 + (s[i] - '0');
    }
    return packed;
}

namespace {

std::pair<QDate, QTime> packedDateParts(qint64 packed)
{
    const int second = int(packed % 100), minute = int(packed / 100 % 100), hour = int(packed / 10000 % 100);
    const int day = int(packed / 1000000 % 100), month = int(packed / 100000000 % 100);
    const int year = int(packed / 10000000000LL);
    return {QDate(year, month, day), QTime(hour, minute, second)};
}

} // namespace

QDateTime unpackDate(qint64 packed)
{
    const auto [date, time] = packedDateParts(packed);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

bool isValidPackedDate(qint64 packed)
{
    if (packed < 0)
        return false;
    const auto [date, time] = packedDateParts(packed);
    return date.isValid() && time.isValid();
}

QDateTime dateFromStorage(const QString& text)
{
    const QByteArray latin = text.toLatin1();
    const qint64 packed = packedDate(latin.constData(), int(latin.size()));
    if (packed >= 0)
        return unpackDate(packed);
    QDateTime dt = QDateTime::fromString(text, kDateFormat);
    if (!dt.isValid())
        dt = QDateTime::fromString(text, Qt::ISODate);
    return dt;
}

QVariant coerceToColumn(int column, const QVariant& value)
{
    if (value.isNull() || !value.isValid())
        return QVariant();
    const auto fail = [&] {
        throw DatabaseError(QStringLiteral("\"%1\" is not a valid value for the field %2")
                                .arg(value.toString(), fieldName(column)));
    };
    switch (fieldKind(column)) {
    case FieldKind::Text:
        return value.toString();
    case FieldKind::Number: {
        if (value.typeId() == QMetaType::Double)
            return value;
        bool ok = false;
        double d = value.toDouble(&ok);
        if (!ok && value.typeId() == QMetaType::QString)
            d = QLocale().toDouble(value.toString(), &ok);
        if (!ok)
            fail();
        return d;
    }
    case FieldKind::Date: {
        if (value.typeId() == QMetaType::QDateTime)
            return value;
        if (value.typeId() == QMetaType::QDate)
            return QDateTime(value.toDate(), QTime(0, 0));
        const QDateTime dt = dateFromStorage(value.toString());
        if (!dt.isValid())
            fail();
        return dt;
    }
    case FieldKind::Boolean:
        if (value.typeId() == QMetaType::Bool)
            return value;
        if (value.typeId() == QMetaType::QString) {
            const QString s = value.toString().trimmed().toLower();
            if (s == QLatin1String("true") || s == QLatin1String("1") || s == QLatin1String("yes"))
                return true;
            if (s == QLatin1String("false") || s == QLatin1String("0") || s == QLatin1String("no"))
                return false;
            fail();
        }
        return value.toBool();
    }
    return value;
}

void bindColumnValue(sqlite3_stmt* stmt, int index, int column, const QVariant& value)
{
    const QVariant v = coerceToColumn(column, value);
    if (v.isNull()) {
        check(stmt, sqlite3_bind_null(stmt, index));
        return;
    }
    switch (fieldKind(column)) {
    case FieldKind::Text:
        bindText(stmt, index, v.toString());
        break;
    case FieldKind::Number:
        check(stmt, sqlite3_bind_double(stmt, index, v.toDouble()));
        break;
    case FieldKind::Date:
        bindText(stmt, index, dateToStorage(v.toDateTime()));
        break;
    case FieldKind::Boolean:
        check(stmt, sqlite3_bind_int(stmt, index, v.toBool() ? 1 : 0));
        break;
    }
}

void bindValue(sqlite3_stmt* stmt, int index, const QVariant& value)
{
    if (value.isNull() || !value.isValid()) {
        check(stmt, sqlite3_bind_null(stmt, index));
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        check(stmt, sqlite3_bind_int(stmt, index, value.toBool() ? 1 : 0));
        break;
    case QMetaType::Int: case QMetaType::LongLong: case QMetaType::UInt: case QMetaType::ULongLong:
        check(stmt, sqlite3_bind_int64(stmt, index, value.toLongLong()));
        break;
    case QMetaType::Double: case QMetaType::Float:
        check(stmt, sqlite3_bind_double(stmt, index, value.toDouble()));
        break;
    case QMetaType::QDateTime:
        bindText(stmt, index, dateToStorage(value.toDateTime()));
        break;
    default:
        bindText(stmt, index, value.toString());
        break;
    }
}

QVariant readColumnValue(sqlite3_stmt* stmt, int resultColumn, int column, DateCache* cache)
{
    const int type = sqlite3_column_type(stmt, resultColumn);
    if (type == SQLITE_NULL)
        return QVariant();
    switch (fieldKind(column)) {
    case FieldKind::Number:
        return sqlite3_column_double(stmt, resultColumn);
    case FieldKind::Boolean:
        return sqlite3_column_int(stmt, resultColumn) != 0;
    case FieldKind::Date:
        if (type == SQLITE_TEXT && cache) {
            const qint64 packed = packedDate(reinterpret_cast<const char*>(sqlite3_column_text(stmt, resultColumn)),
                                             sqlite3_column_bytes(stmt, resultColumn));
            if (packed >= 0) {
                auto it = cache->constFind(packed);
                if (it == cache->constEnd())
                    it = cache->insert(packed, unpackDate(packed));
                if (it->isValid())
                    return *it;
            }
        }
        if (type == SQLITE_TEXT) {
            const QDateTime dt = dateFromStorage(QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(stmt, resultColumn)),
                sqlite3_column_bytes(stmt, resultColumn)));
            if (dt.isValid())
                return dt;
        }
        break;
    case FieldKind::Text:
        break;
    }
    return textFromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, resultColumn)),
                             sqlite3_column_bytes(stmt, resultColumn));
}

} // namespace orvane::store
