#pragma once
// A buffered binary output file: little-endian values are put straight into
// a large buffer that goes to the file in big writes. The file is written
// beside the one it replaces and takes its place only at close(); a sink
// dropped before leaves the old file as it was. Write failures raise
// ExportFileError saying which file and why (a full disk in those words).

#include "common/ReplacingFile.h"

#include <QString>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orvane::exporting {

// The file system refused to create or write the output file.
using ExportFileError = FileWriteError;

class FileSink {
public:
    static constexpr std::size_t kBufferSize = 1 << 20;

    // Starts the new file that is to replace any of that name. Throws ExportFileError.
    explicit FileSink(const QString& fileName);

    bool isOpen() { return m_file.device().isOpen(); }
    QIODevice* device() { return &m_file.device(); }

    // Bytes written so far, buffered ones included.
    std::int64_t position() const { return m_flushed + std::int64_t(m_used); }

    // Makes room for n bytes and returns where they go; commit(n) afterwards.
    std::uint8_t* reserve(std::size_t n)
    {
        if (m_used + n > m_buffer.size())
            makeRoom(n);
        return m_buffer.data() + m_used;
    }
    void commit(std::size_t n) { m_used += n; }
    // Raw access for tight loops: write between cursor() and limit(), then
    // hand the new cursor back with setCursor().
    std::uint8_t* cursor() { return m_buffer.data() + m_used; }
    std::uint8_t* limit() { return m_buffer.data() + m_buffer.size(); }
    void setCursor(std::uint8_t* p) { m_used = std::size_t(p - m_buffer.data()); }

    void write(const void* data, std::size_t n)
    {
        if (n > kBufferSize) {
            flush();
            writeDirect(data, n);
            return;
        }
        std::memcpy(reserve(n), data, n);
        m_used += n;
    }
    void u8(std::uint8_t v) { *reserve(1) = v; m_used += 1; }
    void u16(std::uint16_t v) { auto* p = reserve(2); p[0] = std::uint8_t(v); p[1] = std::uint8_t(v >> 8); m_used += 2; }
    void u32(std::uint32_t v) { auto* p = reserve(4); for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i)); m_used += 4; }
    void f64(double v) { std::uint64_t b; std::memcpy(&b, &v, 8); auto* p = reserve(8); for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(b >> (8 * i)); m_used += 8; }
    void zeros(std::size_t n) { while (n) { std::size_t k = std::min(n, kBufferSize); std::memset(reserve(k), 0, k); m_used += k; n -= k; } }

    void flush();
    // Takes up the file's position after someone wrote to device() directly.
    void resyncPosition() { flush(); m_flushed = m_file.device().pos(); }
    // Writes a 32-bit value at an earlier position and returns to the end.
    void patchU32(std::int64_t position, std::uint32_t value);
    // Writes the rest and puts the file in place of the old one.
    void close();

private:
    void makeRoom(std::size_t n);
    void writeDirect(const void* data, std::size_t n);

    ReplacingFile m_file;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
    std::int64_t m_flushed = 0;
};

} // namespace orvane::exporting
