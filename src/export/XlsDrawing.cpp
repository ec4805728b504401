#include "export/XlsDrawing.h"

#include "export/FileSink.h"

#include <initializer_list>

namespace orvane::exporting::biff {

namespace {

// Drawing record types and the versions their headers carry.
enum : std::uint16_t {
    kDggContainer = 0xF000,
    kDgContainer = 0xF002,
    kSpgrContainer = 0xF003,
    kSpContainer = 0xF004,
    kFDGG = 0xF006,
    kFDG = 0xF008,
    kFSPGR = 0xF009,
    kFSP = 0xF00A,
    kFOPT = 0xF00B,
    kClientAnchor = 0xF010,
    kClientData = 0xF011,
    kSplitMenuColors = 0xF11E,
};
constexpr std::uint16_t kContainerVersion = 0xF;
constexpr std::uint16_t kHostControlShape = 201;   // the shape type of a form control
constexpr std::uint32_t kGroupPatriarchFlags = 0x0005;   // a group, the drawing's top shape
constexpr std::uint32_t kAnchoredShapeFlags = 0x0A00;   // has an anchor and a shape type

class Bytes {
public:
    std::vector<std::uint8_t> data;

    void u8(std::uint8_t v) { data.push_back(v); }
    void u16(std::uint16_t v) { u8(std::uint8_t(v)), u8(std::uint8_t(v >> 8)); }
    void u32(std::uint32_t v) { u16(std::uint16_t(v)), u16(std::uint16_t(v >> 16)); }
    void zeros(std::size_t n) { data.insert(data.end(), n, 0); }
    // A drawing record's header: version and instance, type, data length.
    void header(std::uint16_t version, std::uint16_t instance, std::uint16_t type, std::uint32_t length)
    {
        u16(std::uint16_t(version | (instance << 4)));
        u16(type);
        u32(length);
    }
    // A property table: (property id, value) pairs.
    void properties(std::initializer_list<std::pair<std::uint16_t, std::uint32_t>> table)
    {
        header(3, std::uint16_t(table.size()), kFOPT, std::uint32_t(6 * table.size()));
        for (const auto& [id, value] : table) {
            u16(id);
            u32(value);
        }
    }
};

// Sizes of the parts, with their 8-byte headers.
constexpr std::uint32_t kGroupShapeSize = 8 + (8 + 16) + (8 + 8);
constexpr std::uint32_t kDropDownShapeSize = 8 + (8 + 8) + (8 + 30) + (8 + 18) + 8;
constexpr std::uint32_t kDrawingAtomSize = 8 + 8;

std::uint32_t clusterCount(std::uint32_t shapes)
{
    return (shapes + FilterDropDowns::kShapesPerCluster - 1) / FilterDropDowns::kShapesPerCluster;
}

// The drawing group: the largest shape id, the clusters of ids each drawing
// took and how many shapes and drawings there are; the default shape
// properties and the colours of the drawing tools' split menus.
std::vector<std::uint8_t> groupData(std::uint32_t shapes)
{
    const std::uint32_t clusters = clusterCount(shapes);
    const std::uint32_t fdggSize = 16 + 8 * clusters;
    Bytes b;
    b.header(kContainerVersion, 0, kDggContainer, (8 + fdggSize) + (8 + 18) + (8 + 16));
    b.header(0, 0, kFDGG, fdggSize);
    b.u32(FilterDropDowns::kFirstShapeId + shapes - 1);   // the largest shape id in use
    b.u32(clusters + 1);
    b.u32(shapes);
    b.u32(1);   // drawings
    for (std::uint32_t c = 0; c < clusters; ++c) {
        b.u32(FilterDropDowns::kDrawingId);
        b.u32(std::min(FilterDropDowns::kShapesPerCluster, shapes - c * FilterDropDowns::kShapesPerCluster));
    }
    b.properties({{0x00BF, 0x00080008},    // text: fit the shape to its text
                  {0x0181, 0x08000009},    // fill colour: system colour 9
                  {0x01C0, 0x08000040}});  // line colour: system colour 0x40
    b.header(0, 4, kSplitMenuColors, 16);
    for (const std::uint32_t colour : {0x0800000Du, 0x0800000Cu, 0x08000017u, 0x100000F7u})
        b.u32(colour);
    return std::move(b.data);
}

void putDropDownShape(Bytes& b, std::uint32_t shapeId, std::uint16_t row, std::uint16_t column)
{
    b.header(kContainerVersion, 0, kSpContainer, kDropDownShapeSize - 8);
    b.header(2, kHostControlShape, kFSP, 8);
    b.u32(shapeId);
    b.u32(kAnchoredShapeFlags);
    b.properties({{0x007F, 0x01040104},    // locked against grouping, selection and text edits
                  {0x00BF, 0x00080008},    // text: fit the shape to its text
                  {0x01BF, 0x00010000},    // fill: hit test off
                  {0x01FF, 0x00080000},    // line: none drawn
                  {0x03BF, 0x000A0000}});  // shown on screen, not printed
    // The anchor spans the caption row's cell; it moves with the cells but
    // keeps its size.
    b.header(0, 0, kClientAnchor, 18);
    for (const std::uint16_t v : {std::uint16_t(1), column, std::uint16_t(0), row, std::uint16_t(0),
                                  std::uint16_t(column + 1), std::uint16_t(0), std::uint16_t(row + 1),
                                  std::uint16_t(0)})
        b.u16(v);
    b.header(0, 0, kClientData, 0);
}

// The OBJ of a filter's drop-down: the common object data (a drop-down,
// locked, filled automatically), the scroll part unused and the list part
// of an AutoFilter drop-down without a formula or entries.
std::vector<std::uint8_t> dropDownObject(std::uint16_t objectId)
{
    Bytes b;
    b.u16(0x0015);   // ftCmo
    b.u16(18);
    b.u16(0x0014);   // a drop-down
    b.u16(objectId);
    b.u16(0x2101);
    b.zeros(12);
    b.u16(0x000C);   // ftSbs
    b.u16(20);
    b.zeros(20);
    b.u16(0x0013);   // ftLbsData, reaching to the record's end
    b.u16(0x0010);
    b.u16(0);        // no formula
    b.u16(0);        // no lines
    b.u16(0);        // nothing selected
    b.u16(0x0301);   // an AutoFilter's list, with a combo box
    b.u16(0);        // no edit box
    b.u16(0x0002);   // a simple drop-down
    b.u16(20);       // lines shown when open
    b.u16(130);      // its least width in pixels
    b.u16(0);        // an empty text, 8-bit
    b.u8(0);
    b.u8(0);         // padding to a 2-byte boundary
    return std::move(b.data);
}

} // namespace

std::uint64_t continuedRecordSize(std::size_t dataSize)
{
    const std::uint64_t records = dataSize == 0 ? 1 : (dataSize + kMaxRecordData - 1) / kMaxRecordData;
    return 4 * records + dataSize;
}

void writeContinuedRecord(FileSink& out, std::uint16_t type, const std::vector<std::uint8_t>& data)
{
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kMaxRecordData, data.size() - at);
        writeRecord(out, at == 0 ? type : std::uint16_t(kCONTINUE), data.data() + at, n);
        at += n;
    } while (at < data.size());
}

