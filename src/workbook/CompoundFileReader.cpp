#include "workbook/CompoundFileReader.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace orvane::workbook {

namespace {

constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kHeaderDifatEntries = 109;
constexpr std::size_t kDirectoryEntrySize = 128;
constexpr std::uint8_t kStreamEntry = 2;
constexpr std::uint8_t kRootEntry = 5;

[[noreturn]] void damaged(const char* why)
{
    throw CompoundFileDamage{QString::fromLatin1(why)};
}

std::uint32_t le32(const char* bytes)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(bytes);
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

std::uint16_t u16At(const QByteArray& b, std::size_t at)
{
    const auto* p = reinterpret_cast<const std::uint8_t*>(b.constData()) + at;
    return std::uint16_t(p[0] | (p[1] << 8));
}

std::uint32_t u32At(const QByteArray& b, std::size_t at)
{
    return le32(b.constData() + at);
}

// Where a sector's bytes are and how many of them the file holds.
struct Piece {
    const char* data;
    std::size_t size;
};

class Container {
public:
    explicit Container(const QByteArray& file) : m_file(file)
    {
        static const char signature[8] = {'\xD0', '\xCF', '\x11', '\xE0', '\xA1', '\xB1', '\x1A', '\xE1'};
        if (std::size_t(file.size()) < 512 || std::memcmp(file.constData(), signature, 8) != 0)
            damaged("it is not an .xls workbook (no compound document header)");
        const std::uint16_t shift = u16At(file, 30);
        if (shift != 9 && shift != 12)
            damaged("its container has an unknown sector size");
        m_sectorSize = std::size_t(1) << shift;
        m_miniSectorSize = std::size_t(1) << (u16At(file, 32) & 15);
        m_miniCutoff = u32At(file, 56);
        m_sectorCount = (std::size_t(file.size()) > m_sectorSize ? std::size_t(file.size()) - m_sectorSize : 0)
            / m_sectorSize + ((std::size_t(file.size()) % m_sectorSize) ? 1 : 0);
        readFat();
        readDirectory();
    }

    // The bytes of the directory entry's stream.
    QByteArray stream(std::size_t entry) const
    {
        const std::size_t at = entry * kDirectoryEntrySize;
        const std::uint32_t start = u32At(m_directory, at + 116);
        const std::uint64_t size = u32At(m_directory, at + 120);
        if (size == 0)
            return {};
        if (size < m_miniCutoff)
            return chainBytes(m_miniFat, start, size, [this](std::uint32_t s) { return miniSector(s); });
        return regularStream(start, size);
    }

    // The entry named like one of names, in the order of names; -1 if none.
    int find(const QStringList& names, QString* foundName) const
    {
        for (const QString& wanted : names) {
            for (std::size_t e = 0; e < m_entries; ++e) {
                const std::size_t at = e * kDirectoryEntrySize;
                if (std::uint8_t(m_directory.at(qsizetype(at + 66))) != kStreamEntry)
                    continue;
                const std::size_t nameBytes = std::min<std::size_t>(u16At(m_directory, at + 64), 64);
                const QString name = QString::fromUtf16(
                    reinterpret_cast<const char16_t*>(m_directory.constData() + at),
                    qsizetype(nameBytes >= 2 ? nameBytes / 2 - 1 : 0));
                if (name.compare(wanted, Qt::CaseInsensitive) == 0) {
                    if (foundName)
                        *foundName = wanted;
                    return int(e);
                }
            }
        }
        return -1;
    }

private:
    // Sector n; the file's last one may be cut short.
    Piece sector(std::uint32_t n) const
    {
        if (n >= m_sectorCount)
            damaged("its container names a sector past the end of the file");
        const std::size_t start = (std::size_t(n) + 1) * m_sectorSize;
        return {m_file.constData() + start, std::min(m_sectorSize, std::size_t(m_file.size()) - start)};
    }

    Piece miniSector(std::uint32_t n) const
    {
        const std::size_t start = std::size_t(n) * m_miniSectorSize;
        if (start >= std::size_t(m_miniStream.size()))
            damaged("its container names a mini sector past the end of its mini stream");
        return {m_miniStream.constData() + start, std::min(m_miniSectorSize, std::size_t(m_miniStream.size()) - start)};
    }

