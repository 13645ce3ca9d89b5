#include "tree/TreeWalk.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>

#include <dirent.h>
#include <sys/stat.h>

#include "ftp/ListingLine.h"

namespace {

// Deeper trees are refused: a server listing folders without end (or a
// loop it hides) must not walk us into the ground.
constexpr int kMaxDepth = 64;

struct TLocalWalker {
    bool FollowLinks;
    TTreeWalk& Walk;
    std::vector<std::pair<dev_t, ino_t>> Open;  // folders being walked, root first

    void Folder(const std::string& Path, const std::string& Relative, int Depth) {
        DIR* dir = opendir(Path.c_str());
        if (!dir) {
            Walk.Issues.push_back({Relative, std::strerror(errno)});
            Walk.Complete = false;
            return;
        }
        std::vector<std::string> names;
        while (const dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string relative = Relative.empty() ? name : Relative + "/" + name;
            if (!IsSafeEntryName(name)) {
                Walk.Issues.push_back({relative, "unsafe name, left out"});
                continue;
            }
            const std::string path = Path + "/" + name;
            struct stat st {};
            if (lstat(path.c_str(), &st) != 0) {
                Walk.Issues.push_back({relative, std::strerror(errno)});
                continue;
            }
            TTreeEntry entry{relative};
            if (S_ISLNK(st.st_mode)) {
                if (!FollowLinks) {
                    entry.IsLink = true;
                    entry.Modified = st.st_mtime;
                    Walk.Entries.push_back(entry);
                    continue;
                }
                if (stat(path.c_str(), &st) != 0) {
                    Walk.Issues.push_back({relative, "link to nothing, left out"});
                    continue;
                }
            }
            entry.Modified = st.st_mtime;
            if (S_ISDIR(st.st_mode)) {
                const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
                if (std::find(Open.begin(), Open.end(), id) != Open.end()) {
                    Walk.Issues.push_back({relative, "link back into its own folder, not followed", false});
                    continue;
                }
                if (Depth + 1 > kMaxDepth) {
                    Walk.Issues.push_back({relative, "folders nested too deep"});
                    Walk.Complete = false;
                    continue;
                }
                entry.IsFolder = true;
                Walk.Entries.push_back(entry);
                Open.push_back(id);
                Folder(path, relative, Depth + 1);
                Open.pop_back();
            } else if (S_ISREG(st.st_mode)) {
                entry.Size = st.st_size;
                Walk.Entries.push_back(entry);
            } else if (FollowLinks) {
                Walk.Issues.push_back({relative, "not a file or folder, left out"});
            } else {
                entry.IsLink = true;  // a device or pipe: never written through
                Walk.Entries.push_back(entry);
            }
        }
    }
};

struct TRemoteWalker {
    TTreeRemote& Remote;
    TTreeWalk& Walk;
    std::time_t Now = std::time(nullptr);

    // False when the root could not be listed.
    bool Folder(const std::string& Path, const std::string& Relative, int Depth) {
        std::string text;
        if (!Remote.List(Path, text)) {
            if (Relative.empty()) return false;
            Walk.Issues.push_back({Relative, Remote.LastError()});
            Walk.Complete = false;
            return true;
        }
        std::vector<TTreeEntry> found;
        std::set<std::string> seen;
        for (const std::string& line : SplitListingLines(text)) {
            TListingRow row;
            if (!ParseListingLine(line, row)) continue;
            std::string name = row.Name;
            if (row.IsLink) name = name.substr(0, name.find(" -> "));
            const std::string relative = Relative.empty() ? name : Relative + "/" + name;
            if (!IsSafeEntryName(name)) {
                Walk.Issues.push_back({relative, "unsafe name, left out"});
                continue;
            }
            if (row.IsLink) {
                Walk.Issues.push_back({relative, "symbolic link, not followed", false});
                continue;
            }
            if (!seen.insert(name).second) continue;  // a listing naming it twice
            TTreeEntry entry{name};
            entry.IsFolder = row.IsFolder != 0;
            entry.Size = std::max<std::int64_t>(0, std::strtoll(row.Size.c_str(), nullptr, 10));
            entry.Modified = ListingTime(row.Modified, Now);
            found.push_back(entry);
        }
        std::sort(found.begin(), found.end(),
                  [](const TTreeEntry& a, const TTreeEntry& b) { return a.Path < b.Path; });
        for (TTreeEntry& entry : found) {
            const std::string name = entry.Path;
            entry.Path = Relative.empty() ? name : Relative + "/" + name;
            if (entry.IsFolder && Depth + 1 > kMaxDepth) {
                Walk.Issues.push_back({entry.Path, "folders nested too deep"});
                Walk.Complete = false;
                continue;
            }
            Walk.Entries.push_back(entry);
            if (entry.IsFolder) {
                if (!Remote.Usable()) break;
                Folder(JoinTreePath(Path, name), entry.Path, Depth + 1);
            }
        }
        return true;
    }
};

}  // namespace

