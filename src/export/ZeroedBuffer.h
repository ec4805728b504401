#pragma once
// A large zero-filled memory block for the export's cell table and text
// pools. On Linux it comes straight from the kernel (already zero, so it is
// never cleared by hand) in huge pages where the system allows, which spares
// tens of thousands of page faults on a full sheet; elsewhere it is calloc's.

#include <cstddef>

namespace orvane::exporting {

class ZeroedBuffer {
public:
    ZeroedBuffer() = default;
    explicit ZeroedBuffer(std::size_t bytes);
    ~ZeroedBuffer();
    ZeroedBuffer(ZeroedBuffer&& other) noexcept;
    ZeroedBuffer& operator=(ZeroedBuffer&& other) noexcept;
    ZeroedBuffer(const ZeroedBuffer&) = delete;
    ZeroedBuffer& operator=(const ZeroedBuffer&) = delete;

    void* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    void release();

    void* m_data = nullptr;
    std::size_t m_size = 0;
    void* m_mapping = nullptr;
    std::size_t m_mappingSize = 0;
};

} // namespace orvane::exporting
