#pragma once
// A date, number or yes/no value copied into a text column by a statement
// ("UPDATE [P3Data] SET [Log#3] = [EarlyStart]") arrives as the text the grid
// shows for it, not as its storage form ("2024-03-01T00:00:00", "5.0").
//
// The dialect layer rewrites such an assignment so that SQLite formats the
// source through the function registered here; the statement text the
// program builds stays as it is.

#include "store/ActivityLayout.h"

#include <QString>
#include <QVariant>

struct sqlite3;

namespace orvane::store {

// The text shown for a value of the given kind, in the default locale: a
// number in general format with the locale's decimal separator and no group
// separators; a date in the locale's short date format, with the short time
// when the time of day is not midnight; a yes/no value as "True"/"False".
// Null gives the empty (null) QString.
QString displayText(const QVariant& value, FieldKind kind);

// Registers the SQL function orvane_display_text(value, kind) on a
// connection (kind is the FieldKind as an integer).
void registerDisplayTextFunction(sqlite3* db);

// In "UPDATE table SET a = b, ..." (the part before any WHERE), replaces
// every source b that is a P3Data column of another kind than text by
// orvane_display_text(b, kind) when its target a is a text column. Any
// other text comes back unchanged.
QString wrapCopiedValues(const QString& updateText);

} // namespace orvane::store
