#include "sites/SiteRecord.h"

#include <algorithm>

void TSiteRecord::MakeBlank() {
    Bytes.fill(0);
    std::fill(Bytes.begin() + kPasswordOffset, Bytes.end(), static_cast<std::uint8_t>(kPasswordFiller));
}

void TSiteRecord::Clear() {
    for (std::size_t offset : {kNameOffset, kHostOffset, kUserOffset, kCommentsOffset}) Bytes[offset] = 0;
    std::fill(Bytes.begin() + kPasswordOffset, Bytes.end(), static_cast<std::uint8_t>(kPasswordFiller));
}

std::string TSiteRecord::Field(std::size_t offset, std::size_t size) const {
    const std::size_t length = std::min<std::size_t>(Bytes[offset], size);
    return std::string(reinterpret_cast<const char*>(Bytes.data() + offset + 1), length);
}

void TSiteRecord::SetField(std::size_t offset, std::size_t size, const std::string& s) {
    const std::size_t length = std::min(s.size(), size);
    Bytes[offset] = static_cast<std::uint8_t>(length);
    std::copy_n(s.begin(), length, Bytes.begin() + static_cast<std::ptrdiff_t>(offset + 1));
}

std::string TSiteRecord::Password() const {
    std::string password;
    for (std::size_t i = kPasswordOffset; i < kSize; ++i)
        if (Bytes[i] != static_cast<std::uint8_t>(kPasswordFiller)) password += static_cast<char>(Bytes[i]);
    return password;
}

void TSiteRecord::SetPassword(const std::string& s) {
    for (std::size_t i = 0; i < kPasswordSize; ++i)
        Bytes[kPasswordOffset + i] = i < s.size() ? static_cast<std::uint8_t>(s[i]) : static_cast<std::uint8_t>(kPasswordFiller);
}
