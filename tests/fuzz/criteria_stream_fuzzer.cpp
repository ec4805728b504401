// Fuzzes ReadCriteria: any bytes either read or fail with "Stream read
// error" (or "Can't build filter from source" for an unknown column); what
// reads writes back to bytes that read again to the same bytes; its filter
// text either fails in the engine with a message or gives SQL that
// SQLite compiles.

#include "FuzzSupport.h"

#include "common/Errors.h"
#include "filter/ActivityFilterColumns.h"
#include "filter/FilterStream.h"
#include "store/FilterSql.h"

#include <cstdint>
#include <cstdlib>

using namespace orvane;
using namespace orvane::filter;

namespace {

void configure(TcxDBDataFilterCriteria& criteria, const QLocale& locale)
{
    criteria.SetLocale(locale);
    criteria.SetCurrentDateSource([] { return QDate(2003, 12, 31); });
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ActivityFilterColumns columns;
    static const QLocale german(QLocale::German, QLocale::Germany);
    // A copy of exactly the input, so any read past it is caught.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));

    TcxDBDataFilterCriteria criteria(&columns);
    configure(criteria, german);
    try {
        ReadCriteria(criteria, bytes);
    } catch (const FormatError& e) {
        if (e.message() != QLatin1String("Stream read error")
            && e.message() != QLatin1String("Can't build filter from source"))
            std::abort();
        return 0;
    }
    const QString text = criteria.BuildFilterText();
    criteria.BuildDisplayText();

    // Everything that was read can be written, and the written form is stable.
    const QByteArray once = WriteCriteria(criteria);
    TcxDBDataFilterCriteria again(&columns);
    configure(again, german);
    ReadCriteria(again, once);
    if (WriteCriteria(again) != once || again.BuildFilterText() != text)
        std::abort();

    try {
        fuzz::requireValidWhere(store::filterTextToSql(text, german));
    } catch (const DatabaseError&) {
    }
    return 0;
}
