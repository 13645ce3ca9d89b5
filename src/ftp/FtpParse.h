// Reading numbers and quoted names out of FTP reply lines.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// From Pos: skips blanks (TAB, LF, CR, space), an optional "+" or "-", then
// decimal digits; returns their value (0 without digits) and leaves Pos after
// the digits. A number too large for 64 bits saturates, so a hostile reply
// ("213 99999999999999999999") cannot overflow.
std::int64_t ParseInteger(std::string_view Text, std::size_t& Pos);

// From Pos: skips blanks; empty unless a double quote follows. Otherwise the
// characters up to the next lone double quote (a doubled quote stands for
// one) or the end of the text.
std::string ParseQuotedString(std::string_view Text, std::size_t Pos);

// The data port of a 227 reply: the two numbers after the four address
// numbers in "(h1,h2,h3,h4,p1,p2)". The address is not used: data always goes
// to the control connection's server. False unless all six numbers are there
// and the port is not 0.
bool PasvDataPort(const std::string& Reply, int& DataPort);
// The data port of a 229 reply (RFC 2428): "(<d><d><d>port<d>)" with one
// printable delimiter d. False unless the form is whole and the port is 1 to
// 65535.
bool EpsvDataPort(const std::string& Reply, int& DataPort);
// The data port of a 227 or a 229 reply.
bool PassiveDataPort(const std::string& Reply, int& DataPort);
