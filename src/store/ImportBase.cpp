#include "store/ImportBase.h"

#include "common/Utf8Text.h"
#include "store/Database.h"
#include "store/Statement.h"
#include "store/TableImport.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <sqlite3.h>

namespace orvane::store {

namespace {

QString bracketed(const QString& name)
{
    return QLatin1Char('[') + name + QLatin1Char(']');
}

QString textFieldColumnName(int field)
{
    return bracketed(fieldName(columnOfTextField(field)));
}

// "<prefix>Description, <prefix>[Log#1], ..." for every text field.
QString textFieldList(const QString& prefix)
{
    QStringList names;
    for (int field = 0; field < kTextFieldCount; ++field)
        names << prefix + textFieldColumnName(field);
    return names.join(QStringLiteral(", "));
}

// 1 when the text field of p differs from the same field of b, a null and
// an empty text being the same; else 0.
QString textDiffers(int field)
{
    return QStringLiteral("(coalesce(p.%1, '') <> coalesce(b.%1, ''))").arg(textFieldColumnName(field));
}

QString anyTextDiffers(const std::vector<int>& fields)
{
    QStringList tests;
    for (int field : fields)
        tests << textDiffers(field);
    return QLatin1Char('(') + tests.join(QStringLiteral(" OR ")) + QLatin1Char(')');
}

const std::vector<int>& allTextFields()
{
    static const std::vector<int> fields = [] {
        std::vector<int> all(kTextFieldCount);
        for (int field = 0; field < kTextFieldCount; ++field)
            all[size_t(field)] = field;
        return all;
    }();
    return fields;
}

// The bits of `fields` in the word holding fields first to first + 63.
QString differenceBits(const std::vector<int>& fields, int first)
{
    QStringList bits;
    for (int field : fields)
        if (field >= first && field < first + 64)
            bits << QStringLiteral("(%1 << %2)").arg(textDiffers(field)).arg(field - first);
    return bits.isEmpty() ? QStringLiteral("0") : bits.join(QStringLiteral(" | "));
}

// The rows of P3Data joined to their base row, for IDs that occur once on
// both sides: an ID held twice cannot tell which base row is whose.
QString joinedRows()
{
    return QStringLiteral(
        " FROM P3Data p JOIN ImportBase b ON b.ActivityID = p.ActivityID"
        " WHERE p.ActivityID NOT IN (SELECT ActivityID FROM ImportBase GROUP BY ActivityID HAVING count(*) > 1)"
        "   AND p.ActivityID NOT IN (SELECT ActivityID FROM P3Data GROUP BY ActivityID HAVING count(*) > 1)");
}

QString columnText(sqlite3_stmt* statement, int index)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, index));
    return textFromUtf8(text, sqlite3_column_bytes(statement, index));
}

