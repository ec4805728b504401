#include "logedit/TextWidths.h"

#include <QFont>
#include <QFontMetrics>

#include <algorithm>
#include <limits>
#include <numeric>

namespace orvane::logedit {

namespace {

// Whether every character of a text is drawn with one advance of its own
// from the font's face: printable Latin letters, digits and signs (up to
// Latin Extended-B, which the window font's faces all hold). A tab, a line
// break, a surrogate pair, a combining mark or another script may be
// shaped differently or drawn from another face.
bool advancesPerCharacter(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u >= 0x250)
            return false;
    }
    return true;
}

// A soft hyphen is drawn only where a line breaks; the text engine treats
// it apart from the characters around it.
constexpr char16_t kSoftHyphen = 0xAD;

// Texts this long may be shaped in pieces; they are measured whole.
constexpr qsizetype kLongestPlainText = 1024;

constexpr qint32 kNotMeasured = std::numeric_limits<qint32>::min();

} // namespace

PlainTextWidths::PlainTextWidths(const QFont& font)
    : m_metrics(font),
      m_face(QRawFont::fromFont(font)),
      m_contextual(contextualGlyphs(m_face)),
      // A font that changes the letters' case (all capitals, small capitals)
      // lays out other characters than the text's.
      m_capitalsChanged(font.capitalization() != QFont::MixedCase),
      m_plain(kCharacterLimit, 0),
      m_advance(kCharacterLimit, 0),
      m_pairs(kCharacterLimit)
{
}

qint64 PlainTextWidths::fixedWidth(const QString& text) const
{
    // The text engine adds advances in 1/64 pixel; QFontMetricsF gives that
    // sum unrounded.
    return qRound64(m_metrics.horizontalAdvance(text) * 64);
}

bool PlainTextWidths::plain(char16_t c)
{
    if (c >= kCharacterLimit)
        return false;
    qint8& known = m_plain[c];
    if (known == 0) {
        const QString alone(QChar{c});
        bool isPlain = !m_contextual.wholeFont && !m_capitalsChanged && advancesPerCharacter(alone) && c != kSoftHyphen;
        if (isPlain) {
            // Glyph 0 stands for a character the face lacks: another face draws it.
            const QList<quint32> glyphs = m_face.glyphIndexesForString(alone);
            isPlain = glyphs.size() == 1 && glyphs.front() != 0 && !m_contextual.glyphs.contains(glyphs.front());
        }
        if (isPlain)
            m_advance[c] = fixedWidth(alone);
        known = isPlain ? 1 : -1;
    }
    return known > 0;
}

qint64 PlainTextWidths::pairAdjustment(char16_t first, char16_t second)
{
    auto& row = m_pairs[first];
    if (!row) {
        row = std::make_unique<std::array<qint32, kCharacterLimit>>();
        row->fill(kNotMeasured);
    }
    qint32& adjustment = (*row)[second];
    if (adjustment == kNotMeasured) {
        const QChar pair[] = {QChar{first}, QChar{second}};
        adjustment = qint32(fixedWidth(QString(pair, 2)) - m_advance[first] - m_advance[second]);
    }
    return adjustment;
}

std::optional<int> PlainTextWidths::width(const QString& text)
{
    if (text.size() >= kLongestPlainText)
        return std::nullopt;
    // The characters and pairs met before are read straight from the
    // tables; only new ones are looked at and measured.
    qint64 sum = 0;
    const char16_t* chars = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = chars[i];
        if (c >= kCharacterLimit || (m_plain[c] <= 0 && !plain(c)))
            return std::nullopt;
        sum += m_advance[c];
        if (i == 0)
            continue;
        const char16_t previous = chars[i - 1];
        const auto& row = m_pairs[previous];
        const qint32 adjustment = row ? (*row)[c] : kNotMeasured;
        sum += adjustment != kNotMeasured ? adjustment : pairAdjustment(previous, c);
    }
    // Rounded as the text engine rounds its fixed-point width.
    return int((sum + 32) >> 6);
}

void TextWidthCache::useFont(const QFont& font)
{
    // Past the texts of a few long lists the cache starts again, never in
    // the middle of a list, so a list opened again is measured no more.
    constexpr qsizetype kLimit = 200000;
    const QString key = font.key();
    if (key != m_fontKey || !m_plainWidths) {
        m_widths.clear();
        m_fontKey = key;
        m_plainWidths = std::make_unique<PlainTextWidths>(font);
    } else if (m_widths.size() > kLimit) {
        m_widths.clear();
    }
}

int TextWidthCache::width(const QFontMetrics& metrics, const QString& text)
{
    const auto known = m_widths.constFind(text);
    if (known != m_widths.constEnd())
        return *known;
    const int w = metrics.horizontalAdvance(text);
    m_widths.insert(text, w);
    return w;
}

int widestTextWidth(const QFont& font, const QStringList& texts, TextWidthCache* cache)
{
    return widestTextWidth(font, texts.size(), [&texts](qsizetype i) -> const QString& { return texts.at(i); }, cache);
}

int widestTextWidth(const QFont& font, qsizetype count, const TextAt& textAt, TextWidthCache* cache)
{
    TextWidthCache ownCache;
    TextWidthCache& widths = cache ? *cache : ownCache;
    widths.useFont(font);
    const QFontMetrics metrics(font);
    // Plain texts are added up; the others are shaped, longest first.
    int widest = 0;
    std::vector<qsizetype> shaped;
    for (qsizetype i = 0; i < count; ++i) {
        if (const std::optional<int> w = widths.plainWidths().width(textAt(i)))
            widest = std::max(widest, *w);
        else
            shaped.push_back(i);
    }
    // Longest first (by length, up to a length past which all are taken
    // alike): once a text's length times the bound cannot beat the widest
    // found, no shorter one can.
    static constexpr qsizetype kLongest = 4096;
    auto lengthRank = [&textAt](qsizetype i) { return size_t(kLongest - std::min(textAt(i).size(), kLongest)); };
    std::vector<int> firstOfRank(kLongest + 2, 0);
    for (const qsizetype i : shaped)
        ++firstOfRank[lengthRank(i) + 1];
    std::partial_sum(firstOfRank.begin(), firstOfRank.end(), firstOfRank.begin());
    std::vector<qsizetype> order(shaped.size());
    for (const qsizetype i : shaped)
        order[size_t(firstOfRank[lengthRank(i)]++)] = i;
    // No glyph advances further than the font's widest character; its width
    // is rounded, so one pixel more covers each glyph's fraction.
    const qint64 glyphBound = qint64(metrics.maxWidth()) + 1;
    size_t next = 0;
    for (; next < order.size(); ++next) {
        const QString& text = textAt(order[next]);
        if (text.size() < kLongest && qint64(text.size()) * glyphBound <= widest)
            break;
        widest = std::max(widest, widths.width(metrics, text));
    }
    // The shorter rest cannot be wider, save texts whose characters may not
    // each take one advance of the font's own.
    for (; next < order.size(); ++next) {
        const QString& text = textAt(order[next]);
        if (!advancesPerCharacter(text))
            widest = std::max(widest, widths.width(metrics, text));
    }
    return widest;
}

} // namespace orvane::logedit
