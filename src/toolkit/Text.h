// The one place where the program's byte strings (UTF-8) meet QString.
#pragma once

#include <string>

#include <QString>

inline QString ToQString(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string FromQString(const QString& s) { return s.toUtf8().toStdString(); }

// The longest prefix of s whose UTF-8 form fits in maxBytes, never splitting
// a character.
QString CutToUtf8Bytes(const QString& s, std::size_t maxBytes);