void bindText(sqlite3_stmt* statement, int index, const QString& text)
{
    if (text.isEmpty()) {
        sqlite3_bind_null(statement, index);
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

} // namespace

bool BaseProject::is(const QString& otherGroup, const QString& otherName, const QString& otherFolder) const
{
    if (group.compare(otherGroup, Qt::CaseInsensitive) != 0 || name.compare(otherName, Qt::CaseInsensitive) != 0)
        return false;
    if (folder.isEmpty() || otherFolder.isEmpty())
        return true;
    const auto normal = [](const QString& path) {
        const QString canonical = QFileInfo(path).canonicalFilePath();
        return canonical.isEmpty() ? QDir::cleanPath(QDir::fromNativeSeparators(path)) : canonical;
    };
#ifdef Q_OS_WIN
    return normal(folder).compare(normal(otherFolder), Qt::CaseInsensitive) == 0;
#else
    return normal(folder) == normal(otherFolder);
#endif
}

QString textFieldName(int field)
{
    return fieldName(columnOfTextField(field));
}

struct ImportBase::Statements {
    std::unique_ptr<Statement> lookup;
    std::array<std::unique_ptr<Statement>, kTextFieldCount> setField;
};

ImportBase::ImportBase(Database& database) : m_database(database), m_statements(std::make_unique<Statements>()) {}

ImportBase::~ImportBase() = default;

QString ImportBase::createTablesSql()
{
    QStringList columns{QStringLiteral("ActivityID TEXT")};
    for (int field = 0; field < kTextFieldCount; ++field)
        columns << textFieldColumnName(field) + QStringLiteral(" TEXT");
    return QStringLiteral("CREATE TABLE IF NOT EXISTS ImportBase (") + columns.join(QStringLiteral(", "))
           + QStringLiteral("); CREATE INDEX IF NOT EXISTS ImportBase_ActivityID ON ImportBase (ActivityID);");
}

void ImportBase::createTables(Database& database)
{
    database.writableHandle();
    database.executeRaw(createTablesSql());
}

bool ImportBase::hasTables()
{
    Statement count(m_database.handle(),
                    QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'ImportBase'"));
    count.step();
    return sqlite3_column_int(count.get(), 0) == 1;
}

void ImportBase::replaceFromTable()
{
    // Statements prepared against the old tables would outlive a new schema.
    m_statements = std::make_unique<Statements>();
    ++m_revision;
    createTables(m_database);
    m_database.executeRaw(QStringLiteral("DELETE FROM ImportBase;"
                                         " INSERT INTO ImportBase (rowid, ActivityID, %1)"
                                         " SELECT rowid, ActivityID, %1 FROM P3Data ORDER BY rowid;")
                              .arg(textFieldList(QString())));
}

std::optional<BaseProject> ImportBase::project()
{
    if (!hasTables())
        return std::nullopt;
    // The import that filled the base recorded its project beside it.
    const TableImport import = lastImport(m_database);
    if (import.stamp == 0)
        return std::nullopt;
    BaseProject project{import.projectGroup, import.projectName, import.projectFolder};
    // A row the base does not know means P3Data was filled by other means
    // since: the base no longer tells what the user changed.
    // Each base row also keeps the rowid of its P3Data row, which the marks
    // follow; a row whose rowid now holds another activity is as unknown.
    Statement unknown(m_database.handle(),
                      QStringLiteral("SELECT EXISTS (SELECT 1 FROM P3Data p LEFT JOIN ImportBase b"
                                     " ON b.rowid = p.rowid WHERE b.ActivityID IS NOT p.ActivityID)"));
    unknown.step();
    if (sqlite3_column_int(unknown.get(), 0) != 0)
        return std::nullopt;
    return project;
}

bool ImportBase::lookup(const QString& activityId, ActivityTexts& texts)
{
    if (!m_statements->lookup)
        m_statements->lookup = std::make_unique<Statement>(
            m_database.handle(), QStringLiteral("SELECT %1 FROM ImportBase WHERE ActivityID = ? LIMIT 2")
                                     .arg(textFieldList(QString())));
    Statement& lookup = *m_statements->lookup;
    lookup.reset();
    const QByteArray id = activityId.toUtf8();
    sqlite3_bind_text(lookup.get(), 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
    if (!lookup.step())
        return false;
    for (int field = 0; field < kTextFieldCount; ++field)
        texts.fields[size_t(field)] = columnText(lookup.get(), field);
    const bool single = !lookup.step();
    lookup.reset();
    return single;
}

void ImportBase::setTexts(const QString& activityId, const std::vector<std::pair<int, QString>>& fields)
{
    ++m_revision;
    const QByteArray id = activityId.toUtf8();
    for (const auto& [field, text] : fields) {
        std::unique_ptr<Statement>& update = m_statements->setField[size_t(field)];
        if (!update)
            update = std::make_unique<Statement>(
                m_database.writableHandle(),
                QStringLiteral("UPDATE ImportBase SET %1 = ? WHERE ActivityID = ?").arg(textFieldColumnName(field)));
        update->reset();
        bindText(update->get(), 1, text);
        sqlite3_bind_text(update->get(), 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        update->step();
        update->reset();
    }
}

std::vector<ChangedText> ImportBase::changedTexts()
{
    std::vector<ChangedText> changes;
    if (!project())
        return changes;
    Statement select(m_database.handle(), QStringLiteral("SELECT p.ActivityID, %1, %2")
                                                  .arg(textFieldList(QStringLiteral("p.")),
                                                       textFieldList(QStringLiteral("b.")))
                                              + joinedRows() + QStringLiteral(" AND ") + anyTextDiffers(allTextFields())
                                              + QStringLiteral(" ORDER BY p.rowid"));
    while (select.step()) {
        const QString id = columnText(select.get(), 0);
        for (int field = 0; field < kTextFieldCount; ++field) {
            QString current = columnText(select.get(), 1 + field);
            QString base = columnText(select.get(), 1 + kTextFieldCount + field);
            if (current != base)
                changes.push_back({id, field, std::move(base), std::move(current)});
        }
    }
    return changes;
}

int ImportBase::changedActivityCount()
{
    if (!project())
        return 0;
    Statement count(m_database.handle(),
                    QStringLiteral("SELECT count(*)") + joinedRows() + QStringLiteral(" AND ") + anyTextDiffers(allTextFields()));
    count.step();
    return sqlite3_column_int(count.get(), 0);
}

QSet<QString> ImportBase::changedActivityIds()
{
    QSet<QString> ids;
    if (!project())
        return ids;
    Statement select(m_database.handle(), QStringLiteral("SELECT p.ActivityID") + joinedRows() + QStringLiteral(" AND ")
                                              + anyTextDiffers(allTextFields()));
    while (select.step())
        ids.insert(columnText(select.get(), 0));
    return ids;
}

void ImportBase::forEachMatchedRow(const std::vector<int>& fields, qint64 onlyRowId, RowsReported reported,
                                   const ChangedRowSink& sink)
{
    if (fields.empty())
        return;
    // Row by row through the rowid each base row shares with its P3Data
    // row: no look-up by ID.
    Statement select(m_database.handle(),
                     QStringLiteral("SELECT p.rowid, %1, %2 FROM P3Data p JOIN ImportBase b ON b.rowid = p.rowid"
                                    " WHERE b.ActivityID IS p.ActivityID")
                             .arg(differenceBits(fields, 0), differenceBits(fields, 64))
                         + (reported == RowsReported::Differing ? QStringLiteral(" AND ") + anyTextDiffers(fields)
                                                                : QString())
                         + (onlyRowId > 0 ? QStringLiteral(" AND p.rowid = %1").arg(onlyRowId) : QString()));
    while (select.step())
        sink(sqlite3_column_int64(select.get(), 0), quint64(sqlite3_column_int64(select.get(), 1)),
             quint64(sqlite3_column_int64(select.get(), 2)));
}

} // namespace orvane::store
