#pragma once
// The shared string table of a BIFF8 workbook: its SST record, the CONTINUE
// records that carry what does not fit into 8192 bytes, and the EXTSST
// record that indexes it. Every addition makes a new entry.

#include <cstdint>
#include <vector>

namespace orvane::exporting {

class FileSink;

class TcxXLSSharedStringTable {
public:
    static constexpr std::size_t kMaxRecordData = 8192;
    // The most characters a spreadsheet cell holds.
    static constexpr std::size_t kMaxChars = 32767;

    // How a string's characters are stored: two bytes each, or one byte
    // each where every character is below U+0100 (half the bytes).
    enum class CharForm { TwoBytes, OneByteWhereItFits };

    // Adds a UTF-16 string, cut to kMaxChars characters (one less where the
    // cut would split a surrogate pair); returns its index.
    std::uint32_t Add(const char16_t* chars, std::size_t count, CharForm form = CharForm::TwoBytes);

    std::uint32_t Count() const { return m_count; }
    // Strings that Add had to cut.
    std::uint32_t ShortenedCount() const { return m_shortened; }
    bool IsEmpty() const { return m_count == 0; }

    // Bytes of the SST, CONTINUE and EXTSST records with their headers; 0
    // without strings.
    std::uint64_t RecordsSize() const;

    // Writes SST, CONTINUE... and EXTSST. streamOffset is the position in the
    // Workbook stream where the SST record begins.
    void Write(FileSink& sink, std::uint32_t streamOffset) const;

    // EXTSST bucket size d and bucket count k for n strings.
    static void ExtSstShape(std::uint32_t n, std::uint32_t& bucketSize, std::uint32_t& buckets);

private:
    struct Position {
        std::uint32_t block;
        std::uint32_t offset;   // where the string's header begins in the block's data
    };
    void startBlock();

    std::vector<std::vector<std::uint8_t>> m_blocks;
    std::vector<Position> m_positions;
    std::uint32_t m_count = 0;
    std::uint32_t m_shortened = 0;
};

} // namespace orvane::exporting
