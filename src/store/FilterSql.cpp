#include "store/FilterSql.h"

#include "common/Errors.h"
#include "store/ActivityLayout.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <optional>

namespace orvane::store {

// ---------------------------------------------------------------------------
// Value texts

namespace {

// Removes the time-zone letters (t, tt, ...) from a Qt time format, leaving
// quoted literal parts alone.
QString withoutTimeZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.simplified();
}

} // namespace

QString filterDateFormat(const QLocale& locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1String("yyyy")))
        return format;
    // A two-digit year would not read back into the right century.
    QString out;
    bool quoted = false;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('y')) {
            while (i + 1 < format.size() && format.at(i + 1) == QLatin1Char('y'))
                ++i;
            out += QLatin1String("yyyy");
            continue;
        }
        out += c;
    }
    return out;
}

QString filterTimeFormat(const QLocale& locale)
{
    return withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
}

QString filterDateTimeText(const QDateTime& value, const QLocale& locale)
{
    QString text = locale.toString(value.date(), filterDateFormat(locale));
    const QTime time = value.time();
    if (time.isValid() && time.msecsSinceStartOfDay() != 0)
        text += QLatin1Char(' ') + locale.toString(time, filterTimeFormat(locale));
    return text;
}

QString filterNumberText(double value, const QLocale& locale)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    QString text = QString::number(value, 'g', 15);
    const qsizetype e = text.indexOf(QLatin1Char('e'));
    if (e >= 0) {
        // "1e+20" -> "1E20", "1e-05" -> "1E-5"
        const int exponent = text.mid(e + 1).toInt();
        text = text.left(e) + QLatin1Char('E') + QString::number(exponent);
    }
    text.replace(QLatin1Char('.'), locale.decimalPoint());
    return text;
}

QDateTime parseFilterDateTime(const QString& input, const QLocale& locale)
{
    const QString text = input.trimmed();
    if (text.isEmpty())
        return {};
    const QString dateFormat = filterDateFormat(locale);
    const QStringList dateFormats = {dateFormat, locale.dateFormat(QLocale::ShortFormat),
                                     QStringLiteral("yyyy-MM-dd")};
    const QStringList timeFormats = {filterTimeFormat(locale),
                                     locale.timeFormat(QLocale::ShortFormat),
                                     QStringLiteral("HH:mm:ss"), QStringLiteral("HH:mm")};
    for (const QString& df : dateFormats) {
        const QDate date = locale.toDate(text, df);
        if (date.isValid())
            return QDateTime(date, QTime(0, 0));
        for (const QString& tf : timeFormats) {
            for (const char* sep : {" ", "T"}) {
                const QDateTime dt = locale.toDateTime(text, df + QLatin1String(sep) + tf);
                if (dt.isValid())
                    return dt;
            }
        }
    }
    return {};
}

// ---------------------------------------------------------------------------
// The parser

namespace {

constexpr int kMaxNesting = 64;   // keeps the SQL well inside SQLite's expression depth

enum class Tok { End, LParen, RParen, Comma, Op, Word, Name, String, Number };

struct Token {
    Tok type = Tok::End;
    QString text;   // operator, word (upper-cased), name, unquoted string, number as written
    int pos = 0;
};

[[noreturn]] void fail(const QString& what, int pos)
{
    throw DatabaseError(QStringLiteral("Invalid filter text: %1 at position %2.")
                            .arg(what, QString::number(pos + 1)));
}

bool isAsciiDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }
bool isWordStart(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
           || (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) || c == QLatin1Char('_');
}
bool isWordChar(QChar c) { return isWordStart(c) || isAsciiDigit(c); }

