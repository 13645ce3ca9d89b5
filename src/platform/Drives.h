// The drives of the drive box: the mounted file systems that hold the user's
// files. Pseudo file systems (/proc, /sys, cgroups, device nodes and the
// like) and mounts of single files are left out. A drive is named by its
// mount point, which is also its current folder.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Mount points of the real file systems, sorted, each listed once.
std::vector<std::string> MountedDrives();

// The drive holding path: the longest mount point that is a prefix of it
// ("/" when nothing else matches).
std::string DriveOf(const std::string& path, const std::vector<std::string>& drives);

// Parses a mounts table in the format of /proc/self/mounts (used by
// MountedDrives; separate so that the filtering can be tested on any table).
std::vector<std::string> RealMountPoints(const std::string& mountsTable);

}  // namespace platform
