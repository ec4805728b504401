#pragma once
// A date, number or yes/no value copied into a text column by a statement
// ("UPDATE [P3Data] SET [Log#3] = [EarlyStart]") arrives as the text the grid
// shows for it, not as its storage form ("2024-03-01T00:00:00", "5.0"); a
// date arrives whole: with its time of day, which the grid keeps for the
// tooltip, and always with a four-digit year.
//
// The dialect layer rewrites such an assignment so that SQLite formats the
// source through the function registered here; the statement text the
// program builds stays as it is.

#include "store/ActivityLayout.h"

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QVariant>

struct sqlite3;

namespace orvane::store {

// The text shown for a value of the given kind, in the default locale: a
// number in general format with the locale's decimal separator and no group
// separators; a date as dateText(value, false); a yes/no value as
// "True"/"False". Null gives the empty (null) QString.
QString displayText(const QVariant& value, FieldKind kind);

// The locale's short date format with the year in four digits.
QString fullYearDateFormat(const QLocale& locale);

// A date in the locale's short date format with a four-digit year, and
// with the short time after it when withTime and the time is not midnight.
QString dateText(const QDateTime& dt, bool withTime);

// The text a statement copies into a log: displayText(), except that a
// date keeps its time of day (dateText(value, true)).
QString copiedText(const QVariant& value, FieldKind kind);

// Registers the SQL function orvane_display_text(value, kind) on a
// connection (kind is the FieldKind as an integer).
void registerDisplayTextFunction(sqlite3* db);

// In "UPDATE table SET a = b, ..." (the part before any WHERE), replaces
// every source b that is a P3Data column of another kind than text by
// orvane_display_text(b, kind) when its target a is a text column. Any
// other text comes back unchanged.
QString wrapCopiedValues(const QString& updateText);

} // namespace orvane::store
