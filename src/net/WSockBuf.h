// TBuffer: one fixed-size block of a socket's send queue.
//
// Invariant: 0 <= ReadPos <= WritePos <= Capacity; the unread bytes lie
// between ReadPos and WritePos. New data only goes into the free tail; unread
// data never moves. When the last unread byte is taken both positions return
// to 0, so a drained block is reused from its start.
#pragma once

#include <memory>
#include <span>

class TBuffer {
public:
    explicit TBuffer(int Size);
    TBuffer(const TBuffer&) = delete;
    TBuffer& operator=(const TBuffer&) = delete;

    // Changes the capacity; 0 or less means 1,514. Keeps the bytes written so
    // far; a capacity below WritePos is refused (std::invalid_argument).
    void Resize(int NewSize);
    // Copies as much of Data as fits into the free tail; returns bytes taken.
    int Append(const void* Data, int Len);
    // The unread bytes; empty (no pointer) when there are none.
    std::span<const char> Front() const;
    // Removes up to Len unread bytes from the front; returns bytes removed.
    int Consume(int Len);

    int Capacity() const { return FCapacity; }
    int WritePos() const { return FWritePos; }
    int ReadPos() const { return FReadPos; }

private:
    std::unique_ptr<char[]> FData;
    int FCapacity = 0;
    int FWritePos = 0;
    int FReadPos = 0;
};
