// Local files of known content for the tests of every layer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

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

// Large files of known content, made and checked block by block so that a
// file of a gigabyte never has to fit in memory.
class RandomStream {
public:
    explicit RandomStream(unsigned seed) : gen_(seed) {}
    void Fill(char* out, std::size_t size) {
        for (std::size_t i = 0; i < size; i += 8) {
            const std::uint64_t v = gen_();
            std::memcpy(out + i, &v, std::min<std::size_t>(8, size - i));
        }
    }

private:
    std::mt19937_64 gen_;
};

inline bool WriteRandomFile(const std::string& path, std::uint64_t size, unsigned seed) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    RandomStream stream(seed);
    std::vector<char> block(1 << 20);
    for (std::uint64_t done = 0; done < size && out; done += block.size()) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(block.size(), size - done));
        stream.Fill(block.data(), n);
        out.write(block.data(), static_cast<std::streamsize>(n));
    }
    return static_cast<bool>(out.flush());
}

// Whether the file holds exactly what WriteRandomFile(path, size, seed) wrote.
inline bool IsRandomFile(const std::string& path, std::uint64_t size, unsigned seed) {
    std::ifstream in(path, std::ios::binary);
    RandomStream stream(seed);
    std::vector<char> want(1 << 20), got(1 << 20);
    for (std::uint64_t done = 0; done < size; done += want.size()) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(want.size(), size - done));
        stream.Fill(want.data(), n);
        if (!in.read(got.data(), static_cast<std::streamsize>(n)) || std::memcmp(want.data(), got.data(), n) != 0)
            return false;
    }
    return in.peek() == std::char_traits<char>::eof();
}

// Every entry below root by its relative path: a folder as "/", a file as
// its bytes, or for more than 40 bytes its size and hash (so that a failure
// message stays short).
inline std::map<std::string, std::string> TreeOfFiles(const std::string& root) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const std::string path = std::filesystem::relative(entry.path(), root).string();
        if (entry.is_directory()) {
            tree[path] = "/";
            continue;
        }
        const std::string bytes = ReadLocal(entry.path().string());
        tree[path] = bytes.size() <= 40 ? bytes
                                        : std::to_string(bytes.size()) + " bytes #" +
                                              std::to_string(std::hash<std::string>()(bytes));
    }
    return tree;
}
