#include "logedit/BulkCommands.h"

#include "common/Errors.h"
#include "logedit/MultiLogLines.h"
#include "store/ActivityLayout.h"
#include "store/ActivityStore.h"

#include <QRegularExpression>

#include <exception>
#include <optional>
#include <vector>

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

int logNumberFromText(const QString& text, const QLocale& locale)
{
    const std::optional<int> number = numberBoxValue(text, locale);
    if (!number || *number < 1 || *number > store::kLogCount)
        throw OrvaneError(QStringLiteral("There is no log column \"Log#%1\": log numbers run from 1 to %2")
                              .arg(text.left(40))
                              .arg(store::kLogCount));
    return *number;
}

QString log2LogStatement(int x, int y)
{
    return log2LogStatement(QString::number(x), QString::number(y));
}

QString descriptionToLogStatement(int n)
{
    return descriptionToLogStatement(QString::number(n));
}

QString logToDescriptionStatement(int n)
{
    return logToDescriptionStatement(QString::number(n));
}

QString dataToLogStatement(const QString& field, int n)
{
    return dataToLogStatement(field, QString::number(n));
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
    // The statement ran and can only have set these columns: the re-read
    // takes them alone, from `reread` when it holds them.
    void narrowTo(std::optional<std::vector<int>> columns, store::ActivityTable::ColumnReread&& reread)
    {
        m_columns = std::move(columns);
        m_reread = std::move(reread);
    }
    ~RequeryOnExit() noexcept(false)
    {
        if (std::uncaught_exceptions() > m_exceptions) {
            try {
                m_table.requery();
            } catch (...) {
            }
            return;
        }
        if (m_columns)
            m_table.requeryColumns(*m_columns, std::move(m_reread));
        else
            m_table.requery();
    }

private:
    store::ActivityTable& m_table;
    int m_exceptions;
    std::optional<std::vector<int>> m_columns;
    store::ActivityTable::ColumnReread m_reread;
};

} // namespace

int runBulkStatement(store::ActivityStore& store, const QString& statement)
{
    const QString text = withRowFilter(statement, store.taActivities);
    RequeryOnExit requery(store.taActivities);
    store::UndoRecording recording(store.undo, QStringLiteral("bulk command"));
    store.qLog2Log.setSql(text);
    store::ActivityTable::ColumnReread reread = store.taActivities.startColumnReread();
    const int changed = recording.runColumnStatement(
        text, [&store] { return store.qLog2Log.execSQL(); },
        [&reread](const std::vector<int>& columns, sqlite3_stmt* row) { reread.takeRow(columns, row); });
    recording.finish();
    requery.narrowTo(recording.columnsSet(), std::move(reread));
    return changed;
}

QString bulkFeedback(const QString& statement, int rowsChanged)
{
    static const QRegularExpression assignment(QStringLiteral(R"(SET \[([^\]]+)\] = \[([^\]]+)\])"));
    const QRegularExpressionMatch match = assignment.match(statement);
    const QString what = match.hasMatch() ? match.captured(2) + QStringLiteral(" => ") + match.captured(1) : statement;
    return what + (rowsChanged == 1 ? QStringLiteral(": 1 row") : QStringLiteral(": %1 rows").arg(rowsChanged));
}

} // namespace orvane::logedit
