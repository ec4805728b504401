#include "filter/WidestText.h"

#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <vector>

namespace orvane::filter {

namespace {

// How many of the texts estimated widest, and of the longest ones, are
// measured whole.
constexpr size_t kWidestEstimates = 48;
constexpr size_t kLongest = 8;

// The advance of each character in a font, measured the first time it is met.
class CharacterAdvances {
public:
    explicit CharacterAdvances(const QFont& font) : m_metrics(font), m_basic(0x10000, kUnknown) {}

    // The sum of the advances of a text's characters, counted no further
    // than `enough` pixels.
    qreal estimate(const QString& text, qreal enough)
    {
        qreal sum = 0;
        const qsizetype size = text.size();
        for (qsizetype i = 0; i < size && sum < enough; ++i) {
            const QChar c = text.at(i);
            if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
                sum += supplementary(QChar::surrogateToUcs4(c, text.at(i + 1)));
                ++i;
            } else {
                sum += basic(c);
            }
        }
        return sum;
    }

private:
    static constexpr qreal kUnknown = -1;

    qreal basic(QChar c)
    {
        qreal& advance = m_basic[c.unicode()];
        if (advance == kUnknown)
            advance = c.isSurrogate() ? 0 : m_metrics.horizontalAdvance(c);
        return advance;
    }
    // Characters past the basic plane (emoji, rarer ideographs) as the pair
    // of code units that holds them.
    qreal supplementary(char32_t codePoint)
    {
        auto known = m_supplementary.constFind(codePoint);
        if (known == m_supplementary.constEnd())
            known = m_supplementary.insert(codePoint, m_metrics.horizontalAdvance(QString::fromUcs4(&codePoint, 1)));
        return *known;
    }

    QFontMetricsF m_metrics;
    std::vector<qreal> m_basic;
    QHash<char32_t, qreal> m_supplementary;
};

// The indexes of the `count` largest keys, in no order.
template <typename Key>
std::vector<qsizetype> largest(const std::vector<Key>& keys, size_t count)
{
    std::vector<qsizetype> order(keys.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = qsizetype(i);
    if (order.size() > count) {
        std::nth_element(order.begin(), order.begin() + qsizetype(count), order.end(),
                         [&keys](qsizetype a, qsizetype b) { return keys[size_t(a)] > keys[size_t(b)]; });
        order.resize(count);
    }
    return order;
}

} // namespace

int widestTextWidth(const QFont& font, qsizetype count, const TextAt& textAt, int limit)
{
    // Estimates past twice the limit are wider than it whatever the text
    // engine does to them; they need counting no further.
    const qreal enough = 2.0 * limit;
    CharacterAdvances advances(font);
    std::vector<qreal> estimates(size_t(std::max<qsizetype>(count, 0)));
    std::vector<qsizetype> lengths(estimates.size());
    for (size_t i = 0; i < estimates.size(); ++i) {
        const QString& text = textAt(qsizetype(i));
        estimates[i] = advances.estimate(text, enough);
        lengths[i] = text.size();
    }
    std::vector<qsizetype> candidates = largest(estimates, kWidestEstimates);
    const std::vector<qsizetype> longest = largest(lengths, kLongest);
    candidates.insert(candidates.end(), longest.begin(), longest.end());

    const QFontMetrics metrics(font);
    int widest = 0;
    for (const qsizetype i : candidates) {
        if (estimates[size_t(i)] >= enough)
            return limit;
        widest = std::max(widest, metrics.horizontalAdvance(textAt(i)));
    }
    return std::min(widest, limit);
}

int widestTextWidth(const QFont& font, const QStringList& texts, int limit)
{
    return widestTextWidth(font, texts.size(), [&texts](qsizetype i) -> const QString& { return texts.at(i); },
                           limit);
}

} // namespace orvane::filter
