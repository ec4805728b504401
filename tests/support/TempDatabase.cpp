#include "support/TempDatabase.h"

#include "store/ActivityLayout.h"
#include "store/DatabaseFile.h"
#include "store/SqlValues.h"
#include "store/Statement.h"

#include <QDir>
#include <QSettings>
#include <QStringList>
#include <sqlite3.h>
#include <stdexcept>

namespace orvane::testing {

namespace {

struct Connection {
    sqlite3* db = nullptr;
    Connection()
    {
        if (sqlite3_open_v2("pdb.mdb", &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open pdb.mdb");
    }
    ~Connection() { sqlite3_close(db); }
};

} // namespace

TempWorkDir::TempWorkDir(bool withDatabase) : m_previous(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
    if (withDatabase)
        store::createActivityDatabase(QStringLiteral("pdb.mdb"));
}

TempWorkDir::~TempWorkDir()
{
    QDir::setCurrent(m_previous);
}

void isolateUserSettings(const QString& folder)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder);
}

qint64 insertRow(const QVariantMap& values)
{
    Connection c;
    QStringList names, marks;
    for (auto it = values.begin(); it != values.end(); ++it) {
        names << QLatin1Char('[') + it.key() + QLatin1Char(']');
        marks << QStringLiteral("?");
    }
    store::Statement insert(c.db, QStringLiteral("INSERT INTO P3Data (%1) VALUES (%2)")
                                      .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
    int i = 1;
    for (auto it = values.begin(); it != values.end(); ++it)
        store::bindColumnValue(insert.get(), i++, store::fieldIndex(it.key()), it.value());
    insert.step();
    return sqlite3_last_insert_rowid(c.db);
}

void execRaw(const QString& sql)
{
    Connection c;
    char* error = nullptr;
    if (sqlite3_exec(c.db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "sqlite error";
        sqlite3_free(error);
        throw std::runtime_error(message);
    }
}

QVariant readValue(const QString& activityId, const QString& field)
{
    Connection c;
    store::Statement select(c.db, QStringLiteral("SELECT [%1] FROM P3Data WHERE ActivityID = ?").arg(field));
    const QByteArray id = activityId.toUtf8();
    sqlite3_bind_text(select.get(), 1, id.constData(), int(id.size()), SQLITE_TRANSIENT);
    if (!select.step())
        return QVariant();
    return store::readColumnValue(select.get(), 0, store::fieldIndex(field));
}

QStringList dumpTable()
{
    Connection c;
    QStringList columns;
    for (const QString& name : store::fieldNames())
        columns << QStringLiteral("typeof([%1]) || ':' || hex([%1])").arg(name);
    store::Statement select(c.db, QStringLiteral("SELECT rowid || '|' || %1 FROM P3Data ORDER BY rowid")
                                      .arg(columns.join(QStringLiteral(" || '|' || "))));
    QStringList rows;
    while (select.step())
        rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0)));
    return rows;
}

} // namespace orvane::testing
