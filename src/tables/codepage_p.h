#pragma once
// The code-page conversion back end: iconv on POSIX systems (codepage_iconv.cpp), the Windows
// API on Windows (codepage_win32.cpp). Everything else about code pages is shared (codepage.cpp).
#include "codepage.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace tables::codepage {

// What a UTF-8 character of `len` bytes at the start of `rest` becomes when the target code
// page cannot hold it (len 0: a byte that starts no valid sequence): its ASCII spelling where
// it has one, else `bad`.
std::string_view substitute(std::string_view rest, size_t len, std::string_view bad);

namespace backend {

// Bytes in `codePage` (never UTF-8) appended to `out` as UTF-8; a byte that starts no character
// of the code page becomes `bad`. False, with `out` untouched, when the system cannot convert
// from this code page.
bool toUtf8(std::string_view bytes, int codePage, std::string_view bad, std::string &out);
// UTF-8 appended to `out` in `codePage` (never UTF-8); a character the code page lacks, or a
// byte that starts no UTF-8 sequence, becomes substitute(..., bad). False, with `out` untouched, when the
// system cannot convert to this code page.
bool fromUtf8(std::string_view utf8, int codePage, std::string_view bad, std::string &out);
// The system's own code page for text without a mark (Windows' ANSI code page), 0 when the
// system has none and the locale's language decides.
int systemCodePage();

} // namespace backend
} // namespace tables::codepage
