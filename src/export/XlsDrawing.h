#pragma once
// The drawing objects of an AutoFilter: spreadsheet programs draw a filter's
// drop-down arrows from a drop-down object per filtered column. The workbook
// globals carry the drawing group (its shape-id clusters and counts), the
// sheet a drawing of one group shape and, per column, a shape anchored on
// the caption row's cell, each followed by its OBJ record (a drop-down with
// its scroll and list parts).
//
// Drawing data lies in MSODRAWINGGROUP and MSODRAWING records; data longer
// than a record holds continues in CONTINUE records.

#include "export/BiffRecords.h"

#include <cstdint>
#include <vector>

namespace orvane::exporting {

class FileSink;

namespace biff {

inline constexpr std::uint16_t kOBJ = 0x005D;
inline constexpr std::uint16_t kMSODRAWINGGROUP = 0x00EB;
inline constexpr std::uint16_t kMSODRAWING = 0x00EC;
// The most data a record holds; more continues in CONTINUE records.
inline constexpr std::size_t kMaxRecordData = 8224;

// One drawing record's data as written: the record and as many CONTINUE
// records as its length needs.
void writeContinuedRecord(FileSink& out, std::uint16_t type, const std::vector<std::uint8_t>& data);
std::uint64_t continuedRecordSize(std::size_t dataSize);

// The drop-down arrows of a filter area, one per column of its first row.
class FilterDropDowns {
public:
    explicit FilterDropDowns(const FilterArea& area);

    // The drawing group of the workbook globals (MSODRAWINGGROUP).
    void writeGroup(FileSink& out) const;
    // The sheet's drawing and objects: MSODRAWING, OBJ, MSODRAWING, OBJ, ...
    void writeSheetObjects(FileSink& out) const;
    // The bytes each of them writes.
    std::uint64_t groupSize() const;
    std::uint64_t sheetObjectsSize() const;

    // The shape ids: the sheet's group shape, then one per drop-down.
    static constexpr std::uint32_t kDrawingId = 1;
    static constexpr std::uint32_t kFirstShapeId = 1024 * kDrawingId;
    static constexpr std::uint32_t kShapesPerCluster = 1024;

private:
    std::vector<std::uint8_t> m_group;
    // The sheet's drawing data is cut after each drop-down's client data,
    // where its OBJ record goes: m_sheetPieces[i] is followed by m_objects[i].
    std::vector<std::vector<std::uint8_t>> m_sheetPieces;
    std::vector<std::vector<std::uint8_t>> m_objects;
};

} // namespace biff
} // namespace orvane::exporting
