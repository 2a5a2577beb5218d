#pragma once

// A counter that runs from 0 to its maximum inclusive and then starts again at 0; numbers the
// diagnostic copies of received messages.
class TSimpleCounter {
public:
    explicit TSimpleCounter(int maximum) : m_maximum(maximum < 0 ? 0 : maximum) {}

    int Value() const { return m_value; }
    int Maximum() const { return m_maximum; }
    void Advance() { m_value = m_value >= m_maximum ? 0 : m_value + 1; }
    void Retreat() { m_value = m_value <= 0 ? m_maximum : m_value - 1; }

private:
    int m_maximum;
    int m_value = 0;
};
