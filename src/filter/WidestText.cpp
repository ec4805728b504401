#include "filter/WidestText.h"

#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QHash>

#include <algorithm>
#include <array>
#include <functional>
#include <utility>
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
    explicit CharacterAdvances(const QFont& font) : m_metrics(font) { m_common.fill(kUnknown); }

    // The sum of the advances of a text's characters, counted no further
    // than `enough` pixels.
    qreal estimate(const QString& text, qreal enough)
    {
        qreal sum = 0;
        const qsizetype size = text.size();
        for (qsizetype i = 0; i < size && sum < enough; ++i) {
            const QChar c = text.at(i);
            if (c.unicode() < kCommon) {
                float& advance = m_common[c.unicode()];
                if (advance == kUnknown)
                    advance = float(m_metrics.horizontalAdvance(c));
                sum += advance;
            } else if (c.isHighSurrogate() && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
                sum += other(QChar::surrogateToUcs4(c, text.at(i + 1)));
                ++i;
            } else if (!c.isSurrogate()) {
                sum += other(c.unicode());
            }
        }
        return sum;
    }

private:
    // Latin, Greek, Cyrillic, Hebrew and Arabic letters sit in a table; the
    // rest in a hash.
    static constexpr char16_t kCommon = 0x800;
    static constexpr float kUnknown = -1;

    qreal other(char32_t codePoint)
    {
        auto known = m_other.constFind(codePoint);
        if (known == m_other.constEnd())
            known = m_other.insert(codePoint, m_metrics.horizontalAdvance(QString::fromUcs4(&codePoint, 1)));
        return *known;
    }

    QFontMetricsF m_metrics;
    std::array<float, kCommon> m_common;
    QHash<char32_t, qreal> m_other;
};

// The indexes of the texts with the largest keys offered, at most `capacity`
// of them, kept in a heap with the smallest key on top.
template <typename Key>
class Largest {
public:
    explicit Largest(size_t capacity) : m_capacity(capacity) { m_heap.reserve(capacity); }
    void offer(Key key, qsizetype index)
    {
        if (m_heap.size() < m_capacity) {
            m_heap.emplace_back(key, index);
            std::push_heap(m_heap.begin(), m_heap.end(), std::greater<>());
        } else if (!m_heap.empty() && key > m_heap.front().first) {
            std::pop_heap(m_heap.begin(), m_heap.end(), std::greater<>());
            m_heap.back() = {key, index};
            std::push_heap(m_heap.begin(), m_heap.end(), std::greater<>());
        }
    }
    // The keys and indexes, in no order.
    const std::vector<std::pair<Key, qsizetype>>& entries() const { return m_heap; }

private:
    size_t m_capacity;
    std::vector<std::pair<Key, qsizetype>> m_heap;
};

} // namespace

int widestTextWidth(const QFont& font, qsizetype count, const TextAt& textAt, int limit)
{
    // Estimates past twice the limit are taken as wider than it, whatever
    // the text engine makes of them; they need counting no further.
    const qreal enough = 2.0 * limit;
    CharacterAdvances advances(font);
    Largest<qreal> widest(kWidestEstimates);
    Largest<qsizetype> longest(kLongest);
    for (qsizetype i = 0; i < count; ++i) {
        const QString& text = textAt(i);
        widest.offer(advances.estimate(text, enough), i);
        longest.offer(text.size(), i);
    }
    const QFontMetrics metrics(font);
    int width = 0;
    auto measure = [&](const auto& candidates) {
        for (const auto& [key, i] : candidates)
            width = std::max(width, metrics.horizontalAdvance(textAt(i)));
    };
    for (const auto& [estimate, i] : widest.entries())
        if (estimate >= enough)
            return limit;
    measure(widest.entries());
    measure(longest.entries());
    return std::min(width, limit);
}

int widestTextWidth(const QFont& font, const QStringList& texts, int limit)
{
    return widestTextWidth(font, texts.size(), [&texts](qsizetype i) -> const QString& { return texts.at(i); },
                           limit);
}

} // namespace orvane::filter
