// orvane-batch import --p3-path DIR --project GROUP[/SUBPROJECT] [--filter ID]
// [--user NAME --password PW] [--discard-changes]: the import of "Get logs
// from P3..." into "pdb.mdb" of the current directory, without windows. A
// table holding changes not saved to P3 is only replaced with
// --discard-changes; otherwise the import stops with exit status 1.

#include "P3BatchSupport.h"

#include "p3link/FixedProjectChooser.h"
#include "p3link/P3Operations.h"
#include "store/DataFieldList.h"

namespace orvane::batch {
namespace {

class PrintingView : public p3link::OperationView {
public:
    void setStatus(const QString& text) override { status = text; }
    void showInformation(const QString& text) override { printError(text); }
    bool confirmDropChanges(const QString&) override { return discardChanges; }
    QString status;
    bool discardChanges = false;
};

int runImport(const QStringList& given)
{
    QStringList args = given;
    const QString folder = requiredOption(args, QStringLiteral("--p3-path"));
    const auto [group, subproject] = p3link::splitProjectName(requiredOption(args, QStringLiteral("--project")));
    const QString filter = takeOption(args, QStringLiteral("--filter"));
    p3link::FixedLoginPrompt prompt(takeCredentials(args));
    const bool discardChanges = takeFlag(args, QStringLiteral("--discard-changes"));
    expectNoMoreArguments(args);

    store::ActivityStore store;
    openLocalStore(store);
    p3link::P3Credentials remembered;
    p3link::FixedProjectChooser chooser(folder, group, subproject, filter);
    PrintingView view;
    view.discardChanges = discardChanges;
    store::DataFieldList dataFields;
    QString projectGroup, projectName;
    p3link::OperationContext context{store, remembered, &prompt, chooser, view, {projectGroup, projectName},
                                     &dataFields};
    const p3link::ImportResult result = p3link::importProject(context);
    if (result.declined) {
        printError(result.unsaved == 1
                       ? QStringLiteral("1 activity has changes that were not saved to P3; nothing was imported.")
                       : QStringLiteral("%1 activities have changes that were not saved to P3; nothing was imported.")
                             .arg(result.unsaved));
        printError(QStringLiteral("Save them first, or give --discard-changes to drop them."));
        return kExitError;
    }
    printLine(view.status);
    return kExitOk;
}

const BatchCommand import("import",
                          "import --p3-path DIR --project GROUP[/SUBPROJECT] [--filter ID] [--user NAME --password PW]"
                          " [--discard-changes]"
                          "   import a P3 project into pdb.mdb",
                          runImport);

} // namespace
} // namespace orvane::batch