std::vector<Token> tokenize(const QString& text, const QString& decimalPoint)
{
    std::vector<Token> tokens;
    int i = 0;
    const int n = int(text.size());
    while (i < n) {
        const QChar c = text.at(i);
        if (c.isSpace()) {
            ++i;
            continue;
        }
        Token t;
        t.pos = i;
        if (c == QLatin1Char('(')) {
            t.type = Tok::LParen;
            ++i;
        } else if (c == QLatin1Char(')')) {
            t.type = Tok::RParen;
            ++i;
        } else if (c == QLatin1Char(',')) {
            t.type = Tok::Comma;
            ++i;
        } else if (c == QLatin1Char('=')) {
            t.type = Tok::Op;
            t.text = QStringLiteral("=");
            ++i;
        } else if (c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('!')) {
            t.type = Tok::Op;
            t.text = c;
            ++i;
            if (i < n && (text.at(i) == QLatin1Char('=')
                          || (c == QLatin1Char('<') && text.at(i) == QLatin1Char('>')))) {
                t.text += text.at(i);
                ++i;
            }
            if (t.text == QLatin1String("!"))
                fail(QStringLiteral("unexpected \"!\""), t.pos);
            if (t.text == QLatin1String("!="))
                t.text = QStringLiteral("<>");
        } else if (c == QLatin1Char('\'')) {
            t.type = Tok::String;
            ++i;
            for (;;) {
                if (i >= n)
                    fail(QStringLiteral("unterminated text value"), t.pos);
                if (text.at(i) == QLatin1Char('\'')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('\'')) {
                        t.text += QLatin1Char('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                t.text += text.at(i);
                ++i;
            }
        } else if (c == QLatin1Char('[')) {
            t.type = Tok::Name;
            const int close = int(text.indexOf(QLatin1Char(']'), i + 1));
            if (close < 0)
                fail(QStringLiteral("unterminated column name"), t.pos);
            t.text = text.mid(i + 1, close - i - 1);
            i = close + 1;
        } else if (isAsciiDigit(c)
                   || (c == QLatin1Char('-') && i + 1 < n && isAsciiDigit(text.at(i + 1)))) {
            t.type = Tok::Number;
            int j = i + 1;
            while (j < n && isAsciiDigit(text.at(j)))
                ++j;
            if (!decimalPoint.isEmpty() && text.mid(j, decimalPoint.size()) == decimalPoint
                && j + decimalPoint.size() < n && isAsciiDigit(text.at(j + decimalPoint.size()))) {
                j += int(decimalPoint.size());
                while (j < n && isAsciiDigit(text.at(j)))
                    ++j;
            }
            if (j < n && (text.at(j) == QLatin1Char('E') || text.at(j) == QLatin1Char('e'))) {
                int k = j + 1;
                if (k < n && (text.at(k) == QLatin1Char('+') || text.at(k) == QLatin1Char('-')))
                    ++k;
                if (k < n && isAsciiDigit(text.at(k))) {
                    while (k < n && isAsciiDigit(text.at(k)))
                        ++k;
                    j = k;
                }
            }
            t.text = text.mid(i, j - i);
            i = j;
            if (i < n && isWordChar(text.at(i)))
                fail(QStringLiteral("malformed number"), t.pos);
        } else if (isWordStart(c)) {
            int j = i + 1;
            while (j < n && isWordChar(text.at(j)))
                ++j;
            t.text = text.mid(i, j - i);
            static const QStringList keywords = {
                QStringLiteral("AND"), QStringLiteral("OR"), QStringLiteral("NOT"),
                QStringLiteral("LIKE"), QStringLiteral("BETWEEN"), QStringLiteral("IN"),
                QStringLiteral("IS"), QStringLiteral("NULL"), QStringLiteral("TRUE"),
                QStringLiteral("FALSE")};
            const QString upper = t.text.toUpper();
            if (keywords.contains(upper)) {
                t.type = Tok::Word;
                t.text = upper;
            } else {
                t.type = Tok::Name;
            }
            i = j;
        } else if (c == QChar(0)) {
            fail(QStringLiteral("unexpected NUL character"), i);
        } else {
            fail(QStringLiteral("unexpected character \"%1\"").arg(c), i);
        }
        tokens.push_back(std::move(t));
    }
    Token end;
    end.pos = n;
    tokens.push_back(end);
    return tokens;
}

struct Column {
    int index = -1;
    QString name;
    FieldKind kind = FieldKind::Text;
};

struct Literal {
    enum Kind { Null, Text, Number, Bool } kind = Null;
    QString text;   // the text as written (texts unquoted)
    bool boolean = false;
    int pos = 0;
};

struct Operand {
    std::optional<Column> column;
    Literal literal;
    int pos = 0;
};

// A SQLite text literal. A NUL character would end the statement text, so it
// is spliced in with char(0).
QString sqlText(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("''"));
    quoted.replace(QChar(0), QLatin1String("' || char(0) || '"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString sqlReal(double value, int pos)
{
    if (!std::isfinite(value))
        fail(QStringLiteral("number out of range"), pos);
    QString text = QString::number(value, 'g', 17);
    if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QLatin1String(".0");
    return text;
}

// A GLOB pattern (GLOB compares exactly) that matches text with every letter
// in any of its cases; with likeWildcards, % and _ become * and ?. SQLite's
// own NOCASE and LIKE fold only the ASCII letters.
QString caseFreeGlob(const QString& text, bool likeWildcards)
{
    QString glob;
    glob.reserve(text.size() * 4);
    for (const char32_t cp : text.toUcs4()) {
        // ASCII, the common case, without building the list of variants.
        if (cp < 0x80 && !(likeWildcards && (cp == U'%' || cp == U'_'))) {
            const char ch = char(cp);
            if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) {
                const char lower = char(ch | 0x20);
                glob += QLatin1Char('[');
                glob += QLatin1Char(lower);
                glob += QLatin1Char(char(lower - 0x20));
                glob += QLatin1Char(']');
            } else if (ch == '*' || ch == '?' || ch == '[') {
                glob += QLatin1Char('[');
                glob += QLatin1Char(ch);
                glob += QLatin1Char(']');
            } else {
                glob += QLatin1Char(ch);
            }
            continue;
        }
        if (likeWildcards && cp == U'%') {
            glob += QLatin1Char('*');
            continue;
        }
        if (likeWildcards && cp == U'_') {
            glob += QLatin1Char('?');
            continue;
        }
        QList<char32_t> variants{cp};
        for (const char32_t v : {QChar::toLower(cp), QChar::toUpper(cp), QChar::toTitleCase(cp),
                                 QChar::toCaseFolded(cp), QChar::toLower(QChar::toUpper(cp))})
            if (!variants.contains(v))
                variants << v;
        const QString single = QString::fromUcs4(&cp, 1);
        if (variants.size() > 1) {
            glob += QLatin1Char('[');
            for (const char32_t v : variants)
                glob += QString::fromUcs4(&v, 1);
            glob += QLatin1Char(']');
        } else if (cp == U'*' || cp == U'?' || cp == U'[') {
            glob += QLatin1Char('[') + single + QLatin1Char(']');
        } else {
            glob += single;
        }
    }
    return glob;
}

// A test that a text column equals text in every letter's case. SQLite
// refuses GLOB patterns beyond a length limit (50,000 bytes by default), so a
// long text is compared piece by piece, each piece well inside the limit,
// together with its length in characters (a letter's case variants are
// single characters, so the lengths agree).
QString caseFreeEquals(const QString& column, const QString& text)
{
    constexpr qsizetype kPiece = 1024;   // characters; at most ~30 bytes of pattern each
    const QList<uint> characters = text.toUcs4();
    if (characters.size() <= kPiece)
        return column + QStringLiteral(" GLOB ") + sqlText(caseFreeGlob(text, false));
    QString sql = QStringLiteral("(length(%1) = %2").arg(column).arg(characters.size());
    for (qsizetype start = 0; start < characters.size(); start += kPiece) {
        const qsizetype n = std::min(kPiece, characters.size() - start);
        const QString piece = QString::fromUcs4(reinterpret_cast<const char32_t*>(characters.constData() + start), n);
        sql += QStringLiteral(" AND substr(%1, %2, %3) GLOB %4")
                   .arg(column)
                   .arg(start + 1)
                   .arg(n)
                   .arg(sqlText(caseFreeGlob(piece, false)));
    }
    return sql + QLatin1Char(')');
}

// Joins terms with AND/OR as a balanced tree so that long lists stay shallow.
// Written into one text, so the work grows in step with the terms.
void appendBalanced(QString& out, const QStringList& terms, qsizetype from, qsizetype to, QLatin1String op)
{
    if (to - from == 1) {
        out += terms.at(from);
        return;
    }
    const qsizetype mid = from + (to - from) / 2;
    out += QLatin1Char('(');
    appendBalanced(out, terms, from, mid, op);
    out += QLatin1Char(' ');
    out += op;
    out += QLatin1Char(' ');
    appendBalanced(out, terms, mid, to, op);
    out += QLatin1Char(')');
}

QString joinAll(const QStringList& terms, const char* op, const char* whenEmpty)
{
    if (terms.isEmpty())
        return QLatin1String(whenEmpty);
    qsizetype size = 0;
    for (const QString& term : terms)
        size += term.size() + 8;
    QString out;
    out.reserve(size);
    appendBalanced(out, terms, 0, terms.size(), QLatin1String(op));
    return out;
}

class Parser {
public:
    Parser(const QString& text, const QLocale& locale)
        : m_locale(locale), m_decimal(locale.decimalPoint()),
          m_tokens(tokenize(text, m_decimal))
    {
    }

    QString parse()
    {
        if (peek().type == Tok::End)
            return QStringLiteral("1");
        QString sql = parseOr(0);
        if (peek().type != Tok::End)
            fail(QStringLiteral("unexpected \"%1\"").arg(describe(peek())), peek().pos);
        return sql;
    }

private:
    const Token& peek(int ahead = 0) const
    {
        const size_t k = std::min(m_pos + size_t(ahead), m_tokens.size() - 1);
        return m_tokens[k];
    }
    const Token& take() { const Token& t = peek(); if (m_pos < m_tokens.size() - 1) ++m_pos; return t; }
    bool isWord(const char* word, int ahead = 0) const
    {
        return peek(ahead).type == Tok::Word && peek(ahead).text == QLatin1String(word);
    }
    void expect(Tok type, const char* what)
    {
        if (peek().type != type)
            fail(QStringLiteral("expected %1 instead of \"%2\"").arg(QLatin1String(what), describe(peek())),
                 peek().pos);
        take();
    }
    static QString describe(const Token& t)
    {
        switch (t.type) {
        case Tok::End: return QStringLiteral("the end of the text");
        case Tok::LParen: return QStringLiteral("(");
        case Tok::RParen: return QStringLiteral(")");
        case Tok::Comma: return QStringLiteral(",");
        case Tok::String: return QLatin1Char('\'') + t.text.left(40) + QLatin1Char('\'');
        default: return t.text.left(40);
        }
    }

    QString parseOr(int depth)
    {
        QStringList terms{parseAnd(depth)};
        while (isWord("OR")) {
            take();
            terms << parseAnd(depth);
        }
        return joinAll(terms, "OR", "0");
    }

    QString parseAnd(int depth)
    {
        QStringList terms{parseFactor(depth)};
        while (isWord("AND")) {
            take();
            terms << parseFactor(depth);
        }
        return joinAll(terms, "AND", "1");
    }

    QString parseFactor(int depth)
    {
        if (depth > kMaxNesting)
            fail(QStringLiteral("too deeply nested"), peek().pos);
        if (isWord("NOT")) {
            take();
            return QStringLiteral("(NOT ") + parseFactor(depth + 1) + QLatin1Char(')');
        }
        if (peek().type == Tok::LParen) {
            take();
            if (peek().type == Tok::RParen) {   // an empty group restricts nothing
                take();
                return QStringLiteral("1");
            }
            QString inner = parseOr(depth + 1);
            expect(Tok::RParen, "\")\"");
            return inner;
        }
        return parsePredicate();
    }

    Column resolveColumn(const Token& t) const
    {
        static const QHash<QString, int> byName = [] {
            QHash<QString, int> h;
            for (int i = 0; i < kColumnCount; ++i)
                h.insert(fieldName(i).toUpper(), i);
            return h;
        }();
        const int index = byName.value(t.text.toUpper(), -1);
        if (index < 0)
            fail(QStringLiteral("unknown column \"%1\"").arg(t.text.left(64)), t.pos);
        return Column{index, fieldName(index), fieldKind(index)};
    }

    Operand parseOperand()
    {
        Operand o;
        const Token& t = peek();
        o.pos = t.pos;
        o.literal.pos = t.pos;
        switch (t.type) {
        case Tok::Name:
            o.column = resolveColumn(t);
            break;
        case Tok::String:
            o.literal.kind = Literal::Text;
            o.literal.text = t.text;
            break;
        case Tok::Number:
            o.literal.kind = Literal::Number;
            o.literal.text = t.text;
            break;
        case Tok::Word:
            if (t.text == QLatin1String("NULL")) {
                o.literal.kind = Literal::Null;
            } else if (t.text == QLatin1String("TRUE") || t.text == QLatin1String("FALSE")) {
                o.literal.kind = Literal::Bool;
                o.literal.boolean = t.text == QLatin1String("TRUE");
                o.literal.text = o.literal.boolean ? QStringLiteral("True") : QStringLiteral("False");
            } else {
                fail(QStringLiteral("expected a column or a value instead of \"%1\"").arg(t.text), t.pos);
            }
            break;
        default:
            fail(QStringLiteral("expected a column or a value instead of \"%1\"").arg(describe(t)), t.pos);
        }
        take();
        return o;
    }

    Literal parseLiteral()
    {
        const Operand o = parseOperand();
        if (o.column)
            fail(QStringLiteral("expected a value instead of a column"), o.pos);
        return o.literal;
    }

    QString parsePredicate()
    {
        const Operand left = parseOperand();
        const Token& next = peek();
        if (next.type == Tok::Op) {
            const QString op = take().text;
            if (peek().type == Tok::End || peek().type == Tok::RParen)
                fail(QStringLiteral("a value is missing after \"%1\"").arg(op), peek().pos);
            const Operand right = parseOperand();
            if (left.column && right.column)
                fail(QStringLiteral("two columns cannot be compared"), right.pos);
            if (!left.column && !right.column)
                fail(QStringLiteral("a comparison needs a column"), left.pos);
            if (left.column)
                return compare(*left.column, op, right.literal);
            return compare(*right.column, mirrored(op), left.literal);
        }
        if (!left.column)
            fail(QStringLiteral("expected a comparison after the value"), next.pos);
        const Column& column = *left.column;
        bool negated = false;
        if (isWord("NOT")) {
            take();
            negated = true;
        }
        if (isWord("LIKE")) {
            take();
            return like(column, parseLiteral(), negated);
        }
        if (isWord("BETWEEN")) {
            take();
            const Literal low = parseLiteral();
            if (!isWord("AND"))
                fail(QStringLiteral("expected AND in BETWEEN"), peek().pos);
            take();
            const Literal high = parseLiteral();
            return between(column, low, high, negated);
        }
        if (isWord("IN")) {
            take();
            expect(Tok::LParen, "\"(\"");
            std::vector<Literal> items;
            if (peek().type != Tok::RParen) {
                items.push_back(parseLiteral());
                while (peek().type == Tok::Comma) {
                    take();
                    items.push_back(parseLiteral());
                }
            }
            expect(Tok::RParen, "\")\"");
            return inList(column, items, negated);
        }
        if (!negated && isWord("IS")) {
            take();
            bool isNot = false;
            if (isWord("NOT")) {
                take();
                isNot = true;
            }
            if (!isWord("NULL"))
                fail(QStringLiteral("expected NULL after IS"), peek().pos);
            take();
            return isNot ? nonBlank(column) : blank(column);
        }
        fail(QStringLiteral("expected an operator instead of \"%1\"").arg(describe(peek())), peek().pos);
    }

    static QString mirrored(const QString& op)
    {
        if (op == QLatin1String("<")) return QStringLiteral(">");
        if (op == QLatin1String(">")) return QStringLiteral("<");
        if (op == QLatin1String("<=")) return QStringLiteral(">=");
        if (op == QLatin1String(">=")) return QStringLiteral("<=");
        return op;
    }

    // --- SQL pieces

    static QString ref(const Column& c) { return QLatin1Char('[') + c.name + QLatin1Char(']'); }

    static QString blank(const Column& c)
    {
        return QStringLiteral("(%1 IS NULL OR %1 = '')").arg(ref(c));
    }
    static QString nonBlank(const Column& c)
    {
        return QStringLiteral("(%1 IS NOT NULL AND %1 <> '')").arg(ref(c));
    }
    static QString valueExpr(const Column& c)
    {
        if (c.kind == FieldKind::Boolean)
            return QStringLiteral("(%1 <> 0)").arg(ref(c));
        return ref(c);
    }
    static QString collation(const Column& c)
    {
        return c.kind == FieldKind::Text ? QStringLiteral(" COLLATE NOCASE") : QString();
    }

    double readNumber(const Literal& lit, const Column& c) const
    {
        bool ok = false;
        double value = 0;
        if (lit.kind == Literal::Number) {
            QString t = lit.text;
            t.replace(m_decimal, QStringLiteral("."));
            value = t.toDouble(&ok);
        } else if (lit.kind == Literal::Text) {
            value = m_locale.toDouble(lit.text.trimmed(), &ok);
        }
        if (!ok || !std::isfinite(value))
            fail(QStringLiteral("%1 is not a number for column \"%2\"").arg(shown(lit), c.name), lit.pos);
        return value;
    }

    static QString shown(const Literal& lit)
    {
        return lit.kind == Literal::Text ? QLatin1Char('\'') + lit.text.left(40) + QLatin1Char('\'')
                                         : lit.text.left(40);
    }

    // The SQL literal that a non-null filter value stands for in column c.
    QString sqlValue(const Column& c, const Literal& lit) const
    {
        switch (c.kind) {
        case FieldKind::Text:
            return sqlText(lit.text);
        case FieldKind::Number:
            if (lit.kind == Literal::Bool)
                fail(QStringLiteral("%1 is not a number for column \"%2\"").arg(lit.text, c.name), lit.pos);
            return sqlReal(readNumber(lit, c), lit.pos);
        case FieldKind::Date: {
            QDateTime dt;
            if (lit.kind == Literal::Text)
                dt = parseFilterDateTime(lit.text, m_locale);
            if (!dt.isValid())
                fail(QStringLiteral("%1 is not a date for column \"%2\"").arg(shown(lit), c.name), lit.pos);
            return sqlText(dt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
        }
        case FieldKind::Boolean: {
            if (lit.kind == Literal::Bool)
                return lit.boolean ? QStringLiteral("1") : QStringLiteral("0");
            if (lit.kind == Literal::Number)
                return readNumber(lit, c) != 0 ? QStringLiteral("1") : QStringLiteral("0");
            const QString t = lit.text.trimmed();
            for (const char* yes : {"True", "Yes", "1", "-1"})
                if (t.compare(QLatin1String(yes), Qt::CaseInsensitive) == 0)
                    return QStringLiteral("1");
            for (const char* no : {"False", "No", "0"})
                if (t.compare(QLatin1String(no), Qt::CaseInsensitive) == 0)
                    return QStringLiteral("0");
            fail(QStringLiteral("%1 is not a yes/no value for column \"%2\"").arg(shown(lit), c.name), lit.pos);
        }
        }
        return {};
    }

    static bool isBlankLiteral(const Literal& lit)
    {
        return lit.kind == Literal::Null || (lit.kind == Literal::Text && lit.text.isEmpty());
    }

    QString comparison(const Column& c, const QString& op, const Literal& lit) const
    {
        return QStringLiteral("%1 %2 %3%4").arg(valueExpr(c), op, sqlValue(c, lit), collation(c));
    }

    QString compare(const Column& c, const QString& op, const Literal& lit) const
    {
        if (isBlankLiteral(lit)) {
            if (op == QLatin1String("="))
                return blank(c);
            if (op == QLatin1String("<>"))
                return nonBlank(c);
            if (lit.kind == Literal::Null)
                fail(QStringLiteral("NULL can only be compared with = or <>"), lit.pos);
        }
        // Equality of texts ignores case for every letter (GLOB of the case
        // variants); a NUL would end the pattern, so such texts use NOCASE.
        // A non-blank value never equals a blank one; coalesce() keeps the
        // test plainly true or false. (Plain comparison operators are not
        // used here: SQLite's work on a long OR of them grows with its square.)
        if (c.kind == FieldKind::Text && (op == QLatin1String("=") || op == QLatin1String("<>"))
            && !lit.text.contains(QChar(0))) {
            const QString equal = caseFreeEquals(ref(c), lit.text);
            if (op == QLatin1String("="))
                return QStringLiteral("coalesce(") + equal + QStringLiteral(", 0)");
            return QLatin1Char('(') + nonBlank(c) + QStringLiteral(" AND NOT ") + equal + QLatin1Char(')');
        }
        return QStringLiteral("(%1 AND %2)").arg(nonBlank(c), comparison(c, op, lit));
    }

    QString like(const Column& c, const Literal& pattern, bool negated) const
    {
        if (pattern.kind == Literal::Null)
            return negated ? nonBlank(c) : blank(c);
        QString subject;
        switch (c.kind) {
        case FieldKind::Text:
        case FieldKind::Date:
            subject = ref(c);
            break;
        case FieldKind::Number:
            subject = QStringLiteral("replace(printf('%.15g', %1), '.', %2)").arg(ref(c), sqlText(m_decimal));
            break;
        case FieldKind::Boolean:
            subject = QStringLiteral("(CASE WHEN %1 <> 0 THEN 'True' ELSE 'False' END)").arg(ref(c));
            break;
        }
        const QString test = pattern.text.contains(QChar(0))
            ? subject + QStringLiteral(" LIKE ") + sqlText(pattern.text)
            : subject + QStringLiteral(" GLOB ") + sqlText(caseFreeGlob(pattern.text, true));
        return QStringLiteral("(%1 AND %2%3)")
            .arg(nonBlank(c), negated ? QStringLiteral("NOT ") : QString(), test);
    }

    QString between(const Column& c, const Literal& low, const Literal& high, bool negated) const
    {
        if (low.kind == Literal::Null || high.kind == Literal::Null)
            fail(QStringLiteral("BETWEEN needs two values"), low.kind == Literal::Null ? low.pos : high.pos);
        const QString range = negated
            ? QStringLiteral("(%1 OR %2)").arg(comparison(c, QStringLiteral("<"), low),
                                              comparison(c, QStringLiteral(">"), high))
            : QStringLiteral("%1 AND %2").arg(comparison(c, QStringLiteral(">="), low),
                                             comparison(c, QStringLiteral("<="), high));
        return QStringLiteral("(%1 AND %2)").arg(nonBlank(c), range);
    }

    QString inList(const Column& c, const std::vector<Literal>& items, bool negated) const
    {
        QStringList terms;
        for (const Literal& item : items)
            terms << compare(c, negated ? QStringLiteral("<>") : QStringLiteral("="), item);
        return negated ? joinAll(terms, "AND", "1") : joinAll(terms, "OR", "0");
    }

    QLocale m_locale;
    QString m_decimal;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
};

} // namespace

QString filterTextToSql(const QString& filterText, const QLocale& locale)
{
    Parser parser(filterText, locale);
    return QLatin1Char('(') + parser.parse() + QLatin1Char(')');
}

} // namespace orvane::store
