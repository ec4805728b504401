// orvane-batch makedb [FILE]: a new database with an empty P3Data.

#include "BatchCommand.h"

#include "store/DatabaseFile.h"

namespace orvane::batch {
namespace {

int runMakeDb(const QStringList& args)
{
    if (args.size() > 1)
        throw UsageError{QStringLiteral("too many arguments")};
    const QString path = args.isEmpty() ? QStringLiteral("pdb.mdb") : args.first();
    store::createActivityDatabase(path);
    printLine(QStringLiteral("Created ") + path);
    return kExitOk;
}

const BatchCommand makeDb("makedb", "makedb [FILE]   create an empty activity database (default pdb.mdb)", runMakeDb);

} // namespace
} // namespace orvane::batch
