#include "store/CopiedValueText.h"

#include "common/Utf8Text.h"
#include "store/Dialect.h"
#include "store/SqlValues.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <cmath>
#include <sqlite3.h>

namespace orvane::store {

QString displayText(const QVariant& value, FieldKind kind)
{
    if (value.isNull())
        return QString();
    switch (kind) {
    case FieldKind::Text:
        return value.toString();
    case FieldKind::Number: {
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (!ok)
            return value.toString();
        QLocale locale;
        locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
        if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15)
            return locale.toString(qlonglong(d));
        return locale.toString(d, 'g', QLocale::FloatingPointShortest);
    }
    case FieldKind::Date: {
        const QDateTime dt = value.toDateTime();
        return dt.isValid() ? dateText(dt, false) : value.toString();
    }
    case FieldKind::Boolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    }
    return value.toString();
}

QString fullYearDateFormat(const QLocale& locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    // A two-digit year would make 2025 and 1925, or 0001 and 2001, alike.
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

QString dateText(const QDateTime& dt, bool withTime)
{
    const QLocale locale;
    QString text = locale.toString(dt.date(), fullYearDateFormat(locale));
    if (withTime && dt.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(dt.time(), QLocale::ShortFormat);
    return text;
}

QString copiedText(const QVariant& value, FieldKind kind)
{
    if (kind == FieldKind::Date) {
        const QDateTime dt = value.toDateTime();
        return dt.isValid() ? dateText(dt, true) : value.toString();
    }
    return displayText(value, kind);
}

namespace {

// A bulk statement over a large table meets the same few dates many times;
// formatting a date in the locale is the costly part, so the connection
// keeps the texts it made, for as long as the default locale stays the same.
struct DateTextCache {
    QLocale locale;
    QHash<QByteArray, QString> texts;
};

QString textOf(sqlite3_value* v)
{
    return textFromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)), sqlite3_value_bytes(v));
}

void resultText(sqlite3_context* context, const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    sqlite3_result_text(context, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// The value as the table reads it back for a column of this kind (see
// readColumnValue), formatted as the grid shows it.
void displayTextFunction(sqlite3_context* context, int argc, sqlite3_value** argv)
{
    if (argc != 2) {
        sqlite3_result_error(context, "orvane_display_text takes two arguments", -1);
        return;
    }
    sqlite3_value* v = argv[0];
    const int type = sqlite3_value_type(v);
    if (type == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const int kindNumber = sqlite3_value_int(argv[1]);
    if (kindNumber < int(FieldKind::Text) || kindNumber > int(FieldKind::Boolean)) {
        sqlite3_result_error(context, "orvane_display_text: unknown kind", -1);
        return;
    }
    const auto kind = FieldKind(kindNumber);
    switch (kind) {
    case FieldKind::Number:
        resultText(context, displayText(sqlite3_value_double(v), kind));
        return;
    case FieldKind::Boolean:
        resultText(context, displayText(sqlite3_value_int(v) != 0, kind));
        return;
    case FieldKind::Date: {
        if (type != SQLITE_TEXT)
            break;
        auto* cache = static_cast<DateTextCache*>(sqlite3_user_data(context));
        const QLocale current;
        if (!(cache->locale == current)) {
            cache->locale = current;
            cache->texts.clear();
        }
        const QByteArray raw = QByteArray::fromRawData(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                                                       sqlite3_value_bytes(v));
        auto it = cache->texts.constFind(raw);
        if (it == cache->texts.constEnd()) {
            const QString stored = textFromUtf8(raw);
            const QDateTime dt = dateFromStorage(stored);
            it = cache->texts.insert(QByteArray(raw.constData(), raw.size()),
                                     dt.isValid() ? copiedText(dt, kind) : stored);
        }
        resultText(context, *it);
        return;
    }
    case FieldKind::Text:
        break;
    }
    resultText(context, textOf(v));
}

QString unbracketed(const QString& name)
{
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']')))
        return name.mid(1, name.size() - 2);
    return name;
}

// Splits at commas outside quotes, brackets and parentheses.
QStringList splitTopLevel(const QString& text)
{
    QStringList parts;
    TopLevelScanner scanner;
    int depth = 0;
    int start = 0;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!scanner.atTopLevel(c))
            continue;
        if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            --depth;
        } else if (c == QLatin1Char(',') && depth == 0) {
            parts << text.mid(start, i - start);
            start = i + 1;
        }
    }
    parts << text.mid(start);
    return parts;
}

} // namespace

void registerDisplayTextFunction(sqlite3* db)
{
    sqlite3_create_function_v2(db, "orvane_display_text", 2, SQLITE_UTF8, new DateTextCache,
                               displayTextFunction, nullptr, nullptr,
                               [](void* p) { delete static_cast<DateTextCache*>(p); });
}

QString wrapCopiedValues(const QString& updateText)
{
    static const QRegularExpression head(QStringLiteral("^\\s*UPDATE\\s+(\\[[^\\]]*\\]|\\w+)\\s+SET\\s+"),
                                         QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression assignment(
        QStringLiteral("^(\\s*)(\\[[^\\]]*\\]|[A-Za-z_][\\w#]*)(\\s*=\\s*)(\\[[^\\]]*\\]|[A-Za-z_][\\w#]*)(\\s*)$"));
    const QRegularExpressionMatch m = head.match(updateText);
    if (!m.hasMatch() || unbracketed(m.captured(1)).compare(QLatin1String("P3Data"), Qt::CaseInsensitive) != 0)
        return updateText;
    QStringList parts = splitTopLevel(updateText.mid(m.capturedEnd()));
    bool changed = false;
    for (QString& part : parts) {
        const QRegularExpressionMatch a = assignment.match(part);
        if (!a.hasMatch())
            continue;
        const int target = fieldIndexIgnoringCase(unbracketed(a.captured(2)));
        const int source = fieldIndexIgnoringCase(unbracketed(a.captured(4)));
        if (target < 0 || source < 0 || fieldKind(target) != FieldKind::Text
            || fieldKind(source) == FieldKind::Text)
            continue;
        part = a.captured(1) + a.captured(2) + a.captured(3) + QStringLiteral("orvane_display_text(")
               + a.captured(4) + QStringLiteral(", ") + QString::number(int(fieldKind(source)))
               + QLatin1Char(')') + a.captured(5);
        changed = true;
    }
    if (!changed)
        return updateText;
    return updateText.left(m.capturedEnd()) + parts.join(QLatin1Char(','));
}

} // namespace orvane::store
