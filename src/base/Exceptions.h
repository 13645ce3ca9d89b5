// The exception base class of the whole program. Components derive their own
// (ESocketException, FtpException); handlers that catch "the general exception
// class" catch this one.
#pragma once

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};
