// orvane-batch update-from FILE [--dry-run]: brings back the descriptions and
// logs edited in a workbook (.xls or .xlsx, as exported or re-saved by a
// spreadsheet program) into pdb.mdb in the current directory. Prints what
// changes and what is left alone, each conflict (a cell edited both in the
// table and in the workbook since the export) on a line of its own, read and
// written in one transaction; with --dry-run changes nothing. A workbook
// without the export's record gets a notice on stderr. Runs the same update
// as "Get logs from workbook...". There is no undo here.

#include "BatchCommand.h"

#include "store/Database.h"
#include "workbook/WorkbookUpdate.h"

namespace orvane::batch {
namespace {

int runUpdateFrom(const QStringList& arguments)
{
    QStringList args = arguments;
    const bool dryRun = args.removeAll(QStringLiteral("--dry-run")) > 0;
    if (args.size() != 1)
        throw UsageError{args.isEmpty() ? QStringLiteral("a workbook file is needed")
                                        : QStringLiteral("too many arguments")};
    store::Database database;
    database.open();
    const workbook::WorkbookForUpdate workbook = workbook::readWorkbookForUpdate(args.first());
    // A dry run only reads (also a read-only file); an update reads the
    // table in the transaction that writes it.
    const workbook::UpdatePlan plan =
        dryRun ? workbook::planUpdate(workbook, database) : workbook::updateTable(workbook, database);
    if (!plan.notice().isEmpty())
        printError(plan.notice());
    for (const QString& line : plan.previewLines())
        printLine(line);
    if (dryRun) {
        printLine(QStringLiteral("Dry run: nothing was changed."));
        return kExitOk;
    }
    printLine(QStringLiteral("Updated %1 activities.").arg(plan.activities));
    return kExitOk;
}

const BatchCommand updateFrom("update-from",
                              "update-from FILE [--dry-run]   bring back descriptions and logs edited in a workbook",
                              runUpdateFrom);

} // namespace
} // namespace orvane::batch
