#pragma once
// The local database objects of the main window, bundled so the windows and
// orvane-batch share them: the connection, the table, and the three queries.

#include "store/ActivityTable.h"
#include "store/Database.h"
#include "store/Query.h"
#include "store/UndoHistory.h"

#include <QSet>

#include <functional>

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

    Database ADOCon;
    ActivityTable taActivities;
    Query qDelete;
    Query qGetActivity;
    Query qLog2Log;
    // Undo of the changes to many cells; off unless a window turns it on.
    UndoHistory undo;
};

} // namespace orvane::store
