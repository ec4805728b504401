#include "export/ExportCellStyle.h"

#include <cstring>

namespace orvane::exporting {

void ExportCellStyle::setFontName(const char* name)
{
    std::memset(FontName, 0, sizeof FontName);
    std::strncpy(FontName, name, sizeof FontName - 1);
}

std::uint32_t exportHash(const void* data, std::size_t size, std::uint32_t start)
{
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::uint32_t h = start;
    for (std::size_t i = 0; i < size; ++i)
        h = ((h << 5) | (h >> 27)) ^ p[i];
    return h;
}

std::uint32_t styleHash(const ExportCellStyle& style)
{
    return exportHash(&style, kStyleKeySize);
}

bool sameStyle(const ExportCellStyle& a, const ExportCellStyle& b)
{
    return std::memcmp(&a, &b, kStyleKeySize) == 0;
}

ExportCellStyle defaultExportCellStyle(const SystemColors& colors)
{
    ExportCellStyle s;
    std::memset(&s, 0, sizeof s);
    s.AlignText = std::uint8_t(ExportAlign::Center);
    s.setFontName("Tahoma");
    s.FontStyle = 0;
    s.FontColor = colors.buttonText;
    s.FontSize = 8;
    s.FontCharset = 0;
    for (auto& b : s.Borders) {
        b.IsDefault = 0;
        b.Width = 1;
        b.Color = colors.buttonShadow;
    }
    s.BrushStyle = 1;
    s.BrushBkColor = colors.window;
    s.BrushFgColor = 0;
    s.StyleHash = 0;
    return s;
}

} // namespace orvane::exporting
