// orvane-batch import --p3-path DIR --project GROUP[/SUBPROJECT] [--filter ID]
// [--user NAME --password PW]: the import of "Get logs from P3..." into
// "pdb.mdb" of the current directory, without windows.

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
    QString status;
};

int runImport(const QStringList& given)
{
    QStringList args = given;
    const QString folder = requiredOption(args, QStringLiteral("--p3-path"));
    const auto [group, subproject] = p3link::splitProjectName(requiredOption(args, QStringLiteral("--project")));
    const QString filter = takeOption(args, QStringLiteral("--filter"));
    p3link::FixedLoginPrompt prompt(takeCredentials(args));
    expectNoMoreArguments(args);

    store::ActivityStore store;
    openLocalStore(store);
    p3link::P3Credentials remembered;
    p3link::FixedProjectChooser chooser(folder, group, subproject, filter);
    PrintingView view;
    store::DataFieldList dataFields;
    QString projectGroup, projectName;
    p3link::OperationContext context{store, remembered, &prompt, chooser, view, {projectGroup, projectName},
                                     &dataFields};
    p3link::importProject(context);
    printLine(view.status);
    return kExitOk;
}

const BatchCommand import("import",
                          "import --p3-path DIR --project GROUP[/SUBPROJECT] [--filter ID] [--user NAME --password PW]"
                          "   import a P3 project into pdb.mdb",
                          runImport);

} // namespace
} // namespace orvane::batch
