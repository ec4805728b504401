#include "export/ZeroedBuffer.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace orvane::exporting {

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
}

ZeroedBuffer::ZeroedBuffer(std::size_t bytes) : m_size(bytes)
{
    if (bytes == 0)
        return;
#if defined(__linux__)
    if (bytes >= kHugePage) {
        const std::size_t length = bytes + kHugePage;
        void* map = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (map == MAP_FAILED)
            throw std::bad_alloc();
        m_mapping = map;
        m_mappingSize = length;
        const auto start = (reinterpret_cast<std::uintptr_t>(map) + kHugePage - 1) & ~(kHugePage - 1);
        m_data = reinterpret_cast<void*>(start);
        madvise(m_data, (bytes + kHugePage - 1) & ~(kHugePage - 1), MADV_HUGEPAGE);
        return;
    }
#endif
    m_data = std::calloc(1, bytes);
    if (!m_data)
        throw std::bad_alloc();
}

void ZeroedBuffer::release()
{
#if defined(__linux__)
    if (m_mapping) {
        munmap(m_mapping, m_mappingSize);
        m_mapping = nullptr;
        m_data = nullptr;
    }
#endif
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
}

ZeroedBuffer::~ZeroedBuffer() { release(); }

ZeroedBuffer::ZeroedBuffer(ZeroedBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)),
      m_mapping(std::exchange(other.m_mapping, nullptr)), m_mappingSize(std::exchange(other.m_mappingSize, 0))
{
}

ZeroedBuffer& ZeroedBuffer::operator=(ZeroedBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_mapping = std::exchange(other.m_mapping, nullptr);
        m_mappingSize = std::exchange(other.m_mappingSize, 0);
    }
    return *this;
}

} // namespace orvane::exporting
