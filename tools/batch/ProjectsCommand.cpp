// orvane-batch projects --p3-path DIR [--user NAME --password PW]: lists the
// P3 projects of a folder as the project picker does, one per line: group,
// subproject (blank for the group itself) and title, separated by tabs.

#include "P3BatchSupport.h"

#include "p3link/ProjectFolder.h"

namespace orvane::batch {
namespace {

int runProjects(const QStringList& given)
{
    QStringList args = given;
    const QString folder = requiredOption(args, QStringLiteral("--p3-path"));
    p3link::FixedLoginPrompt prompt(takeCredentials(args));
    expectNoMoreArguments(args);

    namespace m = p3link::member;
    p3link::P3Credentials remembered;
    p3link::runWithSession(p3link::SignInVariant::DialogCancelSkips, remembered, &prompt, [&](const p3link::P3Object& session) {
        // The picker lists nothing for a folder without a project file and
        // leaves P3 alone.
        const QString projectPath = p3link::findProjectDirectory(folder);
        if (projectPath.isEmpty())
            return;
        session.put(m::CurrentProjectPath, projectPath);
        for (const p3link::ProjectListRow& row : p3link::listProjects(session)) {
            const auto plain = [](const QString& cell) { return cell == QLatin1String(" ") ? QString() : cell; };
            printLine(plain(row.group) + QLatin1Char('\t') + plain(row.subproject) + QLatin1Char('\t')
                      + plain(row.title));
        }
    });
    return kExitOk;
}

const BatchCommand projects("projects",
                            "projects --p3-path DIR [--user NAME --password PW]   list the P3 projects of a folder",
                            runProjects);

} // namespace
} // namespace orvane::batch
