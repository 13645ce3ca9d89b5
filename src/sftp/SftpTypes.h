// Private messages, timers and sizes of the SFTP engine's hidden window.
#pragma once

#include <climits>
#include <cstddef>

#include "platform/Messages.h"

// Runs the current step again, posted by a step that yields to the loop.
constexpr platform::UINT WM_SFTP_RESUME = platform::WM_USER + 10;
// Runs the current step again while a request runs, in case no socket event
// comes for bytes already read ahead.
constexpr platform::UINT_PTR SFTP_RESUME_TIMER = 3;
constexpr unsigned kSftpResumeTimerMs = 50;
// Bytes handed to libssh2 per write call: it keeps that much in flight as
// pipelined requests.
constexpr std::size_t kSftpTransferBlock = 2 * 1024 * 1024;
// Bytes asked of libssh2 per read call: it reads ahead a few times this much,
// buffered as it arrives, so this bounds the memory of a download.
constexpr std::size_t kSftpReadBlock = 512 * 1024;
// Bytes moved per step before the loop gets its turn again.
constexpr long long kSftpBytesPerTurn = 4 * 1024 * 1024;
// Receives finding nothing within one step before libssh2 is taken to be
// spinning (it normally gives up after one or two).
constexpr int kSftpMaxStalledReads = 100000;
// Cipher preference (all of them sound); AES with 128-bit keys costs the
// least on processors with AES instructions.
constexpr const char* kSftpCiphers = "aes128-ctr,aes192-ctr,aes256-ctr,aes256-cbc,aes128-cbc";
// The socket libssh2 is given for the SSH connection: no descriptor can
// have this number (the kernel's limit on descriptors is far below it).
constexpr int kSftpNoSocket = INT_MAX;
