#pragma once
// Orvane's statement texts are written in the desktop database dialect the
// program grew up with ("DELETE * FROM P3Data", bracketed names, ":name"
// parameters, a row filter text after WHERE). This layer turns such a text
// into a statement SQLite runs with the same meaning.

#include <QString>

namespace orvane::store {

// Translates one statement. Bracketed names and ":name" parameters are
// SQLite syntax already; "DELETE * FROM" loses its "*", and the condition
// after a top-level WHERE of an UPDATE or DELETE is read as a row filter
// text (see FilterSql.h). Throws DatabaseError when the filter text cannot
// be read.
QString translateStatement(const QString& statementText);

// Position of the first " WHERE " outside quotes and brackets, or -1.
int findTopLevelWhere(const QString& statementText);

// Reads a statement text one character at a time and tells which characters
// stand outside quotes ('...', "...") and bracketed names ([...]). A doubled
// quote closes and reopens, so it needs no rule of its own.
class TopLevelScanner {
public:
    // Takes the next character: true when it stands at the top level and
    // opens no quote or bracket.
    bool atTopLevel(QChar c)
    {
        if (!m_quote.isNull()) {
            if (c == m_quote)
                m_quote = QChar();
            return false;
        }
        if (m_inBracket) {
            if (c == QLatin1Char(']'))
                m_inBracket = false;
            return false;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            m_quote = c;
            return false;
        }
        if (c == QLatin1Char('[')) {
            m_inBracket = true;
            return false;
        }
        return true;
    }

private:
    QChar m_quote;   // the quote we are inside, or null
    bool m_inBracket = false;
};

} // namespace orvane::store
