#pragma once
// A buffered binary output file: little-endian values are put straight into
// a large buffer that goes to the file in big writes. Write failures raise
// ExportFileError with the file system's own text.

#include "common/Errors.h"

#include <QFile>
#include <QString>
#include <cstdint>
#include <cstring>
#include <vector>

namespace orvane::exporting {

// The file system refused to create or write the output file.
class ExportFileError : public OrvaneError {
public:
    using OrvaneError::OrvaneError;
};

class FileSink {
public:
    static constexpr std::size_t kBufferSize = 1 << 20;

    // Deletes a file of that name and creates it empty. Throws ExportFileError.
    explicit FileSink(const QString& fileName);
    ~FileSink();

    bool isOpen() const { return m_file.isOpen(); }
    QIODevice* device() { return &m_file; }

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
    void resyncPosition() { flush(); m_flushed = m_file.pos(); }
    // Writes a 32-bit value at an earlier position and returns to the end.
    void patchU32(std::int64_t position, std::uint32_t value);
    void close();

private:
    void makeRoom(std::size_t n);
    void writeDirect(const void* data, std::size_t n);

    QFile m_file;
    std::vector<std::uint8_t> m_buffer;
    std::size_t m_used = 0;
    std::int64_t m_flushed = 0;
};

} // namespace orvane::exporting
