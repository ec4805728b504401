// orvane-batch: runs Orvane's operations from a script, on "pdb.mdb" in the
// current directory, with the same code as the windows.

#include "BatchCommand.h"

#include "common/ErrorText.h"
#include "common/Errors.h"
#include "common/ProductVersion.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <vector>

namespace orvane::batch {

namespace {

std::vector<const BatchCommand*>& commands()
{
    static std::vector<const BatchCommand*> list;
    return list;
}

void printUsage()
{
    printError(QStringLiteral("usage: orvane-batch COMMAND [ARGS]   (or --help, --version)\ncommands:"));
    for (const BatchCommand* command : commands())
        printError(QStringLiteral("  ") + QString::fromUtf8(command->usage));
}

} // namespace

BatchCommand::BatchCommand(const char* name, const char* usage, Runner run)
    : name(name), usage(usage), run(run)
{
    commands().push_back(this);
}

void printLine(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

void printError(const QString& text)
{
    std::fputs(text.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

QString takeOption(QStringList& args, const QString& name, bool* present)
{
    const qsizetype at = args.indexOf(name);
    if (present)
        *present = at >= 0;
    if (at < 0)
        return QString();
    if (at + 1 >= args.size())
        throw UsageError{name + QStringLiteral(" needs a value")};
    const QString value = args.at(at + 1);
    args.remove(at, 2);
    return value;
}

bool takeFlag(QStringList& args, const QString& name)
{
    return args.removeAll(name) > 0;
}

} // namespace orvane::batch

int main(int argc, char** argv)
{
    using namespace orvane::batch;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help")) {
        printUsage();
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    if (args == QStringList{QStringLiteral("--version")}) {
        printLine(QStringLiteral("orvane-batch ") + QString::fromLatin1(orvane::kProductVersion));
        return kExitOk;
    }
    const QString name = args.takeFirst();
    for (const BatchCommand* command : commands()) {
        if (name != QLatin1String(command->name))
            continue;
        try {
            return command->run(args);
        } catch (const UsageError& e) {
            printError(e.message);
            printError(QStringLiteral("usage: orvane-batch ") + QString::fromUtf8(command->usage));
            return kExitUsage;
        } catch (const orvane::OrvaneError& e) {
            printError(orvane::errorBoxText(e.message()));
            return kExitError;
        } catch (const std::exception& e) {
            printError(orvane::errorBoxText(QString::fromUtf8(e.what())));
            return kExitError;
        }
    }
    printError(QStringLiteral("unknown command: ") + name);
    printUsage();
    return kExitUsage;
}
