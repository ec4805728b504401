#include "logedit/MultiLogLines.h"

#include "store/ActivityLayout.h"
#include "store/ActivityTable.h"

#include <algorithm>

namespace orvane::logedit {

namespace {

int logFieldIndex(int number)
{
    // The log block sits just before the last field (the mark).
    return store::kColumnCount - 101 + number;
}

int clampToRange(int value)
{
    return std::clamp(value, 1, kMultiLogCount);
}

// Whether a line break starts at text[i]; *length is its length.
bool isBreakAt(const QString& text, qsizetype i, qsizetype* length)
{
    const QChar c = text.at(i);
    if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n')) {
        *length = 2;
        return true;
    }
    *length = 1;
    return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator
           || c == QChar::ParagraphSeparator;
}

} // namespace

int rangeBoxValue(const QString& text, const QLocale& locale)
{
    bool ok = false;
    int value = locale.toInt(text.trimmed(), &ok);
    if (!ok)
        value = QLocale::c().toInt(text.trimmed(), &ok);
    return ok ? value : 1;
}

QString shownLogLine(const QString& stored)
{
    QString shown;
    shown.reserve(stored.size());
    for (qsizetype i = 0; i < stored.size();) {
        qsizetype length = 1;
        shown += isBreakAt(stored, i, &length) ? kStoredBreakMark : stored.at(i);
        i += length;
    }
    return shown;
}

QString logOfLine(const QString& line, const QString& stored)
{
    if (line == shownLogLine(stored))
        return stored;
    // What each mark stood for in the stored log: a break or a literal mark.
    QStringList marks;
    for (qsizetype i = 0; i < stored.size();) {
        qsizetype length = 1;
        if (isBreakAt(stored, i, &length) || stored.at(i) == kStoredBreakMark)
            marks << stored.mid(i, length);
        i += length;
    }
    const bool sameMarks = line.count(kStoredBreakMark) == marks.size();
    QString log;
    log.reserve(line.size());
    qsizetype k = 0;
    for (const QChar c : line) {
        if (c != kStoredBreakMark) {
            log += c;
            continue;
        }
        log += sameMarks ? marks.at(k++) : QStringLiteral("\n");
    }
    return log;
}

QStringList rangeLines(const QStringList& logValues, int first, int last, bool* stoppedEarly)
{
    QStringList lines;
    bool stopped = false;
    for (int n = first; n <= last; ++n) {
        if (n < 1 || n > kMultiLogCount) {
            stopped = true;
            break;
        }
        lines << shownLogLine(logValues.value(n - 1));
    }
    if (stoppedEarly)
        *stoppedEarly = stopped;
    return lines;
}

QVector<LogLineText> linesToApply(const QStringList& typed, int first, int last, const QStringList& loaded)
{
    QVector<LogLineText> out;
    first = clampToRange(first);
    last = clampToRange(last);
    int k = 0;
    for (int n = first; n <= last; ++n, ++k) {
        if (k >= typed.size()) {
            out.push_back({n, QString()});
            continue;
        }
        if (n - 1 >= loaded.size()) {
            out.push_back({n, logOfLine(typed.at(k), QString())});
            continue;
        }
        const QString& stored = loaded.at(n - 1);
        const QString& line = typed.at(k);
        if (line == shownLogLine(stored))
            continue;
        // A log moved to another line by a typed break keeps every character.
        auto moved = std::find_if(loaded.begin(), loaded.end(),
                                  [&line](const QString& other) { return shownLogLine(other) == line; });
        out.push_back({n, moved != loaded.end() ? *moved : logOfLine(line, stored)});
    }
    return out;
}

QStringList typedLines(const QString& plainText)
{
    QString text = plainText;
    // Paragraph and line separators are hard breaks as well.
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text.split(QLatin1Char('\n'));
}

QStringList readLogValues(const store::ActivityTable& table)
{
    QStringList values;
    values.reserve(kMultiLogCount);
    for (int n = 1; n <= kMultiLogCount; ++n) {
        const QVariant v = table.currentRow() >= 0 ? table.fieldValue(logFieldIndex(n)) : QVariant();
        values << (v.isNull() ? QString() : v.toString());
    }
    return values;
}

int writeLogLines(store::ActivityTable& table, const QStringList& typed, int first, int last,
                  const QStringList& loaded)
{
    table.edit();
    try {
        const QVector<LogLineText> lines = linesToApply(typed, first, last, loaded);
        for (const LogLineText& line : lines)
            table.setFieldValue(logFieldIndex(line.number), line.text);
        table.post();
        return int(lines.size());
    } catch (...) {
        table.cancel();
        throw;
    }
}

} // namespace orvane::logedit
