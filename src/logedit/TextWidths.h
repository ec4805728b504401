#pragma once
// The widest of many texts in one font, as QFontMetrics::horizontalAdvance
// gives each of them, without shaping each text: a drop-down lists up to a
// hundred thousand entries and opens at once.

#include "logedit/FontLayoutTables.h"

#include <QFontMetricsF>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QFont;
class QFontMetrics;

namespace orvane::logedit {

// Widths of plain texts added up from their characters and pairs. A
// character is plain when the font's own face draws it with one glyph that
// no substitution, contextual or mark rule starts at (FontLayoutTables.h):
// a text of such characters is shaped as its glyphs' advances plus the
// kerning of each neighbouring pair. Each character and pair is measured
// once, in the font's fixed-point units, so the sum equals the width the
// text engine gives.
class PlainTextWidths {
public:
    explicit PlainTextWidths(const QFont& font);
    // The text's rounded width, or none when it holds a character that is
    // not plain (or is too long to be shaped in one piece).
    std::optional<int> width(const QString& text);

private:
    // Characters up to Latin Extended-B are looked at; others are shaped.
    static constexpr char16_t kCharacterLimit = 0x250;
    bool plain(char16_t c);
    qint64 fixedWidth(const QString& text) const;
    qint64 pairAdjustment(char16_t first, char16_t second);

    QFontMetricsF m_metrics;
    QRawFont m_face;
    ContextualGlyphs m_contextual;
    bool m_capitalsChanged;
    std::vector<qint8> m_plain;     // per character: 0 not looked at, 1 plain, -1 not
    std::vector<qint64> m_advance;  // per plain character, in 1/64 pixel
    // Per first character, the adjustment of each second one; measured on demand.
    std::vector<std::unique_ptr<std::array<qint32, kCharacterLimit>>> m_pairs;
};

// Text widths measured in one font, kept between openings of the drop-down
// so a list opened again is not measured again.
class TextWidthCache {
public:
    // Starts a list: forgets what was measured in another font, or all
    // when it holds too many texts.
    void useFont(const QFont& font);
    // The width of a text in the metrics of the font in use, measured once.
    int width(const QFontMetrics& metrics, const QString& text);
    // Widths of plain texts in the font in use.
    PlainTextWidths& plainWidths() { return *m_plainWidths; }

private:
    QString m_fontKey;
    QHash<QString, int> m_widths;
    std::unique_ptr<PlainTextWidths> m_plainWidths;
};

// The widest of the texts in a font, as measuring every one of them gives,
// without measuring those that provably cannot be the widest.
int widestTextWidth(const QFont& font, const QStringList& texts, TextWidthCache* cache = nullptr);
// The same over `count` texts that `textAt` gives by index, for lists that
// hold their texts in other records.
using TextAt = std::function<const QString&(qsizetype index)>;
int widestTextWidth(const QFont& font, qsizetype count, const TextAt& textAt, TextWidthCache* cache = nullptr);

} // namespace orvane::logedit
