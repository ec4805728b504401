#include "shell/WorkbookCommands.h"

#include "store/ActivityStore.h"
#include "store/UndoHistory.h"
#include "workbook/WorkbookUpdate.h"

#include <QMessageBox>

namespace orvane::shell {

QString updateFromWorkbook(store::ActivityStore& store, const QString& fileName, const QStringList& codeCaptions,
                           const std::function<bool(const QStringList&, bool)>& confirm)
{
    store.ADOCon.writableHandle();   // refused before the file is read
    store::ActivityTable& table = store.taActivities;
    // Which changed rows the filter hides is told by the whole cursor.
    if (table.isActive())
        table.fetchAll();
    const workbook::HiddenRowTest hidden = [&table](qint64 rowId) {
        return table.isActive() && table.filtered() && table.rowOfId(rowId) < 0;
    };
    const workbook::WorkbookForUpdate workbook = workbook::readWorkbookForUpdate(fileName);
    const workbook::UpdatePlan plan = workbook::planUpdate(workbook, store.ADOCon, codeCaptions, hidden);
    QStringList preview = plan.previewLines();
    if (!plan.notice().isEmpty())
        preview.prepend(plan.notice());
    if (!confirm(preview, !plan.changes.empty()) || plan.changes.empty())
        return QString();
    store::UndoRecording recording(store.undo, QStringLiteral("update from workbook"));
    // Compared again in the transaction that writes: what is written is
    // what the preview showed, or nothing.
    workbook::updateTable(workbook, store.ADOCon, codeCaptions, hidden, &plan);
    const bool undoable = recording.finish();
    if (table.isActive()) {
        if (const auto columns = recording.columnsSet())
            table.requeryColumns(*columns);
        else
            table.requery();
    }
    return undoable ? QStringLiteral("Updated %1 Activities").arg(plan.activities)
                    : QStringLiteral("Updated %1 Activities (too large to undo)").arg(plan.activities);
}

bool confirmWorkbookUpdateWithDialog(QWidget* parent, const QStringList& preview, bool anyChange)
{
    QMessageBox box(anyChange ? QMessageBox::Question : QMessageBox::Information,
                    QStringLiteral("Get logs from workbook"), preview.join(QLatin1Char('\n')),
                    anyChange ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("WorkbookPreview"));
    if (anyChange)
        box.setInformativeText(QStringLiteral("Write these changes into the table? P3 is not changed until you save."));
    else
        box.setInformativeText(QStringLiteral("Nothing to change."));
    box.setDefaultButton(anyChange ? QMessageBox::Cancel : QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok && anyChange;
}

QString undoLastChange(store::ActivityStore& store)
{
    const store::UndoHistory::Result result = store.undo.undo();
    if (store.taActivities.isActive())
        store.taActivities.requeryColumns(result.columns);
    QString text = QStringLiteral("Undone: %1").arg(result.label);
    if (result.kept > 0)
        text += QStringLiteral(" (%1 cells edited since kept)").arg(result.kept);
    return text;
}

} // namespace orvane::shell
