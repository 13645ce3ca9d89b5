// Byte-string helpers with the program's own rules: trimming removes codes 32
// and below, upper-casing maps only a to z.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
// Case-insensitive comparison for a-z only; other bytes compare as they are.
bool SameText(std::string_view a, std::string_view b);
std::string IntToStr(int64_t value);
// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
