#include "store/ExportRecord.h"

#include "common/EscapedText.h"

#include <QSet>

#include <algorithm>
#include <utility>

namespace orvane::store {

namespace {

// A cell holds up to kMaxCellChars characters; the record's cells stay a
// little under it so that no spreadsheet program has reason to cut them.
constexpr qsizetype kLineCellChars = 32000;
constexpr int kDigestChars = 8;     // 48 bits, 6 to a character
constexpr int kPositionChars = 2;   // up to 4096 fields
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

void appendCode(QString& out, std::uint64_t value, int chars)
{
    const qsizetype at = out.size();
    out.resize(at + chars);
    QChar* end = out.data() + at + chars;
    for (int i = 0; i < chars; ++i, value >>= 6)
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

// The entries of one line: position and digest of each text not empty.
template <typename Entry>
std::optional<std::vector<Entry>> parseEntriesAs(QStringView text, std::size_t fieldCount)
{
    constexpr int kEntryChars = kPositionChars + kDigestChars;
    if (text.size() % kEntryChars != 0)
        return std::nullopt;
    std::vector<Entry> entries;
    entries.reserve(std::size_t(text.size() / kEntryChars));
    for (qsizetype at = 0; at < text.size(); at += kEntryChars) {
        const std::optional<std::uint64_t> position = parseCode(text.mid(at, kPositionChars));
        const std::optional<std::uint64_t> digest = parseCode(text.mid(at + kPositionChars, kDigestChars));
        if (!position || !digest || *position >= fieldCount)
            return std::nullopt;
        entries.push_back({int(*position), *digest});
    }
    return entries;
}

constexpr std::uint64_t kFnvPrime = 0x100000001b3ull;

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
// a finishing mix so that every bit of the state reaches the kept ones.
std::uint64_t exportedTextDigest(QStringView text)
{
    const QStringView kept = text.left(cellTextLength(text));
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (qsizetype i = 0; i < kept.size(); ++i) {
        char16_t c = kept.at(i).unicode();
        if (c == u'\r') {
            c = u'\n';
            if (i + 1 < kept.size() && kept.at(i + 1) == QLatin1Char('\n'))
                ++i;
        }
        h = (h ^ c) * kFnvPrime;
    }
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ull;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebull;
    h ^= h >> 31;
    return h & kDigestMask;
}

ExportDigestRecordBuilder::ExportDigestRecordBuilder(std::vector<int> fields) : m_fields(std::move(fields)) {}

void ExportDigestRecordBuilder::addActivity(QStringView activityId, const QStringView* texts)
{
    m_line = escapedCellText(activityId);
    m_line += QLatin1Char('\t');
    for (std::size_t f = 0; f < m_fields.size(); ++f) {
        if (texts[f].isEmpty())
            continue;
        appendCode(m_line, std::uint64_t(f), kPositionChars);
        appendCode(m_line, exportedTextDigest(texts[f]), kDigestChars);
    }
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
    record.m_positionOfField.assign(kColumnCount, -1);
    const QStringList& captions = rows.first();
    for (qsizetype c = 1; c < captions.size(); ++c) {
        const int field = fieldIndex(captions.at(c).trimmed());
        // A record naming a field it cannot hold was not written by an export.
        if (field < 0 || !isWorkbookTextColumn(field) || record.m_positionOfField[std::size_t(field)] >= 0)
            return std::nullopt;
        record.m_positionOfField[std::size_t(field)] = int(record.m_fields.size());
        record.m_fields.push_back(field);
    }
    QSet<QString> twice;
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QString cell = rows.at(r).value(0);
        for (const QStringView line : QStringView(cell).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const qsizetype tab = line.lastIndexOf(QLatin1Char('\t'));
            std::optional<std::vector<Entry>> entries =
                tab < 0 ? std::nullopt : parseEntriesAs<Entry>(line.mid(tab + 1), record.m_fields.size());
            // A line spoilt in the workbook counts as not recorded.
            if (!entries)
                continue;
            const QString id = unescapedCellText(line.left(tab)).trimmed();
            if (id.isEmpty() || twice.contains(id))
                continue;
            if (record.m_entriesOfId.contains(id)) {
                record.m_entriesOfId.remove(id);
                twice.insert(id);
                continue;
            }
            record.m_entriesOfId.insert(id, std::move(*entries));
        }
    }
    return record;
}

std::optional<bool> ExportDigestRecord::isExported(const QString& activityId, int field, QStringView text) const
{
    const auto entries = m_entriesOfId.constFind(activityId);
    const int position = field >= 0 && field < kColumnCount ? m_positionOfField[std::size_t(field)] : -1;
    if (entries == m_entriesOfId.constEnd() || position < 0)
        return std::nullopt;
    for (const Entry& entry : *entries)
        if (entry.position == position)
            return !text.isEmpty() && exportedTextDigest(text) == entry.digest;
    return text.isEmpty();
}

} // namespace orvane::store
