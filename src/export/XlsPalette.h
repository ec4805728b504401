#pragma once
// The 56-colour palette of a BIFF8 workbook. It starts as the default palette
// and takes the colours the styles need from its top slot downwards.

#include "export/ExportCellStyle.h"

#include <array>
#include <cstdint>

namespace orvane::exporting {

enum class ColorUse { Font, Background, Border };

class XlsPalette {
public:
    static constexpr int kSlots = 56;
    static constexpr std::uint16_t kAutomatic = 0x7FFF;     // automatic font colour
    static constexpr std::uint16_t kWindowColor = 64;       // system window colour

    explicit XlsPalette(ColorRef windowBackground);

    // The colour index (8..63, or a special index) for a colour.
    std::uint16_t indexOf(ColorRef color, ColorUse use);

    ColorRef slot(int i) const { return m_slots[std::size_t(i)]; }

    static const std::array<ColorRef, kSlots>& defaultColors();

private:
    std::array<ColorRef, kSlots> m_slots;
    int m_nextFree = kSlots - 1;
    ColorRef m_window;
};

} // namespace orvane::exporting
