// SiteRecord: one saved site, 389 bytes, exactly as stored in "TARN25.DAT".
//
//   offset size field
//        0    1 name length (0 = free record)      1   30 name
//       31    1 host length                       32  255 host
//      287    1 user length                      288   25 user
//      313    1 comments length                  314   50 comments
//      364   25 password, one byte per position, "?" filling the rest
//
// Setters change only their own field's length byte and leading bytes: the
// bytes past the new length keep what the buffer held (the remains of an
// earlier site), as the file format has always had them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class TSiteRecord {
public:
    static constexpr std::size_t kSize = 389;
    static constexpr std::size_t kNameSize = 30;
    static constexpr std::size_t kHostSize = 255;
    static constexpr std::size_t kUserSize = 25;
    static constexpr std::size_t kCommentsSize = 50;
    static constexpr std::size_t kPasswordSize = 25;
    static constexpr char kPasswordFiller = '?';

    TSiteRecord() { MakeBlank(); }

    // The record written when the file is created: lengths 0, password all
    // "?", every other byte 0.
    void MakeBlank();
    // A deleted site: the four lengths 0 and the password all "?"; the other
    // bytes stay.
    void Clear();

    bool IsFree() const { return Bytes[kNameOffset] == 0; }

    // Field texts. A length byte larger than its field (a damaged file) reads
    // as the whole field, never past it.
    std::string Name() const { return Field(kNameOffset, kNameSize); }
    std::string Host() const { return Field(kHostOffset, kHostSize); }
    std::string User() const { return Field(kUserOffset, kUserSize); }
    std::string Comments() const { return Field(kCommentsOffset, kCommentsSize); }
    // The password positions without any "?".
    std::string Password() const;

    // Each stores the text cut to the field's size.
    void SetName(const std::string& s) { SetField(kNameOffset, kNameSize, s); }
    void SetHost(const std::string& s) { SetField(kHostOffset, kHostSize, s); }
    void SetUser(const std::string& s) { SetField(kUserOffset, kUserSize, s); }
    void SetComments(const std::string& s) { SetField(kCommentsOffset, kCommentsSize, s); }
    // The password's bytes followed by "?" up to 25 positions (cut to 25).
    void SetPassword(const std::string& s);

    std::array<std::uint8_t, kSize> Bytes{};

private:
    static constexpr std::size_t kNameOffset = 0;
    static constexpr std::size_t kHostOffset = 31;
    static constexpr std::size_t kUserOffset = 287;
    static constexpr std::size_t kCommentsOffset = 313;
    static constexpr std::size_t kPasswordOffset = 364;

    std::string Field(std::size_t offset, std::size_t size) const;
    void SetField(std::size_t offset, std::size_t size, const std::string& s);
};
