// A plain blocking loopback copy, the yardstick for the message-loop figures.
#pragma once

#include <cstdint>

// Moves totalBytes from one thread to another over loopback TCP with blocking
// sends of sendSize and receives of recvSize; returns the seconds it took.
double BlockingLoopbackCopy(std::uint64_t totalBytes, int sendSize, int recvSize);
