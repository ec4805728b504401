#pragma once
// The fixed 148-column layout of the activity table P3Data. Every part of
// Orvane addresses the table's columns by position, so names, order and kinds
// are declared here once.

#include <QString>
#include <QStringList>

namespace orvane::store {

// How a column's values are typed, both in memory (QVariant) and in SQLite.
//   Text    -> QString            / TEXT
//   Number  -> double             / REAL
//   Date    -> QDateTime (local)  / TEXT "yyyy-MM-ddTHH:mm:ss" (sorts as a date)
//   Boolean -> bool               / INTEGER 0 or 1
enum class FieldKind { Text, Number, Date, Boolean };

inline constexpr int kColumnCount = 148;
inline constexpr int kDataColumnCount = 28;   // columns 0..27
inline constexpr int kFirstCodeColumn = 28;   // ActivityCode1
inline constexpr int kCodeSlots = 20;         // columns 28..47
inline constexpr int kFirstLogColumn = 48;    // Log#1
inline constexpr int kLogCount = 99;          // columns 48..146
inline constexpr int kFlagColumn = 147;       // the last column
inline constexpr int kActivityIdColumn = 0;
inline constexpr int kDescriptionColumn = 1;
inline constexpr int kActivityIdMaxLength = 10;   // P3 activity IDs hold at most 10 characters

// All 148 column names, in table order.
const QStringList& fieldNames();
QString fieldName(int column);
FieldKind fieldKind(int column);
// Column index of a field name (exact match), or -1.
int fieldIndex(const QString& name);
// Column index of a field name as SQLite matches names (case ignored), or -1.
int fieldIndexIgnoringCase(const QString& name);

// Column of log line n (1..99): 47 + n.
constexpr int logColumn(int lineNumber) { return kFirstLogColumn - 1 + lineNumber; }
// Log line number held by a log column, or 0 for any other column.
constexpr int logNumberOfColumn(int column)
{
    return column >= kFirstLogColumn && column < kFirstLogColumn + kLogCount
               ? column - kFirstLogColumn + 1 : 0;
}
// "Log#n" without leading zeros.
QString logFieldName(int lineNumber);

// The SQLite declared type of a column.
QString sqlTypeOf(int column);
// The type affinity SQLite gives a column declared `declaredType` ("TEXT",
// "NUMERIC", "INTEGER", "REAL" or "BLOB"): it decides how stored values are
// converted, so a log column of another affinity would turn "007" into 7.
QString affinityOf(const QString& declaredType);
// CREATE TABLE statement that gives P3Data exactly this layout.
QString createTableSql();

} // namespace orvane::store
