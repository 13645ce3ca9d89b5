// The one place where the program's byte strings (UTF-8) meet QString.
#pragma once

#include <string>

#include <QString>

inline QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string FromQString(const QString& s) { return s.toUtf8().toStdString(); }

// What a control shows of s, as bytes: s itself when it is UTF-8; otherwise
// every byte that is not part of a UTF-8 character becomes U+FFFD, so that
// text read back from the control is no longer s.
inline std::string AsShown(const std::string& s) { return FromQString(ToQString(s)); }

// The longest prefix of s whose UTF-8 form fits in maxBytes, never splitting
// a character.
QString CutToUtf8Bytes(const QString& s, std::size_t maxBytes);
