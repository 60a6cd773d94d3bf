#include "memofile.h"

#include "bytes.h"
#include "error.h"

#include <cstring>
#include <vector>

namespace tables {

// Block n of a memo file starts at n * block size; block 0 is the header.
//   .dbt, dBASE III: block size 512. A memo is text up to the first 0x1A (dBASE writes two),
//     possibly over several blocks; no length is stored.
//   .dbt, dBASE IV/5/7: header bytes 20-21 = block size (LE, a multiple of 512). A memo block
//     starts FF FF 08 00, then u32 LE length counting these 8 bytes, then the data.
//   .fpt, FoxPro: header bytes 6-7 = block size (BE). A memo block starts with u32 BE type
//     (0 picture, 1 text, 2 object) and u32 BE data length, then the data.
//
// A memo file that holds no memo yet may be shorter than its header (writers leave out what
// would be zeros): it is not damaged. Missing header bytes read as zeros, which give the
// default block size; a memo asked for in such a file lies past its end, and only that
// memo's cell says so.
MemoFile::MemoFile(const std::string &path, Kind kind) : file_(path, File::ReadOnly), kind_(kind)
{
    size_ = file_.size();
    uint8_t h[32] = {};
    file_.readAt(h, sizeof h, 0);
    if (kind == Fpt) {
        blockSize_ = bytes::be16(h + 6);
        if (blockSize_ == 0)
            blockSize_ = 64; // FoxPro's default when the header leaves it out
    } else if (kind == DbtIV) {
        blockSize_ = bytes::le16(h + 20);
        if (blockSize_ == 0 || blockSize_ % 512 != 0)
            blockSize_ = 512;
    }
}

std::string MemoFile::read(uint64_t block, size_t limit, uint64_t *total) const
{
    const std::string &path = file_.path();
    if (block == 0 || block >= uint64_t(size_) / blockSize_ + (uint64_t(size_) % blockSize_ ? 1 : 0))
        failFile(path, "ссылка на блок " + std::to_string(block) + " за концом файла примечаний");
    const int64_t offset = int64_t(block * blockSize_);
    const int64_t avail = size_ - offset;
    std::string out;
    uint8_t h[8] = {};
    const bool haveHeader = avail >= 8 && file_.readAt(h, 8, offset) == 8;
    if (kind_ == Fpt) {
        if (!haveHeader)
            failFile(path, "повреждён блок примечания " + std::to_string(block));
        const uint64_t length = bytes::be32(h + 4);
        if (length > uint64_t(avail - 8))
            failFile(path, "длина примечания в блоке " + std::to_string(block) + " больше файла");
        if (total)
            *total = length;
        out.resize(size_t(std::min<uint64_t>(length, limit)));
        if (file_.readAt(out.data(), out.size(), offset + 8) < out.size())
            failFile(path, "повреждён блок примечания " + std::to_string(block));
        return out;
    }
    // A block with the dBASE IV header. Some writers use it in a dBASE III table and others
    // the dBASE III layout in a dBASE IV one, so both kinds look for it.
    if (haveHeader && h[0] == 0xFF && h[1] == 0xFF && h[2] == 0x08 && h[3] == 0x00) {
        const uint64_t length = bytes::le32(h + 4);
        if (length < 8 || length - 8 > uint64_t(avail - 8))
            failFile(path, "длина примечания в блоке " + std::to_string(block) + " больше файла");
        if (total)
            *total = length - 8;
        out.resize(size_t(std::min<uint64_t>(length - 8, limit)));
        if (file_.readAt(out.data(), out.size(), offset + 8) < out.size())
            failFile(path, "повреждён блок примечания " + std::to_string(block));
        return out;
    }
    // dBASE III: text up to the first 0x1A. Past the wanted bytes, the end is looked for a
    // little further only, so a memo without an end mark costs a bounded read.
    constexpr uint64_t kSearchPastLimit = 64 * 1024;
    std::vector<char> buf(512);
    int64_t pos = offset;
    uint64_t read = 0;
    while (pos < size_) {
        const size_t n = file_.readAt(buf.data(), buf.size(), pos);
        if (n == 0)
            break;
        const char *end = static_cast<const char *>(std::memchr(buf.data(), 0x1A, n));
        const size_t take = end ? size_t(end - buf.data()) : n;
        out.append(buf.data(), std::min(take, limit - std::min(limit, out.size())));
        read += take;
        if (end)
            break;
        pos += int64_t(n);
        if (read > kSearchPastLimit && read - kSearchPastLimit > limit)
            break;
    }
    if (total)
        *total = read;
    return out;
}

} // namespace tables
