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

} // namespace

int rangeBoxValue(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : 1;
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
        lines << logValues.value(n - 1);
    }
    if (stoppedEarly)
        *stoppedEarly = stopped;
    return lines;
}

QVector<LogLineText> linesToApply(const QStringList& typed, int first, int last)
{
    QVector<LogLineText> out;
    first = clampToRange(first);
    last = clampToRange(last);
    int k = 0;
    for (int n = first; n <= last; ++n, ++k)
        out.push_back({n, k < typed.size() ? typed.at(k) : QString()});
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

void writeLogLines(store::ActivityTable& table, const QStringList& typed, int first, int last)
{
    table.edit();
    try {
        for (const LogLineText& line : linesToApply(typed, first, last))
            table.setFieldValue(logFieldIndex(line.number), line.text);
        table.post();
    } catch (...) {
        table.cancel();
        throw;
    }
}

} // namespace orvane::logedit
