// orvane-batch copy: the bulk log copy commands on pdb.mdb in the current
// directory, with the statements the windows build and the same execution.
//   copy log2log X Y        [--filter-file FILE.flt]
//   copy desc2log N         [--filter-file FILE.flt]
//   copy log2desc N         [--filter-file FILE.flt]
//   copy data2log FIELD N   [--filter-file FILE.flt]
// Prints the statement run and the number of rows it changed.

#include "BatchCommand.h"

#include "filter/ActivityFilterColumns.h"
#include "logedit/BulkCommands.h"
#include "store/ActivityLayout.h"
#include "store/ActivityStore.h"

#include <QRegularExpression>

namespace orvane::batch {
namespace {

// A log number as the user wrote it: anything but digits is a usage error;
// a number outside 1..99 names no log column and is refused as the dialogs
// refuse it, before anything runs.
int logNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,9}$"));
    if (!digits.match(text).hasMatch())
        throw UsageError{QStringLiteral("not a log number: ") + text};
    return logedit::logNumberFromText(text);
}

QString dataField(const QString& name)
{
    const int column = store::fieldIndex(name);
    if (column < 0)
        throw UsageError{QStringLiteral("not a field of P3Data: ") + name};
    return store::fieldName(column);
}

void expectArguments(const QStringList& args, int count)
{
    if (args.size() < count)
        throw UsageError{QStringLiteral("missing arguments for ") + args.first()};
    if (args.size() > count)
        throw UsageError{QStringLiteral("too many arguments")};
}

int runCopy(const QStringList& arguments)
{
    QStringList args = arguments;
    bool filtered = false;
    const QString filterFile = takeOption(args, QStringLiteral("--filter-file"), &filtered);
    if (args.isEmpty())
        throw UsageError{QStringLiteral("a copy kind is needed")};

    const QString kind = args.first();
    QString statement;
    if (kind == QLatin1String("log2log")) {
        expectArguments(args, 3);
        statement = logedit::log2LogStatement(logNumber(args.at(1)), logNumber(args.at(2)));
    } else if (kind == QLatin1String("desc2log")) {
        expectArguments(args, 2);
        statement = logedit::descriptionToLogStatement(logNumber(args.at(1)));
    } else if (kind == QLatin1String("log2desc")) {
        expectArguments(args, 2);
        statement = logedit::logToDescriptionStatement(logNumber(args.at(1)));
    } else if (kind == QLatin1String("data2log")) {
        expectArguments(args, 3);
        statement = logedit::dataToLogStatement(dataField(args.at(1)), logNumber(args.at(2)));
    } else {
        throw UsageError{QStringLiteral("unknown copy kind: ") + kind};
    }

    const QString filterText = filtered ? filter::filterTextFromFile(filterFile) : QString();
    store::ActivityStore store;
    store.ADOCon.open();
    store.taActivities.open();
    // The row filter as the grid hands it over: on only with a text.
    store.taActivities.setFilter(filterText);
    store.taActivities.setFiltered(!filterText.isEmpty());
    const QString executed = logedit::withRowFilter(statement, store.taActivities);
    const int changed = logedit::runBulkStatement(store, statement);
    printLine(executed);
    printLine(QStringLiteral("%1 rows changed").arg(changed));
    return kExitOk;
}

const BatchCommand copy("copy",
                        "copy log2log X Y | desc2log N | log2desc N | data2log FIELD N [--filter-file FILE.flt]\n"
                        "                       copy one column into another in every (filtered) row",
                        runCopy);

} // namespace
} // namespace orvane::batch
