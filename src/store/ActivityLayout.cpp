#include "store/ActivityLayout.h"

#include <QHash>

namespace orvane::store {

namespace {

// The 28 activity data members, in the order the table holds them.
const char* const kDataFields[kDataColumnCount] = {
    "ActivityID", "Description", "OriginalDuration", "RemainingDuration",
    "TotalFloat", "FreeFloat", "PercentComplete", "EarlyStart", "LateStart",
    "EarlyFinish", "LateFinish", "ActualStart", "ActualFinish", "ActualDuration",
    "SuspendDate", "ResumeDate", "ActivityType", "EarlyConstraintType",
    "EarlyConstraintDate", "LateConstraintType", "LateConstraintDate",
    "MandatoryConstraintType", "MandatoryConstraintDate", "ExpectedFinishDate",
    "WBSCodeWithSeparators", "FloatConstraintType", "WBSCode", "CalendarID"};

FieldKind dataFieldKind(int column)
{
    switch (column) {
    case 2: case 3: case 4: case 5: case 6: case 13:
        return FieldKind::Number;
    case 7: case 8: case 9: case 10: case 11: case 12: case 14: case 15:
    case 18: case 20: case 22: case 23:
        return FieldKind::Date;
    default:
        return FieldKind::Text;
    }
}

QStringList buildNames()
{
    QStringList names;
    names.reserve(kColumnCount);
    for (const char* name : kDataFields)
        names << QString::fromLatin1(name);
    for (int k = 1; k <= kCodeSlots; ++k)
        names << QStringLiteral("ActivityCode%1").arg(k);
    for (int n = 1; n <= kLogCount; ++n)
        names << logFieldName(n);
    names << QStringLiteral("Flag");
    return names;
}

} // namespace

const QStringList& fieldNames()
{
    static const QStringList names = buildNames();
    return names;
}

QString fieldName(int column)
{
    return column >= 0 && column < kColumnCount ? fieldNames().at(column) : QString();
}

FieldKind fieldKind(int column)
{
    if (column < kDataColumnCount)
        return dataFieldKind(column);
    if (column == kFlagColumn)
        return FieldKind::Boolean;
    return FieldKind::Text;
}

int fieldIndex(const QString& name)
{
    static const QHash<QString, int> index = [] {
        QHash<QString, int> h;
        for (int i = 0; i < kColumnCount; ++i)
            h.insert(fieldNames().at(i), i);
        return h;
    }();
    return index.value(name, -1);
}

int fieldIndexIgnoringCase(const QString& name)
{
    // The names are ASCII, so upper-casing matches them as SQLite does.
    static const QHash<QString, int> index = [] {
        QHash<QString, int> h;
        for (int i = 0; i < kColumnCount; ++i)
            h.insert(fieldNames().at(i).toUpper(), i);
        return h;
    }();
    return index.value(name.toUpper(), -1);
}

QString logFieldName(int lineNumber)
{
    return QStringLiteral("Log#") + QString::number(lineNumber);
}

QString sqlTypeOf(int column)
{
    if (column == kActivityIdColumn)
        return QStringLiteral("VARCHAR(10)");
    switch (fieldKind(column)) {
    case FieldKind::Number: return QStringLiteral("REAL");
    case FieldKind::Date: return QStringLiteral("DATETIME");
    case FieldKind::Boolean: return QStringLiteral("BOOLEAN");
    case FieldKind::Text: break;
    }
    return QStringLiteral("TEXT");
}

QString affinityOf(const QString& declaredType)
{
    // SQLite's rules, in their order: the first that matches decides.
    const QString type = declaredType.toUpper();
    if (type.contains(QLatin1String("INT")))
        return QStringLiteral("INTEGER");
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB"))
        || type.contains(QLatin1String("TEXT")))
        return QStringLiteral("TEXT");
    if (type.contains(QLatin1String("BLOB")) || type.trimmed().isEmpty())
        return QStringLiteral("BLOB");
    if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("FLOA"))
        || type.contains(QLatin1String("DOUB")))
        return QStringLiteral("REAL");
    return QStringLiteral("NUMERIC");
}

QString createTableSql()
{
    QStringList columns;
    for (int i = 0; i < kColumnCount; ++i) {
        QString def = QLatin1Char('[') + fieldName(i) + QStringLiteral("] ") + sqlTypeOf(i);
        if (i == kFlagColumn)
            def += QStringLiteral(" NOT NULL DEFAULT 0");
        columns << def;
    }
    return QStringLiteral("CREATE TABLE [P3Data] (\n  ") + columns.join(QStringLiteral(",\n  "))
           + QStringLiteral("\n)");
}

} // namespace orvane::store
