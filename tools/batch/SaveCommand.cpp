// orvane-batch save --p3-path DIR --project GROUP[/SUBPROJECT]
// [--user NAME --password PW]: the "Save to Primavera" write-back of the log
// lines of "pdb.mdb" in the current directory into a P3 project. Activities
// of the project without a local row, or left alone because their ID is not
// unique, are printed one per line, and the exit status is then 3. When P3
// delivered fewer activities than it announced, that is said on standard
// error and the exit status is 1.

#include "P3BatchSupport.h"

#include "p3link/FixedProjectChooser.h"
#include "p3link/P3Operations.h"

namespace orvane::batch {
namespace {

constexpr int kExitMissing = 3;

class StatusView : public p3link::OperationView {
public:
    void setStatus(const QString& text) override { status = text; }
    QString status;
};

int runSave(const QStringList& given)
{
    QStringList args = given;
    const QString folder = requiredOption(args, QStringLiteral("--p3-path"));
    const auto [group, subproject] = p3link::splitProjectName(requiredOption(args, QStringLiteral("--project")));
    p3link::FixedLoginPrompt prompt(takeCredentials(args));
    expectNoMoreArguments(args);

    store::ActivityStore store;
    openLocalStore(store);
    p3link::P3Credentials remembered;
    p3link::FixedProjectChooser chooser(folder, group, subproject);
    StatusView view;
    QString projectGroup, projectName;
    p3link::OperationContext context{store, remembered, &prompt, chooser, view, {projectGroup, projectName},
                                     nullptr};
    const p3link::WriteBackResult result = p3link::writeBackLogs(context, p3link::SaveTarget::ChosenProject);
    printLine(view.status);
    for (const QString& line : result.unwritten)
        printLine(line);
    if (result.shortCursor()) {
        printError(p3link::shortSaveCursorMessage(result.announced, result.delivered));
        return kExitError;
    }
    return result.missing.isEmpty() && result.notUnique.isEmpty() ? kExitOk : kExitMissing;
}

const BatchCommand save("save",
                        "save --p3-path DIR --project GROUP[/SUBPROJECT] [--user NAME --password PW]"
                        "   write the log lines back into a P3 project",
                        runSave);

} // namespace
} // namespace orvane::batch
