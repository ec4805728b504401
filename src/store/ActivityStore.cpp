#include "store/ActivityStore.h"

#include "common/Errors.h"
#include "store/Statement.h"

#include <sqlite3.h>

namespace orvane::store {

ActivityStore::ActivityStore(const QString& fileName)
    : ADOCon(fileName),
      taActivities(ADOCon),
      qDelete(ADOCon, {QStringLiteral("DELETE * FROM P3Data")}),
      qGetActivity(ADOCon, {QStringLiteral("SELECT * FROM P3Data"), QStringLiteral("WHERE [ActivityID] = :ActID")}),
      qLog2Log(ADOCon, {QStringLiteral("UPDATE P3Data"), QStringLiteral("SET ")}),
      undo(ADOCon)
{
    qGetActivity.setParameter(QStringLiteral("ActID"), QVariant());
}

void ActivityStore::openAtStartup(const std::function<void(const QString&)>& report)
{
    try {
        ADOCon.open();
    } catch (const OrvaneError& e) {
        report(e.message());
        return;
    }
    try {
        taActivities.open();
    } catch (const OrvaneError& e) {
        report(e.message());
    }
}

void ActivityStore::ClearTable()
{
    qDelete.execSQL();
    taActivities.requery();
}

QSet<QString> ActivityStore::repeatedActivityIds()
{
    QSet<QString> ids;
    Statement select(ADOCon.handle(), QStringLiteral(
        "SELECT [ActivityID] FROM [P3Data] GROUP BY [ActivityID] HAVING count(*) > 1"));
    while (select.step())
        ids.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0))));
    return ids;
}

} // namespace orvane::store
