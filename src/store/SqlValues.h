#pragma once
// Conversion between the in-memory values of the activity table (QVariant,
// typed by the column's FieldKind) and SQLite's storage classes.

#include "store/ActivityLayout.h"

#include <QDateTime>
#include <QHash>
#include <QVariant>

struct sqlite3_stmt;

namespace orvane::store {

// Binds value to parameter index (1-based) the way column `column` stores it.
// Throws DatabaseError when SQLite refuses.
void bindColumnValue(sqlite3_stmt* stmt, int index, int column, const QVariant& value);

// Binds a value by its own type (parameters not tied to a column).
void bindValue(sqlite3_stmt* stmt, int index, const QVariant& value);

// Reading many rows meets the same dates again and again; turning a stored
// date into a local QDateTime costs a time-zone lookup, so a bulk reader
// keeps the values it made here, keyed by the packed date digits.
using DateCache = QHash<qint64, QDateTime>;

// "yyyy-MM-ddTHH:mm:ss" packed as the number yyyyMMddHHmmss (which sorts
// as the date does), or -1 when the text has another shape.
qint64 packedDate(const char* text, int size);
// The local date and time of a packed date; invalid when the digits name
// no date (month 13, say).
QDateTime unpackDate(qint64 packed);
// Whether unpackDate() gives a valid value, without the time-zone lookup
// of making one.
bool isValidPackedDate(qint64 packed);

// Reads result column `resultColumn` as the table column `column` holds it.
QVariant readColumnValue(sqlite3_stmt* stmt, int resultColumn, int column, DateCache* cache = nullptr);

// The stored text form of a date: "yyyy-MM-ddTHH:mm:ss" (sorts as a date).
QString dateToStorage(const QDateTime& value);
QDateTime dateFromStorage(const QString& text);

// A value converted to the kind a column holds (a text typed into a number
// column, a date given as text, ...). Null stays null; an unreadable value
// throws DatabaseError naming the column.
QVariant coerceToColumn(int column, const QVariant& value);

} // namespace orvane::store
