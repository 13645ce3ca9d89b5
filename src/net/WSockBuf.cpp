#include "net/WSockBuf.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

TBuffer::TBuffer(int Size) { Resize(Size); }

void TBuffer::Resize(int NewSize) {
    if (NewSize <= 0) NewSize = 1514;
    if (NewSize == FCapacity) return;
    if (NewSize < FWritePos) throw std::invalid_argument("TBuffer::Resize below the written size");
    auto data = std::make_unique<char[]>(static_cast<size_t>(NewSize));
    if (FWritePos > 0) std::memcpy(data.get(), FData.get(), static_cast<size_t>(FWritePos));
    FData = std::move(data);
    FCapacity = NewSize;
}

int TBuffer::Append(const void* Data, int Len) {
    int room = FCapacity - FWritePos;
    if (room <= 0 || Len <= 0) return 0;
    int n = std::min(room, Len);
    std::memcpy(FData.get() + FWritePos, Data, static_cast<size_t>(n));
    FWritePos += n;
    return n;
}

std::span<const char> TBuffer::Front() const {
    if (FWritePos == FReadPos) return {};
    return {FData.get() + FReadPos, static_cast<size_t>(FWritePos - FReadPos)};
}

int TBuffer::Consume(int Len) {
    int unread = FWritePos - FReadPos;
    if (unread <= 0 || Len <= 0) return 0;
    int n = std::min(Len, unread);
    FReadPos += n;
    if (FReadPos == FWritePos) FReadPos = FWritePos = 0;
    return n;
}
