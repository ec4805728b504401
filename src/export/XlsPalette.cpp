#include "export/XlsPalette.h"

#include <utility>

namespace orvane::exporting {

namespace {

constexpr ColorRef fromRgb(std::uint32_t rgb)
{
    return rgbColor(int(rgb >> 16), int(rgb >> 8), int(rgb));
}

} // namespace

const std::array<ColorRef, XlsPalette::kSlots>& XlsPalette::defaultColors()
{
    // Colour indices 8 to 63 of a new BIFF8 workbook.
    static const std::array<ColorRef, kSlots> colors = [] {
        const std::uint32_t rgb[kSlots] = {
            0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
            0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
            0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
            0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
            0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
            0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
            0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
        };
        std::array<ColorRef, kSlots> out{};
        for (int i = 0; i < kSlots; ++i)
            out[std::size_t(i)] = fromRgb(rgb[i]);
        return out;
    }();
    return colors;
}

XlsPalette::XlsPalette(ColorRef windowBackground)
    : m_slots(defaultColors()), m_window(windowBackground)
{
}

std::uint16_t XlsPalette::indexOf(ColorRef color, ColorUse use)
{
    if (use == ColorUse::Font && color == 0)
        return kAutomatic;
    if (use == ColorUse::Background && color == m_window)
        return kWindowColor;
    if (use == ColorUse::Border && color == 0)
        return kWindowColor;

    for (int i = kSlots - 1; i >= 0; --i) {
        if (m_slots[std::size_t(i)] != color)
            continue;
        if (i > m_nextFree)
            return std::uint16_t(i + 8);
        // A default colour below the kept ones: move it up into the next
        // free slot so that it stays there for good.
        const int f = m_nextFree;
        if (i != f)
            std::swap(m_slots[std::size_t(i)], m_slots[std::size_t(f)]);
        --m_nextFree;
        return std::uint16_t(f + 8);
    }
    if (m_nextFree >= 0) {
        const int f = m_nextFree--;
        m_slots[std::size_t(f)] = color;
        return std::uint16_t(f + 8);
    }
    return use == ColorUse::Font ? kAutomatic : kWindowColor;
}

} // namespace orvane::exporting