FilterDropDowns::FilterDropDowns(const FilterArea& area)
{
    if (!area.isSet)
        return;
    const std::uint32_t dropDowns = std::uint32_t(area.lastColumn - area.firstColumn + 1);
    const std::uint32_t shapes = dropDowns + 1;
    m_group = groupData(shapes);

    Bytes b;
    b.header(kContainerVersion, 0, kDgContainer, kDrawingAtomSize + 8 + kGroupShapeSize + dropDowns * kDropDownShapeSize);
    b.header(0, std::uint16_t(kDrawingId), kFDG, 8);
    b.u32(shapes);
    b.u32(kFirstShapeId + dropDowns);   // the last shape id of the drawing
    b.header(kContainerVersion, 0, kSpgrContainer, kGroupShapeSize + dropDowns * kDropDownShapeSize);
    b.header(kContainerVersion, 0, kSpContainer, kGroupShapeSize - 8);
    b.header(1, 0, kFSPGR, 16);
    b.zeros(16);
    b.header(2, 0, kFSP, 8);
    b.u32(kFirstShapeId);
    b.u32(kGroupPatriarchFlags);
    for (std::uint32_t i = 0; i < dropDowns; ++i) {
        putDropDownShape(b, kFirstShapeId + 1 + i, area.firstRow, std::uint16_t(area.firstColumn + i));
        m_sheetPieces.push_back(std::move(b.data));
        b.data.clear();
        m_objects.push_back(dropDownObject(std::uint16_t(i + 1)));
    }
}

void FilterDropDowns::writeGroup(FileSink& out) const
{
    if (!m_group.empty())
        writeContinuedRecord(out, kMSODRAWINGGROUP, m_group);
}

void FilterDropDowns::writeSheetObjects(FileSink& out) const
{
    for (std::size_t i = 0; i < m_sheetPieces.size(); ++i) {
        writeContinuedRecord(out, kMSODRAWING, m_sheetPieces[i]);
        writeRecord(out, kOBJ, m_objects[i].data(), m_objects[i].size());
    }
}

std::uint64_t FilterDropDowns::groupSize() const
{
    return m_group.empty() ? 0 : continuedRecordSize(m_group.size());
}

std::uint64_t FilterDropDowns::sheetObjectsSize() const
{
    std::uint64_t size = 0;
    for (std::size_t i = 0; i < m_sheetPieces.size(); ++i)
        size += continuedRecordSize(m_sheetPieces[i].size()) + 4 + m_objects[i].size();
    return size;
}

} // namespace orvane::exporting::biff
