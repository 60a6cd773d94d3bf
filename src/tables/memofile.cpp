#include "memofile.h"

#include "bytes.h"
#include "error.h"

#include <vector>

namespace tables {

MemoFile::MemoFile(const std::string &path, Kind kind) : file_(path, File::ReadOnly), kind_(kind)
{
    size_ = file_.size();
    uint8_t h[32] = {};
    if (size_ < 32 || file_.readAt(h, sizeof h, 0) < sizeof h)
        failFile(path, "файл примечаний короче своего заголовка");
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
    if (block == 0 || block > uint64_t(size_) / blockSize_)
        failFile(path, "ссылка на блок " + std::to_string(block) + " за концом файла примечаний");
    int64_t offset = int64_t(block * blockSize_);
    int64_t avail = size_ - offset;
    std::string out;
    if (kind_ == Fpt) {
        uint8_t h[8];
        if (avail < 8 || file_.readAt(h, 8, offset) < 8)
            failFile(path, "повреждён блок примечания " + std::to_string(block));
        uint64_t length = bytes::be32(h + 4);
        if (length > uint64_t(avail - 8))
            failFile(path, "длина примечания в блоке " + std::to_string(block) + " больше файла");
        if (total)
            *total = length;
        out.resize(size_t(std::min<uint64_t>(length, limit)));
        file_.readAt(out.data(), out.size(), offset + 8);
        return out;
    }
    if (kind_ == DbtIV) {
        uint8_t h[8];
        if (avail >= 8 && file_.readAt(h, 8, offset) == 8 && h[0] == 0xFF && h[1] == 0xFF && h[2] == 0x08 &&
            h[3] == 0x00) {
            uint64_t length = bytes::le32(h + 4);
            if (length < 8 || length - 8 > uint64_t(avail - 8))
                failFile(path, "длина примечания в блоке " + std::to_string(block) + " больше файла");
            if (total)
                *total = length - 8;
            out.resize(size_t(std::min<uint64_t>(length - 8, limit)));
            file_.readAt(out.data(), out.size(), offset + 8);
            return out;
        }
        // Some writers use the dBASE III layout in a dBASE IV table: fall through.
    }
    // dBASE III: text up to the first 0x1A.
    std::vector<char> buf(512);
    int64_t pos = offset;
    uint64_t read = 0;
    while (pos < size_) {
        size_t n = file_.readAt(buf.data(), buf.size(), pos);
        if (n == 0)
            break;
        for (size_t i = 0; i < n; ++i) {
            if (buf[i] == 0x1A) {
                if (total)
                    *total = read + i;
                out.append(buf.data(), std::min(i, limit - std::min(limit, out.size())));
                return out;
            }
        }
        size_t room = limit - std::min(limit, out.size());
        out.append(buf.data(), std::min(n, room));
        read += n;
        pos += int64_t(n);
        if (out.size() >= limit && read > limit + 65536)
            break; // far past what is wanted: the end marker is missing or far away
    }
    if (total)
        *total = read;
    return out;
}

} // namespace tables
