#include "store/ExportRecord.h"

#include "common/EscapedText.h"

#include <QSet>

#include <algorithm>
#include <array>
#include <utility>

namespace orvane::store {

namespace {

// A cell holds up to kMaxCellChars characters; the record's cells stay a
// little under it so that no spreadsheet program has reason to cut them.
constexpr qsizetype kLineCellChars = 32000;
constexpr int kDigestChars = 8;   // 48 bits, 6 to a character
constexpr char kEmptyHint = '.';
// Where more texts than this many combinations could each be either side's,
// the row is taken as not proven.
constexpr int kMostCombinations = 64;
constexpr std::uint64_t kDigestMask = (std::uint64_t(1) << 48) - 1;

constexpr char kDigestAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int digestCharValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= 'A' && u <= 'Z')
        return u - 'A';
    if (u >= 'a' && u <= 'z')
        return 26 + (u - 'a');
    if (u >= '0' && u <= '9')
        return 52 + (u - '0');
    if (u == '-')
        return 62;
    return u == '_' ? 63 : -1;
}

// Writes the low 6 * chars bits of value, most significant first.
void writeCode(QChar* at, std::uint64_t value, int chars)
{
    for (QChar* end = at + chars; end != at; value >>= 6)
        *--end = QLatin1Char(kDigestAlphabet[value & 63]);
}

std::optional<std::uint64_t> parseCode(QStringView text)
{
    std::uint64_t value = 0;
    for (const QChar c : text) {
        const int v = digestCharValue(c);
        if (v < 0)
            return std::nullopt;
        value = (value << 6) | std::uint64_t(v);
    }
    return value;
}

constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;

std::uint64_t mixed(std::uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// The digest of all of an activity's recorded texts, from their own digests:
// each text that is not empty, with its place (the empty ones are told by
// their hints).
std::uint64_t rowDigest(const std::uint64_t* digests, std::size_t count, std::uint64_t empty)
{
    std::uint64_t h = 0x6a09e667f3bcc908ull;
    for (std::size_t i = 0; i < count; ++i)
        if (digests[i] != empty)
            h = mixed(h ^ digests[i]) + (i + 1) * 0x9e3779b97f4a7c15ull;
    return h & kDigestMask;
}

char hintOf(std::uint64_t textDigest)
{
    return kDigestAlphabet[textDigest >> 58];
}

} // namespace

QString exportDigestRecordTag()
{
    return QStringLiteral("Digests of the exported texts");
}

int cellTextLength(QStringView text)
{
    if (text.size() <= kMaxCellChars)
        return int(text.size());
    return text.at(kMaxCellChars - 1).isHighSurrogate() ? kMaxCellChars - 1 : kMaxCellChars;
}

// FNV-1a over the text's UTF-16 characters as a cell holds them, a carriage
// return with or without a line feed after it counted as one line feed, and
// a finishing mix so that every bit of the state depends on every character.
std::uint64_t exportedTextDigest(QStringView text)
{
    const QStringView kept = text.left(cellTextLength(text));
    std::uint64_t h = 0xcbf29ce484222325ull;
    if (!kept.contains(QLatin1Char('\r'))) {
        for (const QChar c : kept)
            h = (h ^ c.unicode()) * kFnvPrime;
        return mixed(h);
    }
    for (qsizetype i = 0; i < kept.size(); ++i) {
        char16_t c = kept.at(i).unicode();
        if (c == u'\r') {
            c = u'\n';
            if (i + 1 < kept.size() && kept.at(i + 1) == QLatin1Char('\n'))
                ++i;
        }
        h = (h ^ c) * kFnvPrime;
    }
    return mixed(h);
}

std::uint64_t emptyTextDigest()
{
    static const std::uint64_t empty = exportedTextDigest(QStringView());
    return empty;
}

ExportDigestRecordBuilder::ExportDigestRecordBuilder(std::vector<int> fields)
    : m_fields(std::move(fields)), m_digests(m_fields.size())
{
}

void ExportDigestRecordBuilder::addActivity(QStringView activityId, const QStringView* texts)
{
    const std::uint64_t empty = emptyTextDigest();
    const bool plainId = std::none_of(activityId.begin(), activityId.end(), [](QChar c) {
        return c == QLatin1Char('\\') || c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r');
    });
    // The line's buffer is kept from one activity to the next.
    m_line.resize(0);
    m_line += plainId ? activityId : QStringView(escapedCellText(activityId));
    m_line += QLatin1Char('\t');
    const qsizetype hintsAt = m_line.size() + kDigestChars;
    m_line.resize(hintsAt + qsizetype(m_fields.size()));
    QChar* hints = m_line.data() + hintsAt;
    qsizetype lastText = -1;
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        if (texts[f].isEmpty()) {
            m_digests[f] = empty;
            hints[f] = QLatin1Char(kEmptyHint);
            continue;
        }
        m_digests[f] = exportedTextDigest(texts[f]);
        hints[f] = QLatin1Char(hintOf(m_digests[f]));
        lastText = qsizetype(f);
    }
    // The empty texts after the last one go without hints.
    m_line.truncate(hintsAt + lastText + 1);
    writeCode(m_line.data() + hintsAt - kDigestChars, rowDigest(m_digests.data(), m_digests.size(), empty), kDigestChars);
    if (!m_current.isEmpty() && m_current.size() + 1 + m_line.size() > kLineCellChars) {
        m_cells << m_current;
        m_current.clear();
    }
    // A line too long for any cell is left out: its activity then has no
    // base, as if it had not been exported.
    if (m_line.size() > kLineCellChars)
        return;
    if (!m_current.isEmpty())
        m_current += QLatin1Char('\n');
    m_current += m_line;
}

