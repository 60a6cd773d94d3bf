#pragma once
// Internals of the report file, for tests.
#include <QByteArray>
#include <QtGlobal>

namespace report::reportfile {

inline constexpr char magic[8] = {'Z', 'O', 'R', 'V', 'R', 'E', 'P', '\x1a'};
inline constexpr quint16 version = 1;
inline constexpr int headerSize = 24;
// Header fields (byte offsets).
inline constexpr int versionOffset = 8;
inline constexpr int bodyLengthOffset = 12;
inline constexpr int checksumOffset = 16;
// The largest file read, and the largest body length accepted.
inline constexpr qint64 maxFileSize = qint64(1) << 30;

// CRC-32 (the polynomial of zip and PNG).
quint32 crc32(const char *data, qsizetype size);

} // namespace report::reportfile
