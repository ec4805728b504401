#pragma once
// The window's side of "Get logs from workbook..." and Edit > Undo: asking
// for the file, the preview to confirm, the status text. The reading and
// writing live in workbook/, the undo in the store.

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace orvane::store {
class ActivityStore;
}

namespace orvane::shell {

// Reads the workbook, shows the preview through `confirm` (false: cancel,
// nothing changes), writes in one transaction that Edit > Undo can take back,
// and re-reads the table. Rows the grid's filter hides are updated too; the
// preview counts them. codeCaptions are the grid's activity-code captions.
// Returns the status text, empty when nothing was written.
QString updateFromWorkbook(store::ActivityStore& store, const QString& fileName, const QStringList& codeCaptions,
                           const std::function<bool(const QStringList& preview, bool anyChange)>& confirm);

// The preview in a box: OK / Cancel when something will change, OK alone
// otherwise. Returns true on OK with changes.
bool confirmWorkbookUpdateWithDialog(QWidget* parent, const QStringList& preview, bool anyChange);

// Takes back the last change to many cells and re-reads the table. Returns
// the status text.
QString undoLastChange(store::ActivityStore& store);

} // namespace orvane::shell
