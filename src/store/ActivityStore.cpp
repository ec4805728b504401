#include "store/ActivityStore.h"

#include "common/Errors.h"

namespace orvane::store {

ActivityStore::ActivityStore(const QString& fileName)
    : ADOCon(fileName),
      taActivities(ADOCon),
      qDelete(ADOCon, {QStringLiteral("DELETE * FROM P3Data")}),
      qGetActivity(ADOCon, {QStringLiteral("SELECT * FROM P3Data"), QStringLiteral("WHERE [ActivityID] = :ActID")}),
      qLog2Log(ADOCon, {QStringLiteral("UPDATE P3Data"), QStringLiteral("SET ")})
{
    qGetActivity.setParameter(QStringLiteral("ActID"), QVariant());
}

void ActivityStore::openAtStartup(const std::function<void(const QString&)>& report)
{
    try {
        ADOCon.open();
    } catch (const OrvaneError& e) {
        report(e.message());
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

} // namespace orvane::store
