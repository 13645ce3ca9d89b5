// ~/.netrc: "machine HOST login USER password PASS" entries (and "default").
//
// A file that holds a password is used only when no one but its owner can
// read or write it; otherwise the lookup fails with Insecure.
#pragma once

#include <string>

struct TNetrcEntry {
    std::string Login;
    std::string Password;
    bool HasPassword = false;
};

enum class TNetrcResult { NotFound, Found, Insecure };

// Looks up Host (and, when Login is not empty, that login) in the file at
// Path. A missing or unreadable file is NotFound.
TNetrcResult LookupNetrc(const std::string& Path, const std::string& Host,
                         const std::string& Login, TNetrcEntry& Entry);

// $HOME/.netrc, or empty when HOME is not set.
std::string DefaultNetrcPath();
