#pragma once

#include <array>
#include <cstdint>

#include <QString>

// The receive ring of the serial link: bytes from the port wait here until the read event
// takes them all. Indices 0 to 99999 hold bytes; head and tail both 100000 mean empty, and
// Count() is ((tail - head + 100000) mod 100000) + 1 otherwise, so that 100000 bytes fit.
class TBuffer {
public:
    static constexpr int kSize = 100000;
    static constexpr auto kAbout = "v1.4, 20151209";

    // Published properties; writing them changes nothing.
    int BufferSize() const { return kSize; }
    void SetBufferSize(int) {}
    QString About() const { return QLatin1String(kAbout); }
    void SetAbout(const QString&) {}

    void Clear();
    int Count() const;
    // False, with nothing changed, when the buffer is full.
    bool Put(std::uint8_t byte);
    // False when the buffer is empty; otherwise the oldest byte.
    bool Get(std::uint8_t& byte);

    int Head() const { return m_head; }
    int Tail() const { return m_tail; }

private:
    bool empty() const { return m_head == kSize; }

    std::array<std::uint8_t, kSize + 1> m_data{};
    std::int32_t m_head = kSize;
    std::int32_t m_tail = kSize;
};
