// orvane-batch projects [--folder DIR] [--user NAME --password PW]: lists the
// P3 projects of a folder, one per line: group, subproject (blank for the
// group itself) and title, separated by tabs. Signs in as the import does:
// given credentials answer the login dialog with OK (upper-cased like the
// dialog's entries), none answer it with Cancel.

#include "BatchCommand.h"

#include "p3link/P3Session.h"

namespace orvane::batch {
namespace {

int runProjects(const QStringList& given)
{
    QStringList args = given;
    bool hasUser = false;
    bool hasPassword = false;
    const QString folder = takeOption(args, QStringLiteral("--folder"));
    const QString user = takeOption(args, QStringLiteral("--user"), &hasUser);
    const QString password = takeOption(args, QStringLiteral("--password"), &hasPassword);
    if (!args.isEmpty())
        throw UsageError{QStringLiteral("unexpected argument: ") + args.first()};

    namespace m = p3link::member;
    using p3link::Session;
    p3link::P3Credentials remembered;
    p3link::FixedLoginPrompt prompt(hasUser || hasPassword
                                        ? std::optional<p3link::P3Credentials>({user, password})
                                        : std::nullopt);
    p3link::runWithSession(p3link::SignInVariant::DialogCancelSkips, remembered, &prompt, [&] {
        if (!folder.isEmpty())
            Session.put(m::CurrentProjectPath, folder);
        p3link::forEachElement(Session.object(m::ProjectAbstracts), [](const p3link::P3Object& abstract) {
            const QString group = abstract.text(m::ProjectGroupName);
            const QString name = abstract.text(m::ProjectName);
            printLine(group + QLatin1Char('\t') + (name == group ? QString() : name) + QLatin1Char('\t')
                      + abstract.text(m::Title));
        });
    });
    return kExitOk;
}

const BatchCommand projects("projects",
                            "projects [--folder DIR] [--user NAME --password PW]   list the P3 projects of a folder",
                            runProjects);

} // namespace
} // namespace orvane::batch
