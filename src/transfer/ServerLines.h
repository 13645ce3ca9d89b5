// The per-server files of the transfer window's own memories (trusted
// certificates, passive mode that worked): one line per server, beginning
// "host:port". Reading them and naming a server are shared here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ftp/FtpUrl.h"

// How the files name a server: "host:port", the host in lower case.
std::string ServerKey(const std::string& host, int port);
// The server a connect to address reaches: its port, or the scheme's (21,
// 990 for implicit TLS). The port has been checked to be a number from 1 to
// 65535.
std::string ServerKey(const TFtpUrl& address);

// The "host:port" a line begins with (up to a space or its end), in the
// form ServerKey gives; empty when the line begins otherwise.
std::string ServerOfLine(const std::string& line);

// The lines of the file at path; none when it does not exist, nothing
// (errno set) when it cannot be read.
std::optional<std::vector<std::string>> ReadServerLines(const std::string& path);
// The lines of the file at path before it is written anew; nothing, with the
// reason in why, when there is no path or the file cannot be read.
std::optional<std::vector<std::string>> ServerLinesToRewrite(const std::string& path, std::string& why);
