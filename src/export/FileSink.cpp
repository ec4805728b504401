#include "export/FileSink.h"

namespace orvane::exporting {

FileSink::FileSink(const QString& fileName) : m_file(fileName)
{
    if (QFile::exists(fileName) && !QFile::remove(fileName))
        throw ExportFileError(QStringLiteral("Cannot replace %1: %2").arg(fileName, m_file.errorString()));
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        throw ExportFileError(QStringLiteral("Cannot create %1: %2").arg(fileName, m_file.errorString()));
    m_buffer.resize(kBufferSize);
}

FileSink::~FileSink()
{
    // A sink dropped half-way (an error before the workbook was complete)
    // closes without flushing the rest; the caller already reported why.
    m_file.close();
}

void FileSink::writeDirect(const void* data, std::size_t n)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const qint64 done = m_file.write(p, qint64(n));
        if (done <= 0)
            throw ExportFileError(QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
        p += done;
        n -= std::size_t(done);
        m_flushed += done;
    }
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
    const std::uint8_t bytes[4] = {std::uint8_t(value), std::uint8_t(value >> 8),
                                   std::uint8_t(value >> 16), std::uint8_t(value >> 24)};
    const std::int64_t end = m_flushed;
    if (!m_file.seek(position) || m_file.write(reinterpret_cast<const char*>(bytes), 4) != 4
        || !m_file.seek(end))
        throw ExportFileError(QStringLiteral("Cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
}

void FileSink::close()
{
    flush();
    m_file.close();
}

} // namespace orvane::exporting
