#include "grid/ActivityGridLayout.h"

#include "store/ActivityLayout.h"

#include <QStringList>

namespace orvane::grid {

namespace {

// The identity and schedule columns of the left band: field index, place in
// the band, stated width (0 = the default width), visible at start.
struct InfoColumn {
    int field;
    int position;
    int width;
    bool visible;
};

constexpr InfoColumn kInfoColumns[] = {
    {0, 0, 34, true},     // ActivityID
    {1, 1, 180, true},    // Description
    {2, 2, 28, true},     // OriginalDuration
    {3, 3, 22, true},     // RemainingDuration
    {4, 4, 0, false},     // TotalFloat
    {5, 5, 0, false},     // FreeFloat
    {6, 46, 31, true},    // PercentComplete
    {7, 6, 62, true},     // EarlyStart
    {8, 7, 0, false},     // LateStart
    {9, 8, 60, true},     // EarlyFinish
    {10, 9, 0, false},    // LateFinish
    {11, 10, 0, false},   // ActualStart
    {12, 11, 0, false},   // ActualFinish
    {13, 12, 0, false},   // ActualDuration
    {14, 13, 0, false},   // SuspendDate
    {15, 14, 0, false},   // ResumeDate
    {16, 15, 0, false},   // ActivityType
    {17, 16, 0, false},   // EarlyConstraintType
    {18, 17, 0, false},   // EarlyConstraintDate
    {19, 18, 0, false},   // LateConstraintType
    {20, 19, 0, false},   // LateConstraintDate
    {21, 20, 0, false},   // MandatoryConstraintType
    {22, 21, 0, false},   // MandatoryConstraintDate
    {23, 22, 0, false},   // ExpectedFinishDate
    {24, 23, 0, false},   // WBSCodeWithSeparators
    {25, 24, 0, false},   // FloatConstraintType
    {26, 25, 0, false},   // WBSCode
    {27, 47, 0, true},    // CalendarID
};

constexpr int kInfoBandWidth = 417;
constexpr int kFlagWidth = 22;
constexpr int kEarlyFinishColumn = 9;

} // namespace

void applyActivityLayout(GridViewModel& model)
{
    model.clearLayout();
    model.setLevelCaption(QStringLiteral("Project"));
    model.setKeyFieldName(store::fieldName(store::kActivityIdColumn));

    GridBand info;
    info.caption = QStringLiteral("Activity Info");
    info.fixedSide = FixedSide::Left;
    info.width = kInfoBandWidth;
    info.headerAlignment = Alignment::Center;
    model.addBand(info);

    GridBand logs;
    logs.caption = QStringLiteral("Log records");
    logs.headerAlignment = Alignment::Left;
    model.addBand(logs);

    GridBand flag;
    flag.caption = QStringLiteral("C");
    flag.fixedSide = FixedSide::Right;
    flag.headerAlignment = Alignment::Center;
    model.addBand(flag);

    // Columns are added in field order, so column ID i is bound to field i.
    for (int field = 0; field < store::kColumnCount; ++field) {
        int band = kInfoBand, position = 0, width = 0;
        bool visible = false, readOnly = true;
        if (field < store::kDataColumnCount) {
            const InfoColumn& c = kInfoColumns[field];
            position = c.position;
            width = c.width;
            visible = c.visible;
            readOnly = field != store::kDescriptionColumn;
        } else if (field < store::kFirstLogColumn) {
            const int code = field - store::kFirstCodeColumn + 1;   // 1..20
            position = 25 + code;
        } else if (field < store::kFlagColumn) {
            band = kLogBand;
            position = store::logNumberOfColumn(field) - 1;
            visible = true;
            readOnly = false;
        } else {
            band = kFlagBand;
            width = kFlagWidth;
            visible = true;
            readOnly = false;
        }
        const int id = model.addColumn(store::fieldName(field), band, position);
        if (width > 0)
            model.setColumnWidth(id, width);
        model.setColumnVisible(id, visible);
        model.setColumnReadOnly(id, readOnly);
    }

    GridViewOptions options;
    options.bandHeaders = true;
    options.columnHeaders = true;
    options.groupByBox = false;
    options.rowIndicator = true;
    options.inserting = false;
    options.deleting = false;
    options.editing = true;
    options.rowSeparatorWidth = 1;
    options.bandHiding = true;
    options.flatLook = true;
    options.gridLines = GridLines::Both;
    model.setOptions(options);

    model.sortBy(kEarlyFinishColumn, SortOrder::Ascending);
}

void applyActivityCodeNames(GridViewModel& model, const QStringList& codeNames)
{
    const int named = std::min<int>(int(codeNames.size()), store::kCodeSlots);
    // A captioned code column is offered in the column chooser again, also
    // when an earlier import of a project with fewer codes had hidden it.
    for (int k = 1; k <= named; ++k) {
        model.setColumnCaption(store::kFirstCodeColumn - 1 + k, QStringLiteral(" ") + codeNames.at(k - 1));
        model.setColumnHidden(store::kFirstCodeColumn - 1 + k, false);
    }
    for (int column = store::kFirstCodeColumn + named; column < store::kFirstLogColumn; ++column)
        model.setColumnHidden(column, true);
}

} // namespace orvane::grid
