#include <gtest/gtest.h>

#include <memory>

#include "TBuffer.h"

TEST(TBufferTest, RingEdgeCases) {
    auto ring = std::make_unique<TBuffer>();
    TBuffer& buffer = *ring;
    std::uint8_t byte = 0;

    // A new buffer is empty; its published properties cannot be changed.
    EXPECT_EQ(buffer.Count(), 0);
    EXPECT_EQ(buffer.Head(), 100000);
    EXPECT_EQ(buffer.Tail(), 100000);
    EXPECT_FALSE(buffer.Get(byte));
    buffer.SetBufferSize(10);
    buffer.SetAbout(QStringLiteral("v2"));
    EXPECT_EQ(buffer.BufferSize(), 100000);
    EXPECT_EQ(buffer.About(), QStringLiteral("v1.4, 20151209"));

    // One byte: Count 1, stored at index 0; taking it empties the buffer.
    ASSERT_TRUE(buffer.Put(0x41));
    EXPECT_EQ(buffer.Count(), 1);
    EXPECT_EQ(buffer.Head(), 0);
    EXPECT_EQ(buffer.Tail(), 0);
    ASSERT_TRUE(buffer.Get(byte));
    EXPECT_EQ(byte, 0x41);
    EXPECT_EQ(buffer.Count(), 0);
    EXPECT_EQ(buffer.Head(), 100000);
    EXPECT_EQ(buffer.Tail(), 100000);

    // After the last byte of a run that moved the head, the next Put starts again at index 0.
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(buffer.Put(std::uint8_t(i)));
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(buffer.Get(byte));
        EXPECT_EQ(byte, i);
    }
    EXPECT_EQ(buffer.Count(), 0);
    ASSERT_TRUE(buffer.Put(7));
    EXPECT_EQ(buffer.Head(), 0);
    EXPECT_EQ(buffer.Tail(), 0);

    // Full at 100000 bytes: a further Put is refused and changes nothing.
    for (int i = 1; i < 100000; ++i)
        ASSERT_TRUE(buffer.Put(std::uint8_t(i % 251))) << i;
    EXPECT_EQ(buffer.Count(), 100000);
    EXPECT_FALSE(buffer.Put(0xFF));
    EXPECT_EQ(buffer.Head(), 0);
    EXPECT_EQ(buffer.Tail(), 99999);
    EXPECT_EQ(buffer.Count(), 100000);

    // Across the end of the storage the oldest byte still comes first.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(buffer.Get(byte));
    EXPECT_EQ(byte, 2);
    ASSERT_TRUE(buffer.Put(0xA0));
    ASSERT_TRUE(buffer.Put(0xA1));
    EXPECT_EQ(buffer.Tail(), 1);
    EXPECT_EQ(buffer.Count(), 99999);
    for (int i = 3; i < 100000; ++i) {
        ASSERT_TRUE(buffer.Get(byte));
        ASSERT_EQ(byte, i % 251) << i;
    }
    ASSERT_TRUE(buffer.Get(byte));
    EXPECT_EQ(byte, 0xA0);
    ASSERT_TRUE(buffer.Get(byte));
    EXPECT_EQ(byte, 0xA1);
    EXPECT_EQ(buffer.Count(), 0);
    EXPECT_FALSE(buffer.Get(byte));

    buffer.Put(1);
    buffer.Put(2);
    buffer.Clear();
    EXPECT_EQ(buffer.Count(), 0);
    EXPECT_EQ(buffer.Head(), 100000);
}
