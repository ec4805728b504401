#pragma once
// What a font's layout tables may do to a line of text beyond giving each
// glyph its own advance and kerning each pair of neighbours. A text made of
// glyphs outside `glyphs` is shaped as the sum of those two, so its width
// can be added up from measured characters and pairs.

#include <QSet>

class QRawFont;

namespace orvane::logedit {

struct ContextualGlyphs {
    // The font shapes through tables not read here (Apple's layout tables,
    // a state-machine kerning table): no glyph may be taken as plain.
    bool wholeFont = false;
    // Glyphs at which a substitution, a contextual, cursive or mark
    // positioning may start, and glyphs that lookups may skip over (marks,
    // ligatures, components), so that kerning may pair glyphs that are not
    // neighbours.
    QSet<quint32> glyphs;
};

// Reads the GSUB, GPOS and GDEF tables of the font. A table that cannot be
// read whole makes the whole font contextual.
ContextualGlyphs contextualGlyphs(const QRawFont& font);

} // namespace orvane::logedit