QStringList ExportDigestRecordBuilder::captionRow() const
{
    QStringList row{exportDigestRecordTag()};
    for (int field : m_fields)
        row << fieldName(field);
    return row;
}

QStringList ExportDigestRecordBuilder::takeLineCells()
{
    if (!m_current.isEmpty())
        m_cells << m_current;
    m_current.clear();
    return std::exchange(m_cells, {});
}

std::optional<ExportDigestRecord> ExportDigestRecord::read(const QList<QStringList>& rows)
{
    if (rows.isEmpty() || rows.first().value(0) != exportDigestRecordTag())
        return std::nullopt;
    ExportDigestRecord record;
    const QStringList& captions = rows.first();
    for (qsizetype c = 1; c < captions.size(); ++c) {
        const int field = fieldIndex(captions.at(c).trimmed());
        // A record naming a field it cannot hold was not written by an export.
        if (field < 0 || !isWorkbookTextColumn(field)
            || std::find(record.m_fields.begin(), record.m_fields.end(), field) != record.m_fields.end())
            return std::nullopt;
        record.m_fields.push_back(field);
    }
    const qsizetype fieldCount = qsizetype(record.m_fields.size());
    QSet<QString> twice;
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QString cell = rows.at(r).value(0);
        for (const QStringView line : QStringView(cell).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const qsizetype tab = line.lastIndexOf(QLatin1Char('\t'));
            const QStringView digests = tab < 0 ? QStringView() : line.mid(tab + 1);
            const std::optional<std::uint64_t> rowDigest =
                digests.size() >= kDigestChars && digests.size() <= kDigestChars + fieldCount
                    ? parseCode(digests.left(kDigestChars))
                    : std::nullopt;
            const QStringView hints = digests.mid(kDigestChars);
            // A line spoilt in the workbook counts as not recorded.
            if (!rowDigest || !std::all_of(hints.begin(), hints.end(), [](QChar c) {
                    return c == QLatin1Char(kEmptyHint) || digestCharValue(c) >= 0;
                }))
                continue;
            const QString id = unescapedCellText(line.left(tab)).trimmed();
            if (id.isEmpty() || twice.contains(id))
                continue;
            if (record.m_entryOfId.contains(id)) {
                record.m_entryOfId.remove(id);
                twice.insert(id);
                continue;
            }
            QByteArray allHints = hints.toLatin1();
            allHints.append(fieldCount - allHints.size(), kEmptyHint);
            record.m_entryOfId.insert(id, {*rowDigest, allHints});
        }
    }
    return record;
}

void ExportDigestRecord::exportedDigests(const QString& activityId, const std::vector<std::uint64_t>& table,
                                         const std::vector<std::optional<std::uint64_t>>& workbook,
                                         std::vector<std::optional<std::uint64_t>>& exported) const
{
    exported.clear();
    const auto entry = m_entryOfId.constFind(activityId);
    if (entry == m_entryOfId.constEnd())
        return;
    const std::uint64_t empty = emptyTextDigest();
    const std::size_t n = m_fields.size();
    exported.resize(n);
    // Each field's candidates: the table's text and the workbook's, where
    // its hint fits; a text exported empty is known from its hint alone.
    std::array<std::array<std::uint64_t, 2>, kColumnCount> candidates;
    std::array<int, kColumnCount> counts{};
    bool provable = true;
    int combinations = 1;
    for (std::size_t i = 0; i < n; ++i) {
        const char hint = entry->hints.at(qsizetype(i));
        if (hint == kEmptyHint) {
            exported[i] = empty;
            candidates[i][counts[i]++] = empty;
            continue;
        }
        for (const std::optional<std::uint64_t> side : {std::optional<std::uint64_t>(table[i]), workbook[i]})
            if (side && *side != empty && hintOf(*side) == hint && (counts[i] == 0 || candidates[i][0] != *side))
                candidates[i][counts[i]++] = *side;
        provable = provable && counts[i] > 0;
        if (counts[i] > 1 && (combinations *= counts[i]) > kMostCombinations)
            return;
    }
    if (!provable)
        return;
    // The one combination of candidates that has the row's digest.
    std::array<std::uint64_t, kColumnCount> chosen, proven;
    int matches = 0;
    for (int combination = 0; combination < combinations; ++combination) {
        int rest = combination;
        for (std::size_t i = 0; i < n; ++i) {
            chosen[i] = candidates[i][std::size_t(rest % counts[i])];
            rest /= counts[i];
        }
        if (rowDigest(chosen.data(), n, empty) == entry->rowDigest) {
            ++matches;
            proven = chosen;
        }
    }
    if (matches == 1)
        exported.assign(proven.begin(), proven.begin() + std::ptrdiff_t(n));
}

} // namespace orvane::store
