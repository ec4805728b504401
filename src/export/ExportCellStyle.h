#pragma once
// The fixed style record of the spreadsheet export. The grid-to-sheet export
// builds one per kind of cell, the style registry hands out small indices for
// them and the workbook writer turns each into FONT and XF records. Records
// are hashed and compared bytewise, so the byte layout below is a contract.

#include <QtGlobal>
#include <cstddef>
#include <cstdint>

namespace orvane::exporting {

// Colours are Windows colour values 0x00BBGGRR.
using ColorRef = std::uint32_t;

constexpr ColorRef rgbColor(int r, int g, int b)
{
    return ColorRef(r & 0xFF) | (ColorRef(g & 0xFF) << 8) | (ColorRef(b & 0xFF) << 16);
}

enum class ExportAlign : std::uint8_t { Left = 0, Center = 1, Right = 2 };

// FontStyle bits.
inline constexpr std::uint8_t kFontBold = 1;
inline constexpr std::uint8_t kFontItalic = 2;
inline constexpr std::uint8_t kFontUnderline = 4;
inline constexpr std::uint8_t kFontStrikeOut = 8;

enum class BorderSide { Left = 0, Top = 1, Right = 2, Bottom = 3 };

#pragma pack(push, 1)
struct ExportCellBorder {
    std::uint8_t IsDefault;   // non-zero: the cell has no border of its own on this side
    std::int32_t Width;       // pixels
    std::uint32_t Color;
};

struct ExportCellStyle {
    std::uint8_t AlignText;            // 0 left, 1 center, 2 right
    char FontName[33];                 // 8-bit, zero-terminated
    std::uint8_t FontStyle;            // kFontBold | kFontItalic | ...
    std::uint32_t FontColor;
    std::int32_t FontSize;             // points
    std::int32_t FontCharset;          // GDI character set, low byte used
    ExportCellBorder Borders[4];       // left, top, right, bottom
    std::uint8_t BrushStyle;           // 0 clear, 1 solid
    std::uint32_t BrushBkColor;
    std::uint32_t BrushFgColor;
    std::uint32_t StyleHash;           // filled by the style registry

    ExportCellBorder& border(BorderSide side) { return Borders[int(side)]; }
    const ExportCellBorder& border(BorderSide side) const { return Borders[int(side)]; }
    void setFontName(const char* name);
};
#pragma pack(pop)

static_assert(sizeof(ExportCellBorder) == 9);
static_assert(sizeof(ExportCellStyle) == 96);
static_assert(offsetof(ExportCellStyle, FontStyle) == 34);
static_assert(offsetof(ExportCellStyle, Borders) == 47);
static_assert(offsetof(ExportCellStyle, BrushStyle) == 83);
static_assert(offsetof(ExportCellStyle, StyleHash) == 92);

// The bytes of a style that take part in hashing and equality.
inline constexpr std::size_t kStyleKeySize = 92;

// Rotate left by 5, then XOR each byte into the low 8 bits, starting from 0.
std::uint32_t exportHash(const void* data, std::size_t size, std::uint32_t start = 0);
std::uint32_t styleHash(const ExportCellStyle& style);
// Equal in the first 92 bytes (StyleHash does not count).
bool sameStyle(const ExportCellStyle& a, const ExportCellStyle& b);

// The desktop colours an export is drawn in. The defaults are the classic
// Windows values, used where there is no desktop (orvane-batch, tests); the
// window hands the export the colours of its own palette.
struct SystemColors {
    ColorRef window = rgbColor(255, 255, 255);
    ColorRef buttonText = rgbColor(0, 0, 0);
    ColorRef buttonFace = rgbColor(240, 240, 240);
    ColorRef buttonShadow = rgbColor(160, 160, 160);
};

// The default style: centred Tahoma 8 in button-text colour, thin borders in
// button-shadow colour, solid window-colour background.
ExportCellStyle defaultExportCellStyle(const SystemColors& colors = SystemColors{});

} // namespace orvane::exporting
