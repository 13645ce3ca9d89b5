// The user's private key files: which exist, and whether one is protected
// by a passphrase; and the I/O on the SSH agent's socket.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Folder's id_ed25519, id_ecdsa and id_rsa that exist, in that order
// (Folder "" means ~/.ssh).
std::vector<std::string> ExistingKeyFiles(const std::string& Folder);
// The key file is encrypted: a PEM key with a DEK-Info or ENCRYPTED header,
// or an OpenSSH key whose cipher is not "none".
bool KeyFileEncrypted(const std::string& Path);

// A send or receive on the SSH agent's local socket Fd, for libssh2: the
// count, or -errno.
long AgentSend(int Fd, const void* Buffer, std::size_t Length);
long AgentReceive(int Fd, void* Buffer, std::size_t Length);
