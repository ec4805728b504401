#pragma once
// The data side of the multi-line log editor: which log lines a range shows,
// how the typed lines map back onto the log lines of the range, and reading
// and writing the current row of the activity table.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <QVector>

namespace orvane::store {
class ActivityTable;
}

namespace orvane::logedit {

inline constexpr int kMultiLogCount = 99;

// The value of a range box read from its text (digits of the box's locale
// or ASCII digits): a whole number, or 1 when the text is not one (the box
// may hold anything while the user types).
int rangeBoxValue(const QString& text, const QLocale& locale = QLocale::c());

// The text box holds one log per line. A line break stored inside a log
// (CR LF, CR, LF, U+2028, U+2029) shows as this mark, so the log stays one
// line and every later log keeps its line.
inline constexpr QChar kStoredBreakMark = QChar(0x21B5);   // "↵"

// The line that shows a stored log.
QString shownLogLine(const QString& stored);
// The log a line of the text box stands for. A line still as shownLogLine
// showed `stored` gives `stored` itself, every character as it was. An
// edited line gives its text with each mark turned back into a line break:
// the log's own breaks (and literal marks) in their order when the line
// holds as many marks as the log had, else LF for each.
QString logOfLine(const QString& line, const QString& stored);

// The lines the text box shows (shownLogLine) for the range first..last of
// logValues (log line n is entry n - 1). Filling runs from first up and stops at the
// first number outside 1..99, so a range starting below 1 shows nothing and
// one ending above 99 stops after line 99; last < first shows nothing.
// *stoppedEarly tells whether filling stopped at such a number.
QStringList rangeLines(const QStringList& logValues, int first, int last, bool* stoppedEarly = nullptr);

// Log line number and new text for applying typed lines to the range
// first..last, both clamped to 1..99: line k of typed goes to log line
// first + k (through logOfLine); a log line the typed text has no line for
// becomes empty; typed lines beyond the range are ignored. Empty when
// last < first. `loaded` holds the 99 values the text box was filled from:
// a log whose line is still as it was shown is left out, so it is not
// written at all and keeps its stored value byte for byte; a line that shows
// another loaded log (moved by a typed line break) gives that log exactly.
// Logs that `loaded` does not cover are always written.
struct LogLineText {
    int number;
    QString text;
};
QVector<LogLineText> linesToApply(const QStringList& typed, int first, int last,
                                  const QStringList& loaded = {});

// The typed text split into its lines. Only hard line breaks (CR LF, CR,
// LF, U+2028, U+2029) separate lines: a long line that the box wraps for
// display stays one line, whatever its length. Every other character stays
// as it is (a no-break space stays one).
QStringList typedLines(const QString& plainText);

// The 99 log lines of the table's current row (a null value gives the
// empty text; no current row gives 99 empty texts). Log line n is field
// F - 101 + n of the F fields.
QStringList readLogValues(const store::ActivityTable& table);

// Edits the current row, sets the log lines of linesToApply() and posts it;
// returns how many log lines it wrote. When the post fails the edit is dropped (so the table does not stay in
// edit mode and fail again at every move) and the error is passed on.
int writeLogLines(store::ActivityTable& table, const QStringList& typed, int first, int last,
                  const QStringList& loaded = {});

} // namespace orvane::logedit
