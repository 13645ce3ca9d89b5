// The user's private key files: which exist, and whether one is protected
// by a passphrase.
#pragma once

#include <string>
#include <vector>

// Folder's id_ed25519, id_ecdsa and id_rsa that exist, in that order
// (Folder "" means ~/.ssh).
std::vector<std::string> ExistingKeyFiles(const std::string& Folder);
// The key file is encrypted: a PEM key with a DEK-Info or ENCRYPTED header,
// or an OpenSSH key whose cipher is not "none".
bool KeyFileEncrypted(const std::string& Path);
