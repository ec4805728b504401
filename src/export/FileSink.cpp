#include "export/FileSink.h"

namespace orvane::exporting {

FileSink::FileSink(const QString& fileName) : m_file(fileName)
{
    m_buffer.resize(kBufferSize);
}

void FileSink::writeDirect(const void* data, std::size_t n)
{
    m_file.write(static_cast<const char*>(data), qint64(n));
    m_flushed += std::int64_t(n);
}

void FileSink::makeRoom(std::size_t n)
{
    flush();
    if (n > m_buffer.size())
        m_buffer.resize(n);
}

void FileSink::flush()
{
    if (m_used == 0)
        return;
    const std::size_t n = m_used;
    m_used = 0;
    writeDirect(m_buffer.data(), n);
}

void FileSink::patchU32(std::int64_t position, std::uint32_t value)
{
    flush();
    const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    const std::int64_t end = m_flushed;
    m_file.seek(position);
    m_file.write(bytes, 4);
    m_file.seek(end);
}

void FileSink::close()
{
    flush();
    m_file.commit();
}

} // namespace orvane::exporting
