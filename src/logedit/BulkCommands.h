#pragma once
// The bulk log copy commands: one UPDATE statement that rewrites one column
// of every row of P3Data, or of the rows the table's row filter lets
// through. The dialogs and orvane-batch build and run the statements here.

#include <QLocale>
#include <QString>

namespace orvane::store {
class ActivityStore;
class ActivityTable;
} // namespace orvane::store

namespace orvane::logedit {

// The log number a number box's text names: a whole number from 1 to 99,
// written with the digits of the box's locale or with ASCII digits. Any
// other text (0, 100, -1, empty, letters) names no log column: throws
// OrvaneError naming the text, before anything runs.
int logNumberFromText(const QString& text, const QLocale& locale = QLocale::c());

// The statement texts. Log numbers and field names are taken as given (the
// text a number box shows); nothing else is added.
//   "UPDATE [P3Data] SET [Log#<y>] = [Log#<x>]"
QString log2LogStatement(const QString& x, const QString& y);
//   "UPDATE [P3Data] SET [Log#<n>] = [Description]"
QString descriptionToLogStatement(const QString& n);
//   "UPDATE [P3Data] SET [Description] = [Log#<n>]"
QString logToDescriptionStatement(const QString& n);
//   "UPDATE [P3Data] SET [Log#<n>] = [<field>]"
QString dataToLogStatement(const QString& field, const QString& n);
// The same with checked log numbers, always written with ASCII digits.
QString log2LogStatement(int x, int y);
QString descriptionToLogStatement(int n);
QString logToDescriptionStatement(int n);
QString dataToLogStatement(const QString& field, int n);

// The statement followed by " WHERE " and the table's filter text when the
// table's row filter is on; unchanged otherwise.
QString withRowFilter(const QString& statement, const store::ActivityTable& table);

// Runs one bulk statement (with the row filter, as above) through qLog2Log
// and re-reads the table however the statement ends, so the grid and an
// open multi-line editor land on the first row. An error of the statement
// is passed on after the re-read. The cells it changes are kept in the
// store's undo history. Returns the number of rows changed.
int runBulkStatement(store::ActivityStore& store, const QString& statement);

// What a bulk statement did, for the user: "Log#3 => Log#10: 16 rows" for
// "UPDATE [P3Data] SET [Log#10] = [Log#3]" that changed 16 rows.
QString bulkFeedback(const QString& statement, int rowsChanged);

} // namespace orvane::logedit
