#include "store/Query.h"

#include "common/Errors.h"
#include "common/Utf8Text.h"
#include "store/ActivityLayout.h"
#include "store/Database.h"
#include "store/Dialect.h"
#include "store/SqlValues.h"
#include "store/Statement.h"

#include <sqlite3.h>

namespace orvane::store {

Query::Query(Database& database, QStringList sqlLines)
    : m_database(database), m_lines(std::move(sqlLines))
{
}

Query::~Query() = default;

void Query::setSql(const QStringList& lines)
{
    close();
    if (lines != m_lines)
        m_prepared.reset();
    m_lines = lines;
}

QString Query::sqlText() const
{
    return m_lines.join(QLatin1Char('\n'));
}

void Query::setParameter(const QString& name, const QVariant& value)
{
    m_params.insert(name, value);
}

QVariant Query::parameter(const QString& name) const
{
    return m_params.value(name);
}

int Query::execSQL()
{
    close();
    return m_database.execute(sqlText(), m_params);
}

void Query::open()
{
    close();
    // A lookup is opened once per activity with the same text: the prepared
    // statement is kept between uses and only prepared again for a new text.
    sqlite3* db = m_database.handle();
    if (!m_prepared || m_preparedOn != db) {
        m_prepared = std::make_unique<Statement>(db, translateStatement(sqlText()));
        m_preparedOn = db;
        // Result columns named like a table field are typed by the table's
        // layout; the names are looked up once per prepared statement.
        m_columnFields.clear();
        for (int i = 0; i < sqlite3_column_count(m_prepared->get()); ++i)
            m_columnFields.push_back(fieldIndex(QString::fromUtf8(sqlite3_column_name(m_prepared->get(), i))));
    }
    Statement& statement = *m_prepared;
    statement.reset();
    const int count = sqlite3_bind_parameter_count(statement.get());
    for (int i = 1; i <= count; ++i) {
        const char* name = sqlite3_bind_parameter_name(statement.get(), i);
        const QString key = name ? QString::fromUtf8(name + 1) : QString();
        bindValue(statement.get(), i, m_params.value(key));
    }
    m_open = true;
    m_eof = !statement.step();
}

void Query::close()
{
    if (m_prepared)
        m_prepared->reset();
    m_open = false;
    m_eof = true;
}

void Query::next()
{
    if (!m_open)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (!m_eof)
        m_eof = !m_prepared->step();
}

int Query::fieldCount() const
{
    return m_open ? sqlite3_column_count(m_prepared->get()) : 0;
}

QVariant Query::value(int column) const
{
    if (!m_open)
        throw DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    if (m_eof)
        throw DatabaseError(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted"));
    if (column < 0 || column >= fieldCount())
        throw DatabaseError(QStringLiteral("List index out of bounds (%1)").arg(column));
    const int tableColumn = m_columnFields[size_t(column)];
    if (tableColumn >= 0)
        return readColumnValue(m_prepared->get(), column, tableColumn);
    switch (sqlite3_column_type(m_prepared->get(), column)) {
    case SQLITE_NULL: return QVariant();
    case SQLITE_INTEGER: return QVariant(qlonglong(sqlite3_column_int64(m_prepared->get(), column)));
    case SQLITE_FLOAT: return sqlite3_column_double(m_prepared->get(), column);
    default:
        return textFromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(m_prepared->get(), column)),
                                 sqlite3_column_bytes(m_prepared->get(), column));
    }
}

} // namespace orvane::store
