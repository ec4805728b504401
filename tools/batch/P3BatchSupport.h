#pragma once
// What the P3 subcommands of orvane-batch share: their common options and
// the local store opened as the window opens it.

#include "BatchCommand.h"

#include "common/Errors.h"
#include "p3link/P3Session.h"
#include "store/ActivityStore.h"

#include <optional>

namespace orvane::batch {

// --user NAME --password PW: given, they answer the login dialog with OK
// (upper-cased as its entries are); absent, with Cancel.
inline std::optional<p3link::P3Credentials> takeCredentials(QStringList& args)
{
    bool hasUser = false;
    bool hasPassword = false;
    const QString user = takeOption(args, QStringLiteral("--user"), &hasUser);
    const QString password = takeOption(args, QStringLiteral("--password"), &hasPassword);
    if (!hasUser && !hasPassword)
        return std::nullopt;
    return p3link::P3Credentials{user, password};
}

inline void expectNoMoreArguments(const QStringList& args)
{
    if (!args.isEmpty())
        throw UsageError{QStringLiteral("unexpected argument: ") + args.first()};
}

inline QString requiredOption(QStringList& args, const QString& name)
{
    bool present = false;
    const QString value = takeOption(args, name, &present);
    if (!present || value.isEmpty())
        throw UsageError{name + QStringLiteral(" is required")};
    return value;
}

// Opens "pdb.mdb" of the current directory; the first failure is the error.
inline void openLocalStore(store::ActivityStore& store)
{
    QString first;
    store.openAtStartup([&](const QString& message) {
        if (first.isEmpty())
            first = message;
    });
    if (!first.isEmpty())
        throw DatabaseError(first);
}

} // namespace orvane::batch
