// The full-size tree that tarnftp's mirror and the window's folder transfer
// are both tested with: 200 folders and 3,000 files (names with spaces,
// UTF-8 and a leading dash, every fourth file empty), a 200 MB file at the
// top and a link from a deep folder back to the top ("plain2/sub 4/loop"),
// and its snapshot by name, size and hash for comparing copies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "cli/TreeSnapshot.h"

namespace fullsize {

constexpr std::uint64_t kBigFile = 200ull * 1000 * 1000;
constexpr std::size_t kEntries = 3201;  // 200 folders, 3,001 files; the link is left out
constexpr const char* kLoop = "plain2/sub 4/loop";

// Size and FNV-1a of a file's bytes.
inline std::string Digest(const std::string& Path) {
    FILE* f = std::fopen(Path.c_str(), "rb");
    if (!f) return "<unreadable>";
    std::uint64_t hash = 1469598103934665603ull, size = 0;
    std::vector<unsigned char> block(1 << 20);
    for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), f)) > 0; size += n)
        for (std::size_t i = 0; i < n; ++i) hash = (hash ^ block[i]) * 1099511628211ull;
    std::fclose(f);
    return std::to_string(size) + ":" + std::to_string(hash);
}

inline std::map<std::string, std::string> Snapshot(const std::string& Root) { return cli::Snapshot(Root, Digest); }

// 20 folders of 9 folders each (200), 15 files in each (3,000). Callers
// check HasFatalFailure() after it.
inline void MakeTree(const std::string& Root) {
    int folderCount = 0, fileCount = 0;
    auto fill = [&](const std::string& Folder, int Seed) {
        ASSERT_EQ(mkdir((Root + "/" + Folder).c_str(), 0755), 0) << Folder;
        ++folderCount;
        for (int f = 0; f < 15; ++f) {
            const std::string n = std::to_string(f);
            const std::string names[] = {"file " + n + ".txt", "ünïcødé " + n + ".dat", "-lead " + n, "empty" + n};
            const std::size_t size = f % 4 == 3 ? 0 : static_cast<std::size_t>((Seed * 7919 + f * 977) % 9000);
            WriteLocal(Root + "/" + Folder + "/" + names[f % 4], RandomBytes(size, static_cast<unsigned>(Seed * 16 + f)));
            ++fileCount;
        }
    };
    for (int top = 0; top < 20; ++top) {
        const std::string names[] = {"dossier é " + std::to_string(top), "-dash" + std::to_string(top),
                                     "plain" + std::to_string(top), "with  two spaces " + std::to_string(top)};
        const std::string folder = names[top % 4];
        fill(folder, top * 10);
        for (int sub = 0; sub < 9; ++sub) fill(folder + "/sub " + std::to_string(sub), top * 10 + sub + 1);
    }
    ASSERT_EQ(folderCount, 200);
    ASSERT_EQ(fileCount, 3000);
    ASSERT_TRUE(WriteRandomFile(Root + "/big 200 MB.bin", kBigFile, 42));
    ASSERT_EQ(symlink("../..", (Root + "/" + kLoop).c_str()), 0);
}

}  // namespace fullsize
