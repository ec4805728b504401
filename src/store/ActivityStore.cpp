#include "store/ActivityStore.h"

#include "common/Errors.h"
#include "common/Utf8Text.h"
#include "store/Statement.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <memory>

namespace orvane::store {

ActivityStore::ActivityStore(const QString& fileName)
    : ADOCon(fileName),
      taActivities(ADOCon),
      qDelete(ADOCon, {QStringLiteral("DELETE * FROM P3Data")}),
      qGetActivity(ADOCon, {QStringLiteral("SELECT * FROM P3Data"), QStringLiteral("WHERE [ActivityID] = :ActID")}),
      qLog2Log(ADOCon, {QStringLiteral("UPDATE P3Data"), QStringLiteral("SET ")}),
      base(ADOCon),
      changes(taActivities, base),
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
        ids.insert(textFromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(select.get(), 0)),
                                sqlite3_column_bytes(select.get(), 0)));
    return ids;
}

} // namespace orvane::store

namespace orvane::store {

std::vector<int> ActivityStore::assignTexts(const std::vector<TextAssignment>& texts)
{
    sqlite3* db = ADOCon.writableHandle();
    // One prepared statement per field and kind, used for every activity.
    std::array<std::unique_ptr<Statement>, 2 * kTextFieldCount> updates;
    std::array<bool, kTextFieldCount> written{};
    for (const TextAssignment& assignment : texts) {
        const bool guarded = assignment.expected.has_value();
        std::unique_ptr<Statement>& update = updates[size_t(assignment.field * 2 + (guarded ? 1 : 0))];
        if (!update) {
            const QString column = QLatin1Char('[') + textFieldName(assignment.field) + QLatin1Char(']');
            update = std::make_unique<Statement>(
                db, QStringLiteral("UPDATE P3Data SET %1 = ?1 WHERE ActivityID = ?2").arg(column)
                        + (guarded ? QStringLiteral(" AND coalesce(%1, '') = ?3").arg(column) : QString()));
        }
        update->reset();
        const QByteArray text = assignment.text.toUtf8();
        const QByteArray id = assignment.activityId.toUtf8();
        if (assignment.text.isEmpty())
            sqlite3_bind_null(update->get(), 1);
        else
            sqlite3_bind_text(update->get(), 1, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(update->get(), 2, id.constData(), int(id.size()), SQLITE_TRANSIENT);
        if (guarded) {
            const QByteArray expected = assignment.expected->toUtf8();
            sqlite3_bind_text(update->get(), 3, expected.constData(), int(expected.size()), SQLITE_TRANSIENT);
        }
        update->step();
        update->reset();
        written[size_t(assignment.field)] = true;
    }
    std::vector<int> columns;
    for (int field = 0; field < kTextFieldCount; ++field)
        if (written[size_t(field)])
            columns.push_back(columnOfTextField(field));
    std::sort(columns.begin(), columns.end());
    return columns;
}

} // namespace orvane::store
