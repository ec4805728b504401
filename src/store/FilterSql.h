#pragma once
// The store's filter engine: reads a row filter text (the grammar the grid's
// filter criteria write, e.g. "(([Log#1] LIKE '%pour%') AND ([Flag] = True))")
// and turns it into a SQLite boolean expression over P3Data's columns. The
// table's row filter and the WHERE of a bulk UPDATE both go through it, so
// they always select the same rows.
//
// Grammar (keywords in any case):
//   expr      := term { OR term }
//   term      := factor { AND factor }
//   factor    := NOT factor | "(" ")" | "(" expr ")" | predicate
//   predicate := operand op operand                  op: = <> != < <= > >=
//              | field [NOT] LIKE literal
//              | field [NOT] BETWEEN literal AND literal
//              | field [NOT] IN "(" [literal {"," literal}] ")"
//              | field IS [NOT] NULL
//   operand   := field | literal;  one side of a comparison is a field
//   field     := Name | "[" any text but "]" "]"      (a P3Data column)
//   literal   := 'text' (a doubled quote stands for one) | number | True
//              | False | NULL
// Numbers are written with the locale's decimal separator ("2,5" in a comma
// locale); a separator counts only when a digit follows it, so "IN (1, 2)"
// stays a list.
//
// Meaning, the same for every caller:
// - A blank value is NULL or the empty text. "= NULL" (also "= ''" and
//   "IS NULL") selects blank values, "<> NULL" ("<> ''", "IS NOT NULL")
//   non-blank ones. A blank value satisfies no other comparison, LIKE,
//   BETWEEN or IN, so every predicate is plainly true or false and NOT
//   selects exactly the rows its operand does not.
// - A quoted text compared with a number, date or yes/no column is read in
//   the given locale (dates also in ISO form); one that does not read is an
//   error, as is an unknown column.
// - Texts are equal (=, <>, IN) and LIKE matches without regard to case, for
//   every letter with a case mapping ("Ärger" = 'ÄRGER'); the ordering
//   comparisons (<, <=, >, >=, BETWEEN) fold only the ASCII letters
//   (SQLite's NOCASE). Like SQLite's text functions, the matching sees a
//   value only up to a NUL character in it.
// - LIKE uses % for any series of characters and _ for one character. On a
//   number column it matches the number's text in the locale, on a yes/no
//   column "True"/"False", on a date column the stored "yyyy-MM-ddTHH:mm:ss".
// - "()" (an empty group) holds for every row.
// Every literal in the produced SQL is a SQLite literal built here (texts
// with doubled quotes), so no part of the filter text reaches SQLite as SQL.

#include <QDateTime>
#include <QLocale>
#include <QString>

namespace orvane::store {

// Returns a SQLite expression equivalent to filterText. Throws DatabaseError
// with a clear message when the text cannot be read; nothing is run then.
// An empty text selects every row.
QString filterTextToSql(const QString& filterText, const QLocale& locale = QLocale());

// Text forms of values inside a filter text, shared by the writer of the
// text (the grid's criteria) and the engine that reads it back:
// the locale's short date with a four-digit year,
QString filterDateFormat(const QLocale& locale);
// the locale's long time without the time zone,
QString filterTimeFormat(const QLocale& locale);
// a date, followed by a blank and the time when the time of day is not zero,
QString filterDateTimeText(const QDateTime& value, const QLocale& locale);
// and a number in general format with up to 15 significant digits and the
// locale's decimal separator ("2,5", "1E20").
QString filterNumberText(double value, const QLocale& locale);

// Reads a date text written by filterDateTimeText (or an ISO date/time);
// returns an invalid QDateTime when it does not read.
QDateTime parseFilterDateTime(const QString& text, const QLocale& locale);

} // namespace orvane::store
