#include "net/WSockBuf.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

std::string FrontText(const TBuffer& b) {
    auto f = b.Front();
    return std::string(f.data() ? f.data() : "", f.size());
}

TEST(TBuffer, AppendTakesOnlyWhatFitsAndKeepsOrder) {
    TBuffer b(8);
    EXPECT_EQ(b.Capacity(), 8);
    EXPECT_EQ(b.Front().data(), nullptr);  // empty block: no pointer, count 0
    EXPECT_EQ(b.Append("abcde", 5), 5);
    EXPECT_EQ(b.Append("fghij", 5), 3);
    EXPECT_EQ(b.Append("x", 1), 0);  // full
    EXPECT_EQ(FrontText(b), "abcdefgh");
}

TEST(TBuffer, ConsumeAdvancesAndRewindsWhenDrained) {
    TBuffer b(8);
    b.Append("abcdef", 6);
    EXPECT_EQ(b.Consume(2), 2);
    EXPECT_EQ(b.ReadPos(), 2);
    EXPECT_EQ(FrontText(b), "cdef");
    // New data only goes into the free tail, unread data does not move.
    EXPECT_EQ(b.Append("XYZ", 3), 2);
    EXPECT_EQ(FrontText(b), "cdefXY");
    EXPECT_EQ(b.Consume(100), 6);  // never more than what is unread
    EXPECT_EQ(b.ReadPos(), 0);
    EXPECT_EQ(b.WritePos(), 0);
    EXPECT_EQ(b.Consume(1), 0);
    EXPECT_EQ(b.Append("12345678", 8), 8);  // a drained block is reused from its start
}

TEST(TBuffer, ResizeRules) {
    TBuffer b(0);
    EXPECT_EQ(b.Capacity(), 1514);
    TBuffer c(-3);
    EXPECT_EQ(c.Capacity(), 1514);
    TBuffer d(4);
    d.Append("abc", 3);
    d.Resize(10);
    EXPECT_EQ(d.Capacity(), 10);
    EXPECT_EQ(FrontText(d), "abc");
    EXPECT_THROW(d.Resize(2), std::invalid_argument);
}

}  // namespace
