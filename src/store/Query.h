#pragma once
// A query component on the connection: a statement text (in Orvane's
// dialect), named parameters, and either execution (execSQL) or an open
// result of rows read by column index. Used for qDelete, qGetActivity and
// qLog2Log.

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <vector>

struct sqlite3;

namespace orvane::store {

class Database;
class Statement;

class Query {
public:
    explicit Query(Database& database, QStringList sqlLines = {});
    ~Query();

    // The statement text, one entry per line (joined with line breaks).
    void setSql(const QStringList& lines);
    void setSql(const QString& text) { setSql(QStringList{text}); }
    QString sqlText() const;

    // Named parameters, e.g. setParameter("ActID", "A1000"). A parameter that
    // is never set is bound as null.
    void setParameter(const QString& name, const QVariant& value);
    QVariant parameter(const QString& name) const;

    // Runs the text as a statement that returns no rows; returns the number
    // of rows changed.
    int execSQL();

    // Opens the result. Columns of a "SELECT *" over P3Data are typed by the
    // table's layout.
    void open();
    void close();
    bool isOpen() const { return m_open; }
    bool eof() const { return m_eof; }
    void next();
    int fieldCount() const;
    QVariant value(int column) const;

private:
    Database& m_database;
    QStringList m_lines;
    QVariantMap m_params;
    std::unique_ptr<Statement> m_prepared;   // kept while the text stays the same
    sqlite3* m_preparedOn = nullptr;
    std::vector<int> m_columnFields;         // table field of each result column, or -1
    bool m_open = false;
    bool m_eof = true;
};

} // namespace orvane::store
