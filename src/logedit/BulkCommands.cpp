#include "logedit/BulkCommands.h"

#include "store/ActivityStore.h"

#include <exception>

namespace orvane::logedit {

QString log2LogStatement(const QString& x, const QString& y)
{
    return QStringLiteral("UPDATE [P3Data] SET [Log#") + y + QStringLiteral("] = [Log#") + x + QStringLiteral("]");
}

QString descriptionToLogStatement(const QString& n)
{
    return QStringLiteral("UPDATE [P3Data] SET [Log#") + n + QStringLiteral("] = [Description]");
}

QString logToDescriptionStatement(const QString& n)
{
    return QStringLiteral("UPDATE [P3Data] SET [Description] = [Log#") + n + QStringLiteral("]");
}

QString dataToLogStatement(const QString& field, const QString& n)
{
    return QStringLiteral("UPDATE [P3Data] SET [Log#") + n + QStringLiteral("] = [") + field + QStringLiteral("]");
}

QString withRowFilter(const QString& statement, const store::ActivityTable& table)
{
    if (!table.filtered())
        return statement;
    return statement + QStringLiteral(" WHERE ") + table.filter();
}

namespace {

// Re-reads the table when the scope ends. While an error of the statement
// is on its way out, a failing re-read must not replace it (nor end the
// program): the statement's error is the one the user sees.
class RequeryOnExit {
public:
    explicit RequeryOnExit(store::ActivityTable& table)
        : m_table(table), m_exceptions(std::uncaught_exceptions()) {}
    RequeryOnExit(const RequeryOnExit&) = delete;
    RequeryOnExit& operator=(const RequeryOnExit&) = delete;
    ~RequeryOnExit() noexcept(false)
    {
        if (std::uncaught_exceptions() > m_exceptions) {
            try {
                m_table.requery();
            } catch (...) {
            }
            return;
        }
        m_table.requery();
    }

private:
    store::ActivityTable& m_table;
    int m_exceptions;
};

} // namespace

int runBulkStatement(store::ActivityStore& store, const QString& statement)
{
    const QString text = withRowFilter(statement, store.taActivities);
    RequeryOnExit requery(store.taActivities);
    store.qLog2Log.setSql(text);
    return store.qLog2Log.execSQL();
}

} // namespace orvane::logedit
