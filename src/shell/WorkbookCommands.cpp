#include "shell/WorkbookCommands.h"

#include "store/ActivityStore.h"
#include "store/UndoHistory.h"
#include "workbook/WorkbookUpdate.h"

#include "grid/BusyCursor.h"
#include "store/ActivityLayout.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

namespace orvane::shell {

QString updateFromWorkbook(store::ActivityStore& store, const QString& fileName, const QStringList& codeCaptions,
                           const ConfirmWorkbookUpdate& confirm)
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
    if (!confirm(preview, plan.changes) || plan.changes.empty())
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

QDialog* createWorkbookPreview(QWidget* parent, const QStringList& preview,
                               const std::vector<workbook::CellChange>& changes)
{
    auto* box = new QDialog(parent);
    box->setObjectName(QStringLiteral("WorkbookPreview"));
    box->setWindowTitle(QStringLiteral("Get logs from workbook"));
    auto* layout = new QVBoxLayout(box);
    auto* facts = new QLabel(preview.join(QLatin1Char('\n')), box);
    facts->setTextFormat(Qt::PlainText);
    facts->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(facts);

    // One row per cell, in workbook order; every text on one line.
    auto* list = new QTableWidget(int(changes.size()), 4, box);
    list->setObjectName(QStringLiteral("WorkbookChanges"));
    list->setHorizontalHeaderLabels({QStringLiteral("Activity"), QStringLiteral("Log"), QStringLiteral("Old text"),
                                     QStringLiteral("New text")});
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setWordWrap(false);
    list->verticalHeader()->hide();
    list->horizontalHeader()->setStretchLastSection(true);
    const auto oneLine = [](QString text) {
        return text.replace(QLatin1String("\r\n"), QStringLiteral(" ")).replace(QLatin1Char('\n'), QLatin1Char(' '));
    };
    for (int row = 0; row < int(changes.size()); ++row) {
        const workbook::CellChange& change = changes[size_t(row)];
        const QString texts[] = {change.activityId, store::fieldName(change.column), oneLine(change.stored.toString()),
                                 oneLine(change.text)};
        for (int column = 0; column < 4; ++column) {
            auto* item = new QTableWidgetItem(texts[column]);
            item->setToolTip(column >= 2 ? (column == 2 ? change.stored.toString() : change.text) : QString());
            list->setItem(row, column, item);
        }
    }
    list->setColumnWidth(0, 110);
    list->setColumnWidth(1, 80);
    list->setColumnWidth(2, 220);
    list->setVisible(!changes.empty());
    layout->addWidget(list, 1);

    auto* question = new QLabel(changes.empty() ? QStringLiteral("Nothing to change.")
                                                : QStringLiteral("Write these changes into the table? P3 is not "
                                                                 "changed until you save."),
                                box);
    layout->addWidget(question);
    auto* buttons = new QDialogButtonBox(changes.empty() ? QDialogButtonBox::Ok
                                                         : QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                         box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);
    if (QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel)) {
        buttons->button(QDialogButtonBox::Ok)->setAutoDefault(false);
        cancel->setDefault(true);
    }
    layout->addWidget(buttons);
    box->resize(changes.empty() ? QSize(420, 160) : QSize(760, 480));
    return box;
}

bool confirmWorkbookUpdateWithDialog(QWidget* parent, const QStringList& preview,
                                     const std::vector<workbook::CellChange>& changes)
{
    grid::NormalCursor normal;
    std::unique_ptr<QDialog> box(createWorkbookPreview(parent, preview, changes));
    return box->exec() == QDialog::Accepted && !changes.empty();
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