bool IsSafeEntryName(const std::string& Name) {
    if (Name.empty() || Name == "." || Name == "..") return false;
    return std::none_of(Name.begin(), Name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == '/' || u < 32 || u == 127;
    });
}

std::string JoinTreePath(const std::string& Folder, const std::string& Name) {
    if (Folder.empty()) return Name;
    return Folder.back() == '/' ? Folder + Name : Folder + "/" + Name;
}

std::string NumberedName(const std::string& Path, int N) {
    const std::size_t slash = Path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = Path.rfind('.');
    // A leading dot (".profile") starts the name, not an extension.
    if (dot == std::string::npos || dot <= nameStart) dot = Path.size();
    return Path.substr(0, dot) + " (" + std::to_string(N) + ")" + Path.substr(dot);
}

std::time_t ListingTime(const std::string& Modified, std::time_t Now) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char month[4] = {};
    int day = 0, a = 0, b = 0, used = 0;
    std::tm tm{};
    if (std::sscanf(Modified.c_str(), "%3s %d %d:%d%n", month, &day, &a, &b, &used) == 4 &&
        used == static_cast<int>(Modified.size())) {
        tm.tm_hour = a;
        tm.tm_min = b;
    } else if (std::sscanf(Modified.c_str(), "%3s %d %d%n", month, &day, &a, &used) == 3 &&
               used == static_cast<int>(Modified.size())) {
        tm.tm_year = a - 1900;
    } else {
        return -1;
    }
    const auto* m = std::find_if(std::begin(months), std::end(months),
                                 [&](const char* n) { return std::strcmp(n, month) == 0; });
    if (m == std::end(months) || day < 1 || day > 31 || tm.tm_hour > 23 || tm.tm_min > 59) return -1;
    tm.tm_mon = static_cast<int>(m - std::begin(months));
    tm.tm_mday = day;
    const bool yearGiven = tm.tm_year != 0;
    if (!yearGiven) {
        std::tm now{};
        gmtime_r(&Now, &now);
        tm.tm_year = now.tm_year;
    }
    std::time_t t = timegm(&tm);
    // Without a year the date lies within the last year: a day ahead of now
    // (a clock a little off) means last year's.
    if (!yearGiven && t > Now + 86400) {
        --tm.tm_year;
        t = timegm(&tm);
    }
    return t;
}

TTreeWalk WalkLocal(const std::string& Root, bool FollowLinks) {
    TTreeWalk walk;
    struct stat st {};
    // The root is the folder the user chose, also through a link.
    if (stat(Root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        walk.RootFound = false;
        return walk;
    }
    TLocalWalker walker{FollowLinks, walk, {{st.st_dev, st.st_ino}}};
    walker.Folder(Root, "", 0);
    return walk;
}

TTreeWalk WalkRemote(TTreeRemote& Remote, const std::string& Root, bool RootMayBeMissing) {
    TTreeWalk walk;
    TRemoteWalker walker{Remote, walk};
    if (!walker.Folder(Root, "", 0)) {
        walk.RootFound = false;
        if (!RootMayBeMissing) {
            walk.Issues.push_back({"", Remote.LastError()});
            walk.Complete = false;
        }
    }
    if (!Remote.Usable()) walk.Complete = false;
    return walk;
}
