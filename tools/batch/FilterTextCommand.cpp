// orvane-batch filter-text FILE.flt: the filter text of a saved filter on the
// first line, its display text on the second.

#include "BatchCommand.h"

#include "filter/ActivityFilterColumns.h"
#include "filter/FilterStream.h"

namespace orvane::batch {
namespace {

int runFilterText(const QStringList& args)
{
    if (args.size() != 1)
        throw UsageError{args.isEmpty() ? QStringLiteral("a filter file is needed")
                                        : QStringLiteral("too many arguments")};
    const filter::ActivityFilterColumns columns;
    filter::TcxDBDataFilterCriteria criteria(&columns);
    filter::loadCriteriaFile(criteria, args.first());
    printLine(criteria.BuildFilterText());
    printLine(criteria.BuildDisplayText());
    return kExitOk;
}

const BatchCommand filterText("filter-text",
                              "filter-text FILE.flt   print the filter text and the display text of a saved filter",
                              runFilterText);

} // namespace
} // namespace orvane::batch
