#pragma once
// The window's side of "Get logs from workbook..." and Edit > Undo: asking
// for the file, the preview to confirm, the status text. The reading and
// writing live in workbook/, the undo in the store.

#include "workbook/WorkbookUpdate.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QDialog;
class QWidget;

namespace orvane::store {
class ActivityStore;
}

namespace orvane::shell {

// The answer to a preview: the facts, one per line, and the cells that
// will change (none: nothing to do). True goes on.
using ConfirmWorkbookUpdate =
    std::function<bool(const QStringList& preview, const std::vector<workbook::CellChange>& changes)>;

// Reads the workbook, shows the preview through `confirm` (false: cancel,
// nothing changes), writes in one transaction that Edit > Undo can take back,
// and re-reads the table. Rows the grid's filter hides are updated too; the
// preview counts them. codeCaptions are the grid's activity-code captions.
// Returns the status text, empty when nothing was written.
QString updateFromWorkbook(store::ActivityStore& store, const QString& fileName, const QStringList& codeCaptions,
                           const ConfirmWorkbookUpdate& confirm);

// The preview window, not yet shown: the facts, then a list that scrolls of
// every cell that will change (activity, column, old text, new text), and
// OK / Cancel when something will change (Cancel the default), OK alone
// otherwise. The caller owns it.
QDialog* createWorkbookPreview(QWidget* parent, const QStringList& preview,
                               const std::vector<workbook::CellChange>& changes);
// Shows it modally under the normal cursor. Returns true on OK with changes.
bool confirmWorkbookUpdateWithDialog(QWidget* parent, const QStringList& preview,
                                     const std::vector<workbook::CellChange>& changes);

// Takes back the last change to many cells and re-reads the table. Returns
// the status text.
QString undoLastChange(store::ActivityStore& store);

} // namespace orvane::shell
