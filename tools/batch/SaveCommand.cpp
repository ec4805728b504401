// orvane-batch save --p3-path DIR --project GROUP[/SUBPROJECT]
// [--user NAME --password PW] [--dry-run] [--overwrite-conflicts]: the
// "Save to Primavera" write-back of the log lines of "pdb.mdb" in the
// current directory into a P3 project, three-way against what was imported
// when the table keeps that for this project.
//
// Standard output: the status ("Save <N> Activities"), then the activities
// not written (missing locally, ID not unique) and the texts changed on
// both sides (conflicts), one per line; the exit status is then 3. With
// --dry-run, instead, one line per text the save would write, take from P3
// or leave in conflict, and nothing changes in P3 or in pdb.mdb.
// --overwrite-conflicts writes the local text over P3's in conflicts. When
// P3 delivered fewer activities than it announced, that is said on
// standard error and the exit status is 1.

#include "P3BatchSupport.h"

#include "p3link/FixedProjectChooser.h"
#include "p3link/P3Operations.h"

namespace orvane::batch {
namespace {

constexpr int kExitMissing = 3;

class StatusView : public p3link::OperationView {
public:
    void setStatus(const QString& text) override { status = text; }
    void showInformation(const QString& text) override { printError(text); }
    QString status;
};

// "write", "take" or "conflict", the activity, the field, the local text
// and P3's text, tab-separated.
void printDryRun(const p3link::WriteBackResult& result)
{
    const std::pair<const char*, const std::vector<p3link::SavedText>*> lists[] = {
        {"write", &result.writtenTexts}, {"take", &result.takenTexts}, {"conflict", &result.conflicts}};
    for (const auto& [what, list] : lists)
        for (const p3link::SavedText& text : *list)
            printLine(QStringList{QString::fromLatin1(what), text.activityId, store::textFieldName(text.field),
                                  escapedCellText(text.local), escapedCellText(text.p3)}
                          .join(QLatin1Char('\t')));
}

int runSave(const QStringList& given)
{
    QStringList args = given;
    const QString folder = requiredOption(args, QStringLiteral("--p3-path"));
    const auto [group, subproject] = p3link::splitProjectName(requiredOption(args, QStringLiteral("--project")));
    p3link::FixedLoginPrompt prompt(takeCredentials(args));
    p3link::WriteBackOptions options;
    options.dryRun = takeFlag(args, QStringLiteral("--dry-run"));
    if (takeFlag(args, QStringLiteral("--overwrite-conflicts")))
        options.overwrite = [](const QString&, int) { return true; };
    expectNoMoreArguments(args);

    store::ActivityStore store;
    openLocalStore(store);
    p3link::P3Credentials remembered;
    p3link::FixedProjectChooser chooser(folder, group, subproject);
    StatusView view;
    QString projectGroup, projectName;
    p3link::OperationContext context{store, remembered, &prompt, chooser, view, {projectGroup, projectName},
                                     nullptr};
    const p3link::WriteBackResult result =
        p3link::writeBackLogs(context, p3link::SaveTarget::ChosenProject, options);
    if (options.dryRun)
        printDryRun(result);
    else
        printLine(view.status);
    for (const QString& line : result.unwritten)
        printLine(line);
    if (!options.dryRun)
        for (const p3link::SavedText& conflict : result.conflicts)
            printLine(p3link::conflictLine(conflict));
    if (result.shortCursor()) {
        printError(p3link::shortSaveCursorMessage(result.announced, result.delivered));
        return kExitError;
    }
    return result.missing.isEmpty() && result.notUnique.isEmpty() && result.conflicts.empty() ? kExitOk
                                                                                             : kExitMissing;
}

const BatchCommand save("save",
                        "save --p3-path DIR --project GROUP[/SUBPROJECT] [--user NAME --password PW]"
                        " [--dry-run] [--overwrite-conflicts]"
                        "   write the log lines back into a P3 project",
                        runSave);

} // namespace
} // namespace orvane::batch
