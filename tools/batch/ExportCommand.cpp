// orvane-batch export FILE.xls|FILE.xlsx [--filter-file FILE.flt]: writes
// the activity grid of pdb.mdb in the current directory, as the main window
// shows it at start (its bands and columns, sorted by EarlyFinish), into an
// .xls workbook, or an .xlsx one for a name ending in .xlsx; with a saved
// filter only the rows it lets through. Runs the same
// export as "Export to MS Excell...". Prints the file written and, when the
// sheet could not hold everything, what was left out.

#include "BatchCommand.h"

#include "export/GridExport.h"
#include "filter/ActivityFilterColumns.h"
#include "grid/ActivityGridLayout.h"
#include "grid/GridViewModel.h"
#include "store/ActivityStore.h"

namespace orvane::batch {
namespace {

int runExport(const QStringList& arguments)
{
    QStringList args = arguments;
    bool filtered = false;
    const QString filterFile = takeOption(args, QStringLiteral("--filter-file"), &filtered);
    if (args.size() != 1)
        throw UsageError{args.isEmpty() ? QStringLiteral("an output file is needed")
                                        : QStringLiteral("too many arguments")};
    const QString filterText = filtered ? filter::filterTextFromFile(filterFile) : QString();

    store::ActivityStore store;
    store.ADOCon.open();
    store.taActivities.open();
    grid::GridViewModel model;
    grid::applyActivityLayout(model);
    model.setTable(&store.taActivities);
    if (!filterText.isEmpty())
        model.applyTableFilter(filterText, true);

    const exporting::ExportResult result = exporting::ExportGridAsWorkbook(args.first(), &model);
    printLine(QStringLiteral("Exported %1 rows to %2")
                  .arg(result.recordsExported)
                  .arg(exporting::exportOutputName(args.first())));
    if (!result.complete())
        printError(result.notice());
    return kExitOk;
}

const BatchCommand exportCommand("export",
                                 "export FILE.xls|FILE.xlsx [--filter-file FILE.flt]   write the activity grid as a workbook",
                                 runExport);

} // namespace
} // namespace orvane::batch
