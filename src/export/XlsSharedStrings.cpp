#include "export/XlsSharedStrings.h"

#include "export/ExportProvider.h"

#include "export/FileSink.h"

#include <algorithm>

namespace orvane::exporting {

namespace {

constexpr std::uint16_t kRecordSst = 0x00FC;
constexpr std::uint16_t kRecordContinue = 0x003C;
constexpr std::uint16_t kRecordExtSst = 0x00FF;

void append16(std::vector<std::uint8_t>& b, std::uint16_t v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}

void appendChars(std::vector<std::uint8_t>& b, const char16_t* chars, std::size_t count, std::size_t charBytes)
{
    for (std::size_t i = 0; i < count; ++i) {
        if (charBytes == 1)
            b.push_back(std::uint8_t(chars[i]));
        else
            append16(b, std::uint16_t(chars[i]));
    }
}

} // namespace

void TcxXLSSharedStringTable::startBlock()
{
    m_blocks.emplace_back();
    m_blocks.back().reserve(kMaxRecordData);
    if (m_blocks.size() == 1)
        m_blocks.back().resize(8);   // the two counters, filled when written
}

std::uint32_t TcxXLSSharedStringTable::Add(const char16_t* chars, std::size_t count, CharForm form)
{
    if (const std::size_t kept = cellTextLength(chars, count); kept < count) {
        count = kept;
        ++m_shortened;
    }
    const bool oneByte = form == CharForm::OneByteWhereItFits
                         && std::all_of(chars, chars + count, [](char16_t c) { return c < 0x100; });
    const std::size_t charBytes = oneByte ? 1 : 2;
    const std::uint8_t options = oneByte ? 0 : 1;
    // A string's header goes where at least its first character fits beside
    // it: a record never ends with a header and none of its characters.
    if (m_blocks.empty())
        startBlock();
    if (m_blocks.back().size() + 3 + std::min<std::size_t>(charBytes * count, charBytes) > kMaxRecordData)
        startBlock();

    auto* block = &m_blocks.back();
    const std::size_t room = kMaxRecordData - (block->size() + 3);
    const std::size_t first = std::min(count, room / charBytes);

    m_positions.push_back({std::uint32_t(m_blocks.size() - 1), std::uint32_t(block->size())});
    append16(*block, std::uint16_t(count));
    block->push_back(options);
    appendChars(*block, chars, first, charBytes);

    std::size_t done = first;
    while (done < count) {
        startBlock();
        block = &m_blocks.back();
        block->push_back(options);   // each continuation repeats the option byte
        const std::size_t part = std::min(count - done, (kMaxRecordData - 1) / charBytes);
        appendChars(*block, chars + done, part, charBytes);
        done += part;
    }
    return m_count++;
}

void TcxXLSSharedStringTable::ExtSstShape(std::uint32_t n, std::uint32_t& bucketSize, std::uint32_t& buckets)
{
    std::int64_t d = 8, k = 1;
    const std::int64_t count = n;
    while (count - d * k > 0) {
        d += 8;
        if (k < 127 && count - d * k > 0)
            ++k;
    }
    while (count < (k - 1) * d)
        --k;
    bucketSize = std::uint32_t(d);
    buckets = std::uint32_t(k);
}

std::uint64_t TcxXLSSharedStringTable::RecordsSize() const
{
    if (m_count == 0)
        return 0;
    std::uint64_t size = 0;
    for (const auto& block : m_blocks)
        size += 4 + block.size();
    std::uint32_t d, k;
    ExtSstShape(m_count, d, k);
    return size + 4 + 2 + 8 * k;
}

void TcxXLSSharedStringTable::Write(FileSink& sink, std::uint32_t streamOffset) const
{
    if (m_count == 0)
        return;
    std::vector<std::uint32_t> blockData(m_blocks.size());   // stream offset of each block's data
    std::uint32_t at = streamOffset;
    for (std::size_t b = 0; b < m_blocks.size(); ++b) {
        blockData[b] = at + 4;
        at += std::uint32_t(4 + m_blocks[b].size());
    }

    for (std::size_t b = 0; b < m_blocks.size(); ++b) {
        const auto& block = m_blocks[b];
        sink.u16(b == 0 ? kRecordSst : kRecordContinue);
        sink.u16(std::uint16_t(block.size()));
        if (b == 0) {
            sink.u32(m_count);   // additions
            sink.u32(m_count);   // distinct entries
            sink.write(block.data() + 8, block.size() - 8);
        } else {
            sink.write(block.data(), block.size());
        }
    }

    std::uint32_t d, k;
    ExtSstShape(m_count, d, k);
    sink.u16(kRecordExtSst);
    sink.u16(std::uint16_t(2 + 8 * k));
    sink.u16(std::uint16_t(d));
    for (std::uint32_t i = 0; i < k; ++i) {
        const std::uint32_t entry = i * d;
        const std::uint32_t offset = entry < m_count
            ? blockData[m_positions[entry].block] + m_positions[entry].offset : 0;
        sink.u32(offset);
        sink.u16(0);
        sink.u16(0);
    }
}

} // namespace orvane::exporting
