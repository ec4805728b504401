#pragma once
// The width of the widest of many texts in one font, measuring only a few
// of them: a drop-down lists up to a hundred thousand entries and opens at
// once.
//
// Every text's width is first estimated as the sum of its characters'
// advances, each character measured once. The texts estimated widest and
// the longest by character count are then measured whole, as the text
// engine lays them out (QFontMetrics::horizontalAdvance). The estimate
// leaves out kerning, ligatures and the joining of letters, so where texts
// differ in width by no more than those, the one measured may fall short
// of the widest by a pixel or two.

#include <QString>
#include <QStringList>

#include <functional>

class QFont;

namespace orvane::filter {

// The text at an index, for lists that hold their texts in other records.
using TextAt = std::function<const QString&(qsizetype index)>;

// The widest of `count` texts in a font, at most `limit` pixels: texts far
// wider than that are not measured to the end.
int widestTextWidth(const QFont& font, qsizetype count, const TextAt& textAt, int limit);
int widestTextWidth(const QFont& font, const QStringList& texts, int limit);

} // namespace orvane::filter
