#include "TBuffer.h"

void TBuffer::Clear() {
    m_head = kSize;
    m_tail = kSize;
}

int TBuffer::Count() const {
    if (empty())
        return 0;
    return (m_tail - m_head + kSize) % kSize + 1;
}

bool TBuffer::Put(std::uint8_t byte) {
    if (empty()) {
        m_head = 0;
        m_tail = 0;
    } else {
        const std::int32_t next = (m_tail + 1) % kSize;
        if (next == m_head)
            return false;
        m_tail = next;
    }
    m_data[std::size_t(m_tail)] = byte;
    return true;
}

bool TBuffer::Get(std::uint8_t& byte) {
    if (Count() == 0)
        return false;
    byte = m_data[std::size_t(m_head)];
    if (m_head == m_tail) {
        Clear();
    } else {
        m_head = (m_head + 1) % kSize;
        if (m_head == (m_tail + 1) % kSize)
            Clear();
    }
    return true;
}
