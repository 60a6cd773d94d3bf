// Code-page conversion through the Windows API (MultiByteToWideChar, WideCharToMultiByte).
// A single-byte code page is read into a table once, both ways, so that a value converts
// without a system call per character; double-byte code pages go character by character.
#include "codepage_p.h"
#include "transliterate.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace tables::codepage::backend {

namespace {

void appendUtf8(std::string &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

void appendUtf16(std::string &out, const wchar_t *w, int n)
{
    for (int k = 0; k < n; ++k) {
        char32_t c = char32_t(w[k]);
        if (c >= 0xD800 && c < 0xDC00 && k + 1 < n && char32_t(w[k + 1]) >= 0xDC00 && char32_t(w[k + 1]) < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (char32_t(w[++k]) - 0xDC00);
        appendUtf8(out, c);
    }
}

// Windows' ANSI code pages name their unassigned bytes by the C1 control with the same number;
// those are no characters of the code page. (ISO 8859 pages do hold the C1 controls.)
bool unassigned(int codePage, unsigned char byte, wchar_t w)
{
    const bool ansi = codePage == 874 || (codePage >= 1250 && codePage <= 1258);
    return ansi && byte >= 0x80 && w >= 0x80 && w < 0xA0;
}

// A code page as the system reads it. Single-byte pages are kept as two small tables (a few
// kilobytes in all, allocated once per code page).
struct Page {
    struct Back {
        char16_t code;
        char byte;
        bool operator<(const Back &o) const { return code < o.code; }
    };
    bool singleByte = false;
    char16_t forward[256] = {}; // byte -> character, 0 when unassigned (byte 0 is U+0000 itself)
    Back backward[256] = {};    // by character, the first `backwardCount` entries
    int backwardCount = 0;

    int byteOf(char32_t c) const
    {
        if (c > 0xFFFF)
            return -1;
        const Back key{char16_t(c), 0};
        const Back *end = backward + backwardCount;
        const Back *it = std::lower_bound(backward, end, key);
        return it != end && it->code == c ? static_cast<unsigned char>(it->byte) : -1;
    }
};

// Code pages the system knows, read once each; nullptr for one it does not know.
const Page *page(int codePage)
{
    static std::mutex mutex;
    static std::map<int, std::unique_ptr<Page>> pages;
    std::lock_guard lock(mutex);
    auto it = pages.find(codePage);
    if (it != pages.end())
        return it->second.get();
    std::unique_ptr<Page> p;
    CPINFO info{};
    if (IsValidCodePage(UINT(codePage)) && GetCPInfo(UINT(codePage), &info)) {
        p = std::make_unique<Page>();
        p->singleByte = info.MaxCharSize == 1;
        if (p->singleByte) {
            for (int b = 0; b < 256; ++b) {
                const char byte = char(b);
                wchar_t w[2];
                const int n = MultiByteToWideChar(UINT(codePage), MB_ERR_INVALID_CHARS, &byte, 1, w, 2);
                if (n != 1 || (b != 0 && w[0] == 0) || unassigned(codePage, static_cast<unsigned char>(b), w[0]))
                    continue;
                p->forward[b] = char16_t(w[0]);
                p->backward[p->backwardCount++] = {char16_t(w[0]), byte};
            }
            // The first byte for a character wins, should two bytes give the same one.
            std::stable_sort(p->backward, p->backward + p->backwardCount);
        }
    }
    return pages.emplace(codePage, std::move(p)).first->second.get();
}

} // namespace

bool toUtf8(std::string_view bytes, int codePage, std::string_view bad, std::string &out)
{
    const Page *p = page(codePage);
    if (!p)
        return false;
    out.reserve(out.size() + bytes.size() * 2);
    if (p->singleByte) {
        for (unsigned char b : bytes) {
            if (p->forward[b] == 0 && b != 0)
                out += bad;
            else
                appendUtf8(out, p->forward[b]);
        }
        return true;
    }
    for (size_t i = 0; i < bytes.size();) {
        const size_t len = IsDBCSLeadByteEx(UINT(codePage), BYTE(bytes[i])) ? 2 : 1;
        wchar_t w[2];
        const int n = i + len <= bytes.size()
                          ? MultiByteToWideChar(UINT(codePage), MB_ERR_INVALID_CHARS, bytes.data() + i, int(len), w, 2)
                          : 0;
        if (n <= 0) {
            out += bad; // a byte that starts no character: skip it alone
            ++i;
            continue;
        }
        appendUtf16(out, w, n);
        i += len;
    }
    return true;
}

bool fromUtf8(std::string_view utf8, int codePage, std::string_view bad, std::string &out)
{
    const Page *p = page(codePage);
    if (!p)
        return false;
    out.reserve(out.size() + utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const std::string_view rest = utf8.substr(i);
        const size_t len = utf8Length(utf8, i);
        if (len == 0) {
            out += substitute(rest, 0, bad);
            ++i;
            continue;
        }
        const char32_t c = decodeUtf8(rest, len);
        i += len;
        if (p->singleByte) {
            const int b = p->byteOf(c);
            if (b < 0)
                out += substitute(rest, len, bad);
            else
                out += char(b);
            continue;
        }
        wchar_t w[2];
        int wn = 1;
        if (c >= 0x10000) {
            w[0] = wchar_t(0xD800 + ((c - 0x10000) >> 10));
            w[1] = wchar_t(0xDC00 + ((c - 0x10000) & 0x3FF));
            wn = 2;
        } else {
            w[0] = wchar_t(c);
        }
        char buf[8];
        BOOL usedDefault = FALSE;
        const int n = WideCharToMultiByte(UINT(codePage), WC_NO_BEST_FIT_CHARS, w, wn, buf, sizeof buf, nullptr, &usedDefault);
        if (n <= 0 || usedDefault)
            out += substitute(rest, len, bad);
        else
            out.append(buf, size_t(n));
    }
    return true;
}

int systemCodePage()
{
    const UINT acp = GetACP();
    return acp == 874 || (acp >= 1250 && acp <= 1258) ? int(acp) : 0;
}

} // namespace tables::codepage::backend
