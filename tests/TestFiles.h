// Local files of known content for the tests of every layer.
#pragma once

#include <cstddef>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

// Bytes that look random but are the same for the same seed.
inline std::string RandomBytes(std::size_t size, unsigned seed = 7) {
    std::mt19937 gen(seed);
    std::string out(size, '\0');
    for (auto& c : out) c = static_cast<char>(gen() & 0xFF);
    return out;
}

inline std::string ReadLocal(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteLocal(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}
