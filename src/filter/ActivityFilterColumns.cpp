#include "filter/ActivityFilterColumns.h"

#include "filter/FilterStream.h"

namespace orvane::filter {

std::optional<FilterColumn> ActivityFilterColumns::columnById(int id) const
{
    if (id < 0 || id >= store::kColumnCount)
        return std::nullopt;
    const QString name = store::fieldName(id);
    return FilterColumn{id, name, store::fieldKind(id), name};
}

QString filterTextFromFile(const QString& path)
{
    const ActivityFilterColumns columns;
    TcxDBDataFilterCriteria criteria(&columns);
    loadCriteriaFile(criteria, path);
    return criteria.BuildFilterText();
}

} // namespace orvane::filter