    void readFat()
    {
        const std::uint32_t fatSectors = u32At(m_file, 44);
        if (fatSectors > m_sectorCount)
            damaged("its container's allocation table is larger than the file");
        std::vector<std::uint32_t> fatAt;
        fatAt.reserve(fatSectors);
        for (std::uint32_t i = 0; i < kHeaderDifatEntries && fatAt.size() < fatSectors; ++i)
            fatAt.push_back(u32At(m_file, 76 + 4 * i));
        std::uint32_t difat = u32At(m_file, 68);
        const std::size_t perDifat = m_sectorSize / 4 - 1;
        for (std::size_t steps = 0; fatAt.size() < fatSectors; ++steps) {
            if (difat > kMaxRegularSector || steps > m_sectorCount)
                damaged("its container's allocation table is incomplete");
            const Piece d = sector(difat);
            if (d.size < m_sectorSize)
                damaged("its container's allocation table is incomplete");
            for (std::size_t i = 0; i < perDifat && fatAt.size() < fatSectors; ++i)
                fatAt.push_back(le32(d.data + 4 * i));
            difat = le32(d.data + 4 * perDifat);
        }
        const std::size_t perSector = m_sectorSize / 4;
        m_fat.resize(fatAt.size() * perSector, kEndOfChain);
        for (std::size_t k = 0; k < fatAt.size(); ++k) {
            const Piece s = sector(fatAt[k]);
            for (std::size_t e = 0; e < perSector && 4 * e + 4 <= s.size; ++e)
                m_fat[k * perSector + e] = le32(s.data + 4 * e);
        }
    }

    void readDirectory()
    {
        m_directory = regularStream(u32At(m_file, 48), 0);
        m_entries = std::size_t(m_directory.size()) / kDirectoryEntrySize;
        if (m_entries == 0 || std::uint8_t(m_directory.at(66)) != kRootEntry)
            damaged("its container has no directory");
        // The mini stream lives in the root entry's chain; the mini FAT in its own.
        m_miniStream = regularStream(u32At(m_directory, 116), u32At(m_directory, 120));
        const QByteArray miniFat = regularStream(u32At(m_file, 60), 0);
        m_miniFat.resize(std::size_t(miniFat.size()) / 4);
        for (std::size_t i = 0; i < m_miniFat.size(); ++i)
            m_miniFat[i] = u32At(miniFat, 4 * i);
    }

    QByteArray regularStream(std::uint32_t start, std::uint64_t size) const
    {
        return chainBytes(m_fat, start, size, [this](std::uint32_t s) { return sector(s); });
    }

    // The bytes along a chain of the table, `size` of them (0: the whole
    // chain). at(s) gives the bytes of (mini) sector s.
    template <typename At>
    QByteArray chainBytes(const std::vector<std::uint32_t>& table, std::uint32_t start, std::uint64_t size,
                          At at) const
    {
        QByteArray bytes;
        if (size > std::uint64_t(m_file.size()))
            damaged("its container names a stream larger than the file");
        if (size)
            bytes.reserve(qsizetype(size));
        std::uint32_t s = start;
        for (std::size_t steps = 0; s != kEndOfChain && (size == 0 || std::uint64_t(bytes.size()) < size); ++steps) {
            if (s > kMaxRegularSector || s >= table.size() || steps > table.size())
                damaged("its container holds a broken sector chain");
            const Piece piece = at(s);
            const std::size_t take = size ? std::size_t(std::min<std::uint64_t>(piece.size, size - bytes.size()))
                                          : piece.size;
            bytes.append(piece.data, qsizetype(take));
            s = table[s];
        }
        if (size && std::uint64_t(bytes.size()) < size)
            damaged("its container holds a stream shorter than its directory says");
        return bytes;
    }

    const QByteArray& m_file;
    std::size_t m_sectorSize = 512;
    std::size_t m_miniSectorSize = 64;
    std::uint32_t m_miniCutoff = 4096;
    std::size_t m_sectorCount = 0;
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_miniFat;
    QByteArray m_directory;
    std::size_t m_entries = 0;
    QByteArray m_miniStream;
};

} // namespace

QByteArray readCompoundStream(const QByteArray& file, const QStringList& names, QString* foundName)
{
    if (foundName)
        foundName->clear();
    const Container container(file);
    const int entry = container.find(names, foundName);
    return entry < 0 ? QByteArray() : container.stream(std::size_t(entry));
}

} // namespace orvane::workbook
