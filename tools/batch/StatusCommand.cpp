// orvane-batch status: what changed in "pdb.mdb" of the current directory
// since the import, one line per changed text: the activity, the field
// ("Description" or "Log#n"), the imported text and the current text,
// tab-separated (texts escaped as escapedCellText says). Without a record
// of the import, says so on standard error and exits 1.

#include "P3BatchSupport.h"

namespace orvane::batch {
namespace {

int runStatus(const QStringList& given)
{
    QStringList args = given;
    expectNoMoreArguments(args);
    store::ActivityStore store;
    openLocalStore(store);
    if (!store.base.project()) {
        printError(QStringLiteral("pdb.mdb holds no record of what was imported: changes cannot be told apart."));
        return kExitError;
    }
    for (const store::ChangedText& change : store.base.changedTexts())
        printLine(QStringList{change.activityId, store::textFieldName(change.field), escapedCellText(change.base),
                              escapedCellText(change.current)}
                      .join(QLatin1Char('\t')));
    return kExitOk;
}

const BatchCommand status("status", "status   the texts changed since the import: activity, field, imported, current",
                          runStatus);

} // namespace
} // namespace orvane::batch
