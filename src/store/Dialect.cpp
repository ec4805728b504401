#include "store/Dialect.h"

#include "store/CopiedValueText.h"
#include "store/FilterSql.h"

#include <QRegularExpression>

namespace orvane::store {

int findTopLevelWhere(const QString& text)
{
    static const QString kWhere = QStringLiteral(" WHERE ");
    TopLevelScanner scanner;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (scanner.atTopLevel(c) && c.isSpace()
            && text.mid(i, kWhere.size()).compare(kWhere, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString translateStatement(const QString& statementText)
{
    QString text = statementText.trimmed();
    // "DELETE * FROM t" -> "DELETE FROM t"
    static const QRegularExpression deleteStar(
        QStringLiteral("^DELETE\\s+\\*\\s+FROM\\s"), QRegularExpression::CaseInsensitiveOption);
    text.replace(deleteStar, QStringLiteral("DELETE FROM "));

    const bool rewritesRows = text.startsWith(QLatin1String("UPDATE"), Qt::CaseInsensitive)
                              || text.startsWith(QLatin1String("DELETE"), Qt::CaseInsensitive);
    if (!rewritesRows)
        return text;
    const int where = findTopLevelWhere(text);
    if (where < 0)
        return wrapCopiedValues(text);
    const QString condition = text.mid(where + 7);
    return wrapCopiedValues(text.left(where)) + QStringLiteral(" WHERE ") + filterTextToSql(condition);
}

} // namespace orvane::store
