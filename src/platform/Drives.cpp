#include "platform/Drives.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "platform/Folders.h"

namespace platform {

namespace {

// File systems that describe the running system rather than hold files.
const std::set<std::string> kPseudoTypes = {
    "autofs",  "binfmt_misc", "bpf",        "cgroup",   "cgroup2", "configfs", "debugfs", "devpts",
    "devtmpfs", "efivarfs",   "fusectl",    "hugetlbfs", "mqueue",  "nsfs",     "proc",    "pstore",
    "rpc_pipefs", "securityfs", "selinuxfs", "sysfs",   "tracefs",
};

// Folders whose mounts belong to the system, whatever their type.
const char* const kSystemFolders[] = {"/proc", "/sys", "/dev", "/run"};

bool InsideFolder(const std::string& path, const std::string& folder) {
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              path[folder.size()] == '/');
}

// The table writes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& field) {
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) &&
            octal(field[i + 3])) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

std::vector<std::string> RealMountPoints(const std::string& mountsTable) {
    std::set<std::string> points;
    std::istringstream lines(mountsTable);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string device, point, type;
        if (!(fields >> device >> point >> type)) continue;
        point = Unescape(point);
        if (point.empty() || point.front() != '/' || kPseudoTypes.count(type) != 0) continue;
        if (std::any_of(std::begin(kSystemFolders), std::end(kSystemFolders),
                        [&](const char* f) { return InsideFolder(point, f); }))
            continue;
        points.insert(point);
    }
    return {points.begin(), points.end()};
}

std::vector<std::string> MountedDrives() {
    std::ifstream in("/proc/self/mounts");
    const std::string table((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::string> drives;
    // Single files mounted over files (as containers do) are no drives.
    for (const std::string& point : RealMountPoints(table))
        if (DirectoryExists(point)) drives.push_back(point);
    if (std::find(drives.begin(), drives.end(), "/") == drives.end()) drives.insert(drives.begin(), "/");
    return drives;
}

std::string DriveOf(const std::string& path, const std::vector<std::string>& drives) {
    std::string best = "/";
    for (const std::string& drive : drives)
        if (InsideFolder(path, drive) && drive.size() > best.size()) best = drive;
    return best;
}

}  // namespace platform
