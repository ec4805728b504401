#pragma once
// Bringing back logs edited in a workbook: the caption row is found by its
// captions, rows are matched to the activity table by ActivityID, and only
// Description and the 99 log columns are written, only where the workbook
// differs from the table. Nothing else of the table is touched.

#include "workbook/SheetReader.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
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

struct UpdatePlan {
    std::vector<CellChange> changes;      // in workbook row order
    int activities = 0;                   // rows with at least one change
    int logLines = 0;                     // log cells that change
    int descriptions = 0;                 // Description cells that change
    int hiddenByFilter = 0;               // of `activities`, rows the grid's filter hides
    int rowsWithoutId = 0;                // rows with content but no ActivityID
    QStringList unknownIds;               // IDs the table does not have
    QStringList duplicateIds;             // IDs on more than one workbook row: left alone
    QStringList repeatedInTable;          // IDs on more than one table row: left alone
    QStringList unrecognisedColumns;      // captions that name no column: left alone

    // The facts to show before anything changes, one per line.
    QStringList previewLines() const;
};

// Tells whether the grid's row filter hides the table row with this rowid.
using HiddenRowTest = std::function<bool(qint64 rowId)>;

// The first worksheet of a workbook with the cells an update uses: the rows
// down to the caption row whole, below it the ActivityID, Description and
// log columns (readFirstSheet with a CellChoice).
SheetRows readSheetForUpdate(const QString& fileName);

// Works out what an update from the sheet would change, reading the table
// through db and changing nothing. extraCaptions are further captions that
// name a grid column (the activity-code captions of the current project):
// they are recognised and left alone. Throws FormatError when no row of the
// sheet captions an ActivityID column, or when Description or a log column
// is captioned twice.
UpdatePlan planUpdate(const SheetRows& sheet, store::Database& db, const QStringList& extraCaptions = {},
                      const HiddenRowTest& hidden = {});

// Writes the plan in one transaction on db. Every cell is written only if it
// still holds the value the plan was made from: when any does not (another
// program changed the table in between), nothing is written and
// DatabaseError says so. Refused on a read-only or refused table. Returns the
// number of cells written.
int applyUpdate(store::Database& db, const UpdatePlan& plan);

} // namespace orvane::workbook
