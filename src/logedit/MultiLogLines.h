#pragma once
// The data side of the multi-line log editor: which log lines a range shows,
// how the typed lines map back onto the log lines of the range, and reading
// and writing the current row of the activity table.

#include <QString>
#include <QStringList>
#include <QVector>

namespace orvane::store {
class ActivityTable;
}

namespace orvane::logedit {

inline constexpr int kMultiLogCount = 99;

// The value of a range box read from its text: a whole number, or 1 when the
// text is not one (the box may hold anything while the user types).
int rangeBoxValue(const QString& text);

// The lines the text box shows for the range first..last of logValues
// (log line n is entry n - 1). Filling runs from first up and stops at the
// first number outside 1..99, so a range starting below 1 shows nothing and
// one ending above 99 stops after line 99; last < first shows nothing.
// *stoppedEarly tells whether filling stopped at such a number.
QStringList rangeLines(const QStringList& logValues, int first, int last, bool* stoppedEarly = nullptr);

// Log line number and new text for applying typed lines to the range
// first..last, both clamped to 1..99: line k of typed goes to log line
// first + k; a log line the typed text has no line for becomes empty; typed
// lines beyond the range are ignored. Empty when last < first.
struct LogLineText {
    int number;
    QString text;
};
QVector<LogLineText> linesToApply(const QStringList& typed, int first, int last);

// The typed text split into its lines. Only hard line breaks separate lines:
// a long line that the box wraps for display stays one line, whatever its
// length.
QStringList typedLines(const QString& plainText);

// The 99 log lines of the table's current row (a null value gives the
// empty text; no current row gives 99 empty texts). Log line n is field
// F - 101 + n of the F fields.
QStringList readLogValues(const store::ActivityTable& table);

// Edits the current row, sets the log lines of linesToApply() and posts it.
// When the post fails the edit is dropped (so the table does not stay in
// edit mode and fail again at every move) and the error is passed on.
void writeLogLines(store::ActivityTable& table, const QStringList& typed, int first, int last);

} // namespace orvane::logedit
