// A folder tree as a map for comparing name for name and byte for byte.
#pragma once

#include <functional>
#include <map>
#include <string>

#include <sys/stat.h>

#include <dirent.h>
#include <gtest/gtest.h>

namespace cli {

// Every entry below Root by relative path: "<folder>" or FileValue of the
// file (its bytes, or a digest of large ones). Links are followed except one
// named "loop".
inline void Snapshot(const std::string& Root, const std::string& Relative,
                     const std::function<std::string(const std::string&)>& FileValue,
                     std::map<std::string, std::string>& Out) {
    DIR* dir = opendir((Root + (Relative.empty() ? "" : "/" + Relative)).c_str());
    ASSERT_NE(dir, nullptr) << Root << " " << Relative;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || name == "loop") continue;
        const std::string relative = Relative.empty() ? name : Relative + "/" + name;
        struct stat st {};
        ASSERT_EQ(stat((Root + "/" + relative).c_str(), &st), 0) << relative;
        if (S_ISDIR(st.st_mode)) {
            Out[relative] = "<folder>";
            Snapshot(Root, relative, FileValue, Out);
        } else {
            Out[relative] = FileValue(Root + "/" + relative);
        }
    }
    closedir(dir);
}

inline std::map<std::string, std::string> Snapshot(
    const std::string& Root, const std::function<std::string(const std::string&)>& FileValue) {
    std::map<std::string, std::string> out;
    Snapshot(Root, "", FileValue, out);
    return out;
}

}  // namespace cli
