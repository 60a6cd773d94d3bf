// Code-page conversion through iconv (the C library's, on POSIX systems).
#include "codepage_p.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>

namespace tables::codepage::backend {

namespace {

std::string iconvName(int cp)
{
    switch (cp) {
    case 10000: return "MACINTOSH";
    case 10007: return "MAC-CYRILLIC";
    case 10029: return "MAC-CENTRALEUROPE";
    case 10006: return "MACGREEK";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    default:
        if (cp >= 28591 && cp <= 28606)
            return "ISO-8859-" + std::to_string(cp - 28590);
        return "CP" + std::to_string(cp);
    }
}

// iconv descriptors are costly to open; keep one per direction and code page. A descriptor
// keeps state while it converts, so one conversion at a time holds the lock.
class Converters {
public:
    iconv_t get(int cp, bool toUtf)
    {
        auto key = std::make_pair(cp, toUtf);
        auto it = map_.find(key);
        if (it != map_.end())
            return it->second;
        std::string name = iconvName(cp);
        iconv_t cd = toUtf ? iconv_open("UTF-8", name.c_str()) : iconv_open(name.c_str(), "UTF-8");
        map_[key] = cd;
        return cd;
    }
    std::mutex &mutex() { return mutex_; }
    ~Converters()
    {
        for (auto &[k, cd] : map_)
            if (cd != iconv_t(-1))
                iconv_close(cd);
    }

private:
    std::mutex mutex_;
    std::map<std::pair<int, bool>, iconv_t> map_;
};

Converters &converters()
{
    static Converters c;
    return c;
}

// Runs iconv over `in`; an input character that does not convert is replaced and skipped (one
// byte of a single-byte code page becomes `bad`; one whole character of UTF-8 input becomes
// its ASCII spelling, else `bad`).
void convert(iconv_t cd, std::string_view in, std::string_view bad, bool utf8Input, std::string &out)
{
    out.reserve(out.size() + in.size() * 2 + 4);
    char buf[1024];
    char *src = const_cast<char *>(in.data());
    size_t left = in.size();
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (left > 0) {
        char *dst = buf;
        size_t room = sizeof buf;
        size_t r = iconv(cd, &src, &left, &dst, &room);
        out.append(buf, size_t(dst - buf));
        if (r == size_t(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: skip the character that does not convert.
            size_t skip = 1;
            std::string_view replacement = bad;
            if (utf8Input) {
                std::string_view rest(src, left);
                const size_t len = utf8Length(rest, 0);
                skip = std::max<size_t>(1, len);
                replacement = substitute(rest, len, bad);
            }
            skip = std::min(skip, left);
            src += skip;
            left -= skip;
            out += replacement;
        }
    }
    char *dst = buf;
    size_t room = sizeof buf;
    iconv(cd, nullptr, nullptr, &dst, &room);
    out.append(buf, size_t(dst - buf));
}

bool run(std::string_view in, int codePage, bool toUtf, std::string_view bad, std::string &out)
{
    Converters &c = converters();
    std::lock_guard lock(c.mutex());
    iconv_t cd = c.get(codePage, toUtf);
    if (cd == iconv_t(-1))
        return false;
    convert(cd, in, bad, !toUtf, out);
    return true;
}

} // namespace

bool toUtf8(std::string_view bytes, int codePage, std::string_view bad, std::string &out)
{
    return run(bytes, codePage, true, bad, out);
}

bool fromUtf8(std::string_view utf8, int codePage, std::string_view bad, std::string &out)
{
    return run(utf8, codePage, false, bad, out);
}

int systemCodePage() { return 0; }

} // namespace tables::codepage::backend
