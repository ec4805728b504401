#pragma once
// A text on one line of a tab-separated listing: backslash, tab, line feed
// and carriage return written as \\, \t, \n and \r, so that neither a field
// nor a line can end inside it; and the way back.

#include <QString>
#include <QStringView>

namespace orvane {

inline QString escapedCellText(QStringView text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '\\': escaped += QLatin1String("\\\\"); break;
        case '\t': escaped += QLatin1String("\\t"); break;
        case '\n': escaped += QLatin1String("\\n"); break;
        case '\r': escaped += QLatin1String("\\r"); break;
        default: escaped += c;
        }
    }
    return escaped;
}

// A backslash before any other character, or at the end, stands for itself.
inline QString unescapedCellText(QStringView text)
{
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            plain += c;
            continue;
        }
        switch (text.at(i + 1).unicode()) {
        case '\\': plain += QLatin1Char('\\'); break;
        case 't': plain += QLatin1Char('\t'); break;
        case 'n': plain += QLatin1Char('\n'); break;
        case 'r': plain += QLatin1Char('\r'); break;
        default: plain += c; continue;
        }
        ++i;
    }
    return plain;
}

} // namespace orvane
