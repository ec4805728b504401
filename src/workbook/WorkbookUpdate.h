#pragma once
// Bringing back logs edited in a workbook: the caption row is found by its
// captions, rows are matched to the activity table by ActivityID, and only
// Description and the 99 log columns are written, only where the workbook
// differs from the table. Nothing else of the table is touched.
//
// A workbook Orvane exported carries a record of what it exported
// (store/ExportRecord.h). Each cell is then decided three ways, with what
// was exported as the base: a cell edited in the workbook only is written,
// one edited in the table only since the export keeps the table's text, and
// one edited on both sides differently is a conflict, listed and left as the
// table has it. A workbook without that record (an older export, a file
// made by hand) takes every difference from the workbook, after a notice.

#include "workbook/SheetReader.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

namespace orvane::store {
class Database;
}

namespace orvane::workbook {

// One cell to write: `stored` is the table's value when the workbook was
// read, `text` the workbook's (empty: the log is emptied, stored as null);
// `activityId` names the row in the preview.
struct CellChange {
    qint64 rowId;
    int column;
    QVariant stored;
    QString text;
    QString activityId;
};

// A cell changed both in the table and in the workbook since the export,
// each differently: the table keeps its text. The exported text is known
// where the workbook's record holds the texts themselves (older exports);
// the record of digests exports write now tells only whether a text is it.
struct CellConflict {
    QString activityId;
    int column;
    std::optional<QString> exported;   // what the export wrote
    QString table;      // the table's text, kept
    QString workbook;   // the workbook's text, not written
};

struct UpdatePlan {
    std::vector<CellChange> changes;      // in workbook row order
    std::vector<CellConflict> conflicts;  // in workbook row order: left as the table has them
    int keptTableEdits = 0;               // cells edited in the table only since the export: left
    bool withoutExportRecord = false;     // every difference is taken from the workbook
    int activities = 0;                   // rows with at least one change
    int logLines = 0;                     // log cells that change
    int descriptions = 0;                 // Description cells that change
    int hiddenByFilter = 0;               // of `activities`, rows the grid's filter hides
    int rowsWithoutId = 0;                // rows with content but no ActivityID
    QStringList unknownIds;               // IDs the table does not have
    QStringList duplicateIds;             // IDs on more than one workbook row: left alone
    QStringList repeatedInTable;          // IDs on more than one table row: left alone
    QStringList unrecognisedColumns;      // captions that name no column: left alone

    // The facts to show before anything changes, one per line; each
    // conflict on a line of its own.
    QStringList previewLines() const;
    // One line telling that the workbook carries no record of what was
    // exported; empty when it does.
    QString notice() const;
};

// Tells whether the grid's row filter hides the table row with this rowid.
using HiddenRowTest = std::function<bool(qint64 rowId)>;

// What an update reads of a workbook: the first worksheet with the cells an
// update uses (the rows down to the caption row whole, below it the
// ActivityID, Description and log columns), and the export's record when
// the workbook carries one.
struct WorkbookForUpdate {
    SheetRows sheet;
    std::optional<SheetRows> exportRecord;
};
WorkbookForUpdate readWorkbookForUpdate(const QString& fileName);

// Works out what an update from the workbook would change, reading the
// table through db and changing nothing. extraCaptions are further captions
// that name a grid column (the activity-code captions of the current
// project): they are recognised and left alone. Throws FormatError when no
// row of the sheet captions an ActivityID column, or when Description or a
// log column is captioned twice.
UpdatePlan planUpdate(const WorkbookForUpdate& workbook, store::Database& db, const QStringList& extraCaptions = {},
                      const HiddenRowTest& hidden = {});
// The same for a sheet alone, without a record of what was exported.
UpdatePlan planUpdate(const SheetRows& sheet, store::Database& db, const QStringList& extraCaptions = {},
                      const HiddenRowTest& hidden = {});

// Writes the plan in one transaction on db. Every cell is written only if it
// still holds the value the plan was made from: when any does not (another
// program changed the table in between), nothing is written and
// DatabaseError says so. Refused on a read-only or refused table. Returns the
// number of cells written.
int applyUpdate(store::Database& db, const UpdatePlan& plan);

// planUpdate() and applyUpdate() inside one write transaction, so no other
// program's commit falls between reading the table and writing it. With
// `confirmed` (the plan a preview showed and the user accepted), a table that
// now gives other changes is refused: nothing is written and DatabaseError
// says so. Returns the plan written.
UpdatePlan updateTable(const WorkbookForUpdate& workbook, store::Database& db, const QStringList& extraCaptions = {},
                       const HiddenRowTest& hidden = {}, const UpdatePlan* confirmed = nullptr);

} // namespace orvane::workbook
