#pragma once
// The columns of the activity view as the filter criteria see them: column
// ID i is table field i, captioned with its field name.

#include "filter/FilterCriteria.h"

#include <QString>

namespace orvane::filter {

class ActivityFilterColumns final : public FilterColumnSource {
public:
    std::optional<FilterColumn> columnById(int id) const override;
};

// Reads a ".flt" file against the activity view's columns and returns its
// filter text (in the user's locale). Throws FormatError ("Stream read
// error") for a malformed file and OrvaneError when it cannot be read.
QString filterTextFromFile(const QString& path);

} // namespace orvane::filter
