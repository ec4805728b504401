#pragma once
// The local database objects of the main window, bundled so the windows and
// orvane-batch share them: the connection, the table, and the three queries.

#include "store/ActivityTable.h"
#include "store/ChangeMarks.h"
#include "store/Database.h"
#include "store/ImportBase.h"
#include "store/Query.h"
#include "store/UndoHistory.h"

#include <QSet>

#include <functional>
#include <optional>
#include <vector>

namespace orvane::store {

class ActivityStore {
public:
    explicit ActivityStore(const QString& fileName = QStringLiteral("pdb.mdb"));

    // Opens the connection, then the table. A failure is handed to `report`
    // once and start-up goes on with the table closed: when the connection
    // fails, the table (which would connect again) is not tried.
    void openAtStartup(const std::function<void(const QString&)>& report);

    // Removes every row (whatever the filter) and re-reads the table.
    void ClearTable();

    // The activity IDs that more than one row holds.
    QSet<QString> repeatedActivityIds();

    // One text of P3Data set by activity ID: field 0 the description, n
    // log n; an empty text is stored as null. With `expected`, only where
    // the table still holds that text (a null reading as empty).
    struct TextAssignment {
        QString activityId;
        int field = 0;
        QString text;
        std::optional<QString> expected;
    };
    // Runs the assignments inside the caller's transaction and returns the
    // table columns they may have changed, ascending. The table is not
    // re-read here.
    std::vector<int> assignTexts(const std::vector<TextAssignment>& texts);

    Database ADOCon;
    ActivityTable taActivities;
    Query qDelete;
    Query qGetActivity;
    Query qLog2Log;
    // What P3 delivered at the last import, to tell the user's edits apart.
    ImportBase base;
    // Which texts differ from the base; off unless a window turns it on.
    ChangeMarks changes;
    // Undo of the changes to many cells; off unless a window turns it on.
    UndoHistory undo;
};

} // namespace orvane::store
