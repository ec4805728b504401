#pragma once
// Writes the front part of a compound document (format version 3) that holds
// one stream, "Workbook", whose length is known in advance: the header
// sector, the allocation tables and the directory. The stream's bytes follow
// directly, written by the caller, and then PaddingAfter() zero bytes.

#include <QByteArray>
#include <QIODevice>
#include <cstdint>
#include <vector>

namespace orvane::exporting {

inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
inline constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
inline constexpr std::uint32_t kSectorSize = 512;
inline constexpr std::uint32_t kMiniSectorSize = 64;
inline constexpr std::uint32_t kMiniStreamCutoff = 4096;
inline constexpr std::uint32_t kHeaderDifatEntries = 109;
inline constexpr std::uint32_t kEntriesPerSector = 128;

// Where everything goes for a stream of a given length.
struct CompoundLayout {
    std::uint64_t streamLength = 0;   // L
    std::uint32_t streamSectors = 0;  // S = ceil(L / 512)
    bool small = false;               // L below the mini stream cutoff
    std::uint32_t fatSectors = 0;     // F
    std::uint32_t difatSectors = 0;   // D
    std::uint32_t streamStart = 0;    // first sector (large) of the stream
    std::vector<std::uint32_t> fatSectorAt;    // sector of FAT sector k
    std::vector<std::uint32_t> difatSectorAt;  // sector of DIFAT sector m
    std::uint64_t headerAreaSize = 0; // bytes written before the stream
};

// The largest stream the 32-bit size fields can describe.
inline constexpr std::uint64_t kMaxStreamLength = 0xFFFFFFFFu;

// Throws EcxExportData for L <= 0 or L > kMaxStreamLength.
CompoundLayout compoundLayout(std::int64_t streamLength);
// The whole header area for a stream of length L, byte for byte.
QByteArray compoundHeaderArea(std::int64_t streamLength);

class TcxXLSWorkBookWriter {
public:
    // Checks its arguments ("Error write XLS file" for L <= 0 or no file),
    // then writes the header area at the file's current position in one
    // write. A failed write raises ExportFileError.
    TcxXLSWorkBookWriter(std::int64_t streamLength, QIODevice* output);

    const CompoundLayout& layout() const { return m_layout; }

    // The zero bytes that follow a stream of length L so that the file ends
    // with a whole sector, as the format expects; a small stream's last mini
    // sector is filled up with them too. The stream's length stays L.
    static std::int64_t PaddingAfter(std::int64_t streamLength)
    {
        return streamLength > 0 ? (kSectorSize - std::uint64_t(streamLength) % kSectorSize) % kSectorSize : 0;
    }

private:
    CompoundLayout m_layout;
};

} // namespace orvane::exporting
