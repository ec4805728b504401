#pragma once
// The activity-code names of the project last imported, kept in pdb.mdb
// beside P3Data (whose layout stays exactly as it is) in a small table of
// their own, [P3CodeNames] (Slot, Name): the k-th name captions column
// ActivityCode k. They come back with the table after a restart.

#include <QStringList>

#include <optional>

namespace orvane::store {

class Database;

// Replaces the kept names with `names`, creating the table when the file
// has none yet (a file made before it existed gets it at its next import).
// Runs inside the caller's transaction when there is one, so the names
// change together with the rows.
void writeCodeNames(Database& db, const QStringList& names);

// The kept names in slot order; nullopt when the file has no such table
// (nothing was imported since it was made, or by an older Orvane). An empty
// list is a project without activity codes.
std::optional<QStringList> readCodeNames(Database& db);

} // namespace orvane::store
