// Fuzzes the filter engine: any text either fails with a message or gives
// SQL that SQLite compiles as one WHERE condition.

#include "FuzzSupport.h"

#include "common/Errors.h"
#include "store/FilterSql.h"

#include <cstdint>

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QLocale locales[] = {QLocale::c(), QLocale(QLocale::German, QLocale::Germany),
                                      QLocale(QLocale::English, QLocale::UnitedStates)};
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QLocale& locale : locales) {
        try {
            fuzz::requireValidWhere(store::filterTextToSql(text, locale));
        } catch (const DatabaseError& e) {
            if (!e.message().startsWith(QLatin1String("Invalid filter text: ")))
                std::abort();
        }
    }
    return 0;
}
