#include "mdxindex.h"

#include "bytes.h"
#include "dbflayout.h"
#include "error.h"
#include "numkey.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace tables {

namespace {

constexpr uint32_t kPage = 512;
constexpr int kMaxDepth = 32;
constexpr int64_t kMaxFile = 512ll << 20;

// File header offsets.
constexpr size_t hVersion = 0, hDate = 1, hName = 4, hBlockPages = 20, hBlockBytes = 22, hProduction = 24,
                 hSlots = 25, hSlotLength = 26, hTagCount = 28, hLanguage = 31, hPages = 32, hUpdated = 44;
constexpr size_t kTagTable = 544, kTagEntry = 32, kTagRootFlag = 529;
// Tag header offsets.
constexpr size_t tRoot = 0, tPagesUsed = 4, tFormat = 8, tType = 9, tKeyLength = 12, tMaxKeys = 14,
                 tSecondary = 16, tItemLength = 18, tCounter = 20, tExpression = 24, tHasKeys = 246;


uint32_t itemLengthFor(int keyLength) { return uint32_t((keyLength + 4 + 3) / 4 * 4); }

} // namespace

int MdxIndex::compareKeys(char keyType, const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return a < b ? -1 : (a > b ? 1 : 0);
    return compareRaw(keyType, reinterpret_cast<const uint8_t *>(a.data()), reinterpret_cast<const uint8_t *>(b.data()),
                      a.size());
}

int MdxIndex::compareRaw(char keyType, const uint8_t *a, const uint8_t *b, size_t length)
{
    if (keyType == 'N' && length == 12) {
        numkey::Key ka, kb;
        std::memcpy(ka.data(), a, 12);
        std::memcpy(kb.data(), b, 12);
        return numkey::compare(ka, kb);
    }
    if (keyType == 'D' && length == 8) {
        double da = bytes::doubleFromBits(bytes::le64(a));
        double db = bytes::doubleFromBits(bytes::le64(b));
        return da < db ? -1 : (da > db ? 1 : 0);
    }
    int c = std::memcmp(a, b, length);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

MdxIndex::MdxIndex(const std::string &path, bool writable)
    : file_(path, writable ? File::ReadWrite : File::ReadOnly), writable_(writable)
{
    int64_t size = file_.size();
    if (size < 2048)
        damaged("файл индекса короче заголовка (" + std::to_string(size) + " байт)");
    if (size > kMaxFile)
        damaged("файл индекса слишком велик");
    data_.resize(size_t(size));
    if (file_.readAt(data_.data(), data_.size(), 0) < data_.size())
        damaged("не удалось прочитать файл индекса");
    originalSize_ = data_.size();
    load();
}

void MdxIndex::damaged(const std::string &what) const
{
    failFile(file_.path(), "повреждён индекс: " + what);
}

void MdxIndex::load()
{
    const uint8_t *h = data_.data();
    if (h[hVersion] != 2 && h[hVersion] != 3)
        damaged("неизвестная версия " + std::to_string(h[hVersion]));
    blockPages_ = bytes::le16(h + hBlockPages);
    blockBytes_ = bytes::le16(h + hBlockBytes);
    if (blockPages_ < 1 || blockPages_ > 64 || blockBytes_ != blockPages_ * kPage)
        damaged("неверный размер блока");
    uint32_t slots = h[hSlots], slotLength = h[hSlotLength];
    uint32_t count = bytes::le16(h + hTagCount);
    if (slotLength != kTagEntry || slots < 1 || slots > 48 || count > slots - 1)
        damaged("неверная таблица тегов");
    uint64_t pages = bytes::le32(h + hPages);
    if (pages * kPage > data_.size())
        damaged("заголовок указывает больше страниц, чем есть в файле");
    if (pages * kPage < data_.size()) {
        // Blocks written after the header was last updated (a writer stopped between the two):
        // the file's own length is the truth; the header says so again at the next flush.
        data_.resize((data_.size() + kPage - 1) / kPage * kPage, 0);
        bytes::putLe32(data_.data() + hPages, uint32_t(data_.size() / kPage));
        dirty_.insert(0);
        h = data_.data();
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *e = h + kTagTable + i * kTagEntry;
        Tag t;
        t.headerPage = bytes::le32(e);
        t.spec.name = asciiUpper(std::string(reinterpret_cast<const char *>(e + 4), 11).c_str());
        const uint8_t *th = block(t.headerPage);
        if (!th)
            damaged("заголовок тега " + t.spec.name + " за пределами файла");
        t.spec.keyType = char(th[tType]);
        t.spec.keyLength = bytes::le16(th + tKeyLength);
        t.itemLength = bytes::le16(th + tItemLength);
        t.spec.expression = std::string(reinterpret_cast<const char *>(th + tExpression), 220).c_str();
        while (!t.spec.expression.empty() && t.spec.expression.back() == ' ')
            t.spec.expression.pop_back();
        if (t.spec.keyType != 'N' && t.spec.keyType != 'D' && t.spec.keyType != 'C')
            damaged("неизвестный тип ключа тега " + t.spec.name);
        if (t.spec.keyLength < 1 || t.spec.keyLength > 100 || (t.spec.keyType == 'N' && t.spec.keyLength != 12) ||
            (t.spec.keyType == 'D' && t.spec.keyLength != 8))
            damaged("неверная длина ключа тега " + t.spec.name);
        if (t.itemLength < uint32_t(t.spec.keyLength) + 4 || t.itemLength > blockBytes_ - 12)
            damaged("неверная длина элемента тега " + t.spec.name);
        t.maxKeys = (blockBytes_ - 12) / t.itemLength;
        tags_.push_back(std::move(t));
    }
}

const uint8_t *MdxIndex::block(uint32_t page) const
{
    if (page < 4 || uint64_t(page) * kPage + blockBytes_ > data_.size())
        return nullptr;
    return data_.data() + size_t(page) * kPage;
}

uint8_t *MdxIndex::block(uint32_t page)
{
    return std::as_const(*this).block(page) ? data_.data() + size_t(page) * kPage : nullptr;
}

uint32_t MdxIndex::root(const Tag &t) const
{
    return bytes::le32(block(t.headerPage) + tRoot);
}

int MdxIndex::findTag(const std::string &name) const
{
    std::string u = asciiUpper(name);
    for (size_t i = 0; i < tags_.size(); ++i)
        if (tags_[i].spec.name == u)
            return int(i);
    return -1;
}

std::vector<MdxIndex::Entry> MdxIndex::walk(int tagIndex) const
{
    const Tag &t = tags_.at(size_t(tagIndex));
    std::vector<Entry> out;
    std::set<uint32_t> seen;
    int leafDepth = -1;
    // Iterative in-order walk with an explicit stack of (page, next child).
    struct Frame { uint32_t page; uint32_t next; int depth; };
    std::vector<Frame> stack;
    uint32_t r = root(t);
    if (r == 0)
        damaged("у тега " + t.spec.name + " нет корня");
    stack.push_back({r, 0, 1});
    while (!stack.empty()) {
        Frame &f = stack.back();
        const uint8_t *b = block(f.page);
        if (!b)
            damaged("ссылка на страницу " + std::to_string(f.page) + " за пределами файла");
        uint32_t k = bytes::le32(b);
        if (k > t.maxKeys)
            damaged("страница " + std::to_string(f.page) + ": ключей больше, чем помещается");
        uint32_t tail = bytes::le32(b + 8 + k * t.itemLength);
        if (f.next == 0) {
            if (!seen.insert(f.page).second)
                damaged("страница " + std::to_string(f.page) + " встречается дважды");
            if (f.depth > kMaxDepth)
                damaged("дерево слишком глубокое");
        }
        if (tail == 0) { // leaf
            if (leafDepth < 0)
                leafDepth = f.depth;
            else if (leafDepth != f.depth)
                damaged("листья на разной глубине");
            for (uint32_t j = 0; j < k; ++j) {
                const uint8_t *item = b + 8 + j * t.itemLength;
                out.emplace_back(std::string(reinterpret_cast<const char *>(item + 4), size_t(t.spec.keyLength)),
                                 bytes::le32(item));
            }
            stack.pop_back();
            continue;
        }
        if (f.next > k) {
            stack.pop_back();
            continue;
        }
        uint32_t child = bytes::le32(b + 8 + f.next * t.itemLength);
        int depth = f.depth + 1;
        ++f.next;
        stack.push_back({child, 0, depth});
    }
    return out;
}

std::vector<uint32_t> MdxIndex::seek(int tagIndex, const std::string &key) const
{
    // Descend to the first key >= `key`, then read on in order while keys are equal. The walk
    // keeps the path so that it can climb back to the next leaf.
    const Tag &t = tags_.at(size_t(tagIndex));
    std::vector<uint32_t> out;
    const size_t klen = size_t(t.spec.keyLength);
    if (key.size() != klen)
        return out;
    const uint8_t *want = reinterpret_cast<const uint8_t *>(key.data());
    struct Frame { uint32_t page; uint32_t pos; };
    std::vector<Frame> path;
    uint32_t page = root(t);
    for (int depth = 0;; ++depth) {
        const uint8_t *b = block(page);
        if (!b || depth > kMaxDepth)
            damaged("дерево тега " + t.spec.name + " повреждено");
        uint32_t k = std::min<uint32_t>(bytes::le32(b), t.maxKeys);
        uint32_t tail = bytes::le32(b + 8 + k * t.itemLength);
        uint32_t lo = 0, hi = k; // first item whose key is not below the one sought
        while (lo < hi) {
            uint32_t mid = (lo + hi) / 2;
            if (compareRaw(t.spec.keyType, b + 8 + mid * t.itemLength + 4, want, klen) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        const uint32_t j = lo;
        path.push_back({page, j});
        if (tail == 0)
            break;
        page = j < k ? bytes::le32(b + 8 + j * t.itemLength) : tail;
    }
    // Scan forward from the leaf position.
    while (!path.empty()) {
        Frame &leaf = path.back();
        const uint8_t *b = block(leaf.page);
        uint32_t k = std::min<uint32_t>(bytes::le32(b), t.maxKeys);
        for (; leaf.pos < k; ++leaf.pos) {
            const uint8_t *item = b + 8 + leaf.pos * t.itemLength;
            int c = compareRaw(t.spec.keyType, item + 4, want, klen);
            if (c > 0)
                return out;
            if (c == 0)
                out.push_back(bytes::le32(item));
        }
        // Leaf done: climb to the first ancestor with a child left, then go down its leftmost path.
        path.pop_back();
        while (!path.empty()) {
            Frame &up = path.back();
            const uint8_t *ub = block(up.page);
            uint32_t uk = std::min<uint32_t>(bytes::le32(ub), t.maxKeys);
            if (up.pos < uk) {
                ++up.pos; // the child after the one just finished
                break;
            }
            path.pop_back();
        }
        if (path.empty())
            break;
        uint32_t p = bytes::le32(block(path.back().page) + 8 + path.back().pos * t.itemLength);
        for (int depth = int(path.size()); depth <= kMaxDepth; ++depth) {
            const uint8_t *cb = block(p);
            if (!cb)
                damaged("дерево тега " + t.spec.name + " повреждено");
            uint32_t ck = std::min<uint32_t>(bytes::le32(cb), t.maxKeys);
            uint32_t ctail = bytes::le32(cb + 8 + ck * t.itemLength);
            path.push_back({p, 0});
            if (ctail == 0)
                break;
            p = bytes::le32(cb + 8);
            if (ck == 0)
                p = ctail;
        }
    }
    return out;
}

void MdxIndex::markDirty(uint32_t page)
{
    for (uint32_t i = 0; i < blockPages_; ++i)
        dirty_.insert(page + i);
}

uint32_t MdxIndex::allocate(Tag &t)
{
    // New blocks go after everything the file holds, whatever its header counts.
    uint64_t used = (data_.size() + kPage - 1) / kPage;
    uint64_t page = std::max<uint64_t>(bytes::le32(data_.data() + hPages), used);
    if ((page + blockPages_) * kPage > uint64_t(kMaxFile))
        damaged("файл индекса слишком велик");
    data_.resize(size_t(page + blockPages_) * kPage, 0);
    bytes::putLe32(data_.data() + hPages, uint32_t(page + blockPages_));
    markDirty(uint32_t(page));
    dirty_.insert(0);
    if (uint8_t *th = block(t.headerPage)) {
        bytes::putLe32(th + tPagesUsed, bytes::le32(th + tPagesUsed) + blockPages_);
        markDirty(t.headerPage);
    }
    return uint32_t(page);
}

MdxIndex::Split MdxIndex::insertInto(Tag &t, uint32_t page, const std::string &key, uint32_t record, int depth)
{
    if (depth > kMaxDepth)
        damaged("дерево слишком глубокое");
    uint8_t *b = block(page);
    if (!b)
        damaged("ссылка на страницу " + std::to_string(page) + " за пределами файла");
    const uint32_t item = t.itemLength;
    const size_t klen = size_t(t.spec.keyLength);
    uint32_t k = bytes::le32(b);
    if (k > t.maxKeys)
        damaged("страница " + std::to_string(page) + ": ключей больше, чем помещается");
    uint32_t tail = bytes::le32(b + 8 + k * item);
    auto keyAt = [&](const uint8_t *node, uint32_t j) {
        return std::string(reinterpret_cast<const char *>(node + 8 + j * item + 4), klen);
    };
    // Equal keys stay in record order.
    // First item whose key is above the new one (binary search: the items are in order).
    const uint8_t *want = reinterpret_cast<const uint8_t *>(key.data());
    uint32_t lo = 0, hi = k;
    while (lo < hi) {
        uint32_t mid = (lo + hi) / 2;
        if (compareRaw(t.spec.keyType, b + 8 + mid * item + 4, want, klen) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    const uint32_t j = lo;

    struct Item { uint32_t ptr; std::string key; };
    std::vector<Item> items;
    uint32_t trailing = 0;
    if (tail == 0) {
        if (k < t.maxKeys) {
            std::memmove(b + 8 + (j + 1) * item, b + 8 + j * item, (k - j) * item);
            uint8_t *it = b + 8 + j * item;
            std::memset(it, 0, item);
            bytes::putLe32(it, record);
            std::memcpy(it + 4, key.data(), klen);
            bytes::putLe32(b, k + 1);
            bytes::putLe32(b + 8 + (k + 1) * item, 0);
            markDirty(page);
            return {};
        }
        for (uint32_t i = 0; i < k; ++i)
            items.push_back({bytes::le32(b + 8 + i * item), keyAt(b, i)});
        items.insert(items.begin() + j, Item{record, key});
    } else {
        uint32_t child = j < k ? bytes::le32(b + 8 + j * item) : tail;
        Split s = insertInto(t, child, key, record, depth + 1);
        b = block(page); // the file image may have grown
        if (!s.happened)
            return {};
        // The slot that led to the split child now leads to its upper half; the lower half
        // goes in just before it with its highest key.
        if (j < k)
            bytes::putLe32(b + 8 + j * item, s.right);
        else
            bytes::putLe32(b + 8 + k * item, s.right);
        if (k < t.maxKeys) {
            std::memmove(b + 8 + (j + 1) * item, b + 8 + j * item, (k - j) * item + 4);
            uint8_t *it = b + 8 + j * item;
            std::memset(it, 0, item);
            bytes::putLe32(it, s.left);
            std::memcpy(it + 4, s.separator.data(), klen);
            bytes::putLe32(b, k + 1);
            markDirty(page);
            return {};
        }
        for (uint32_t i = 0; i < k; ++i)
            items.push_back({bytes::le32(b + 8 + i * item), keyAt(b, i)});
        trailing = bytes::le32(b + 8 + k * item);
        items.insert(items.begin() + j, Item{s.left, s.separator});
    }

    // Split this node: the lower half stays here, the upper half moves to a new node.
    uint32_t right = allocate(t);
    b = block(page);
    uint8_t *rb = block(right);
    Split out;
    out.happened = true;
    out.left = page;
    out.right = right;
    auto writeNode = [&](uint8_t *node, const std::vector<Item> &src, size_t from, size_t to, uint32_t tailPtr) {
        std::memset(node, 0, blockBytes_);
        uint32_t n = uint32_t(to - from);
        bytes::putLe32(node, n);
        for (size_t i = from; i < to; ++i) {
            uint8_t *it = node + 8 + (i - from) * item;
            bytes::putLe32(it, src[i].ptr);
            std::memcpy(it + 4, src[i].key.data(), klen);
        }
        bytes::putLe32(node + 8 + n * item, tailPtr);
    };
    size_t total = items.size();
    // Keys mostly arrive in ascending order (appended records): when the new item is the last
    // one, keep the lower node full instead of halving it, so the tree stays dense.
    const bool atEnd = j == k;
    if (tail == 0) {
        size_t h = atEnd ? total - 1 : total / 2;
        out.separator = items[h - 1].key;
        writeNode(b, items, 0, h, 0);
        writeNode(rb, items, h, total, 0);
    } else {
        // Branch: item h goes up; its child becomes the trailing pointer of the lower half.
        size_t h = atEnd ? total - 2 : total / 2;
        out.separator = items[h].key;
        writeNode(b, items, 0, h, items[h].ptr);
        writeNode(rb, items, h + 1, total, trailing);
    }
    markDirty(page);
    markDirty(right);
    return out;
}

void MdxIndex::insert(int tagIndex, const std::string &key, uint32_t record)
{
    if (!writable_)
        failFile(file_.path(), "индекс открыт только для чтения");
    Tag &t = tags_.at(size_t(tagIndex));
    std::string k = key;
    k.resize(size_t(t.spec.keyLength), t.spec.keyType == 'C' ? ' ' : '\0');
    uint32_t r = root(t);
    Split s = insertInto(t, r, k, record, 1);
    if (s.happened) {
        uint32_t newRoot = allocate(t);
        uint8_t *b = block(newRoot);
        std::memset(b, 0, blockBytes_);
        bytes::putLe32(b, 1);
        bytes::putLe32(b + 8, s.left);
        std::memcpy(b + 12, s.separator.data(), s.separator.size());
        bytes::putLe32(b + 8 + t.itemLength, s.right);
        uint8_t *th = block(t.headerPage);
        bytes::putLe32(th + tRoot, newRoot);
        markDirty(t.headerPage);
    }
    uint8_t *th = block(t.headerPage);
    if (th[tHasKeys] != 1) {
        th[tHasKeys] = 1;
        markDirty(t.headerPage);
    }
}

std::vector<uint8_t> MdxIndex::image(const std::string &tableStem, uint8_t languageDriver,
                                     const std::vector<TagSpec> &tags,
                                     const std::vector<std::vector<Entry>> &entries)
{
    const uint32_t blockPages = 2, blockBytes = blockPages * kPage;
    std::vector<uint8_t> d(4 * kPage, 0);
    d[hVersion] = 2;
    dbflayout::putDateStamp(d.data() + hDate);
    std::string stem = asciiUpper(tableStem).substr(0, 15);
    std::memcpy(d.data() + hName, stem.data(), stem.size());
    bytes::putLe16(d.data() + hBlockPages, uint16_t(blockPages));
    bytes::putLe16(d.data() + hBlockBytes, uint16_t(blockBytes));
    d[hProduction] = 1;
    d[hSlots] = 48;
    d[hSlotLength] = 32;
    bytes::putLe16(d.data() + hTagCount, uint16_t(tags.size()));
    d[hLanguage] = languageDriver;
    dbflayout::putDateStamp(d.data() + hUpdated);
    d[kTagRootFlag] = 1;

    auto newBlock = [&]() {
        uint32_t page = uint32_t(d.size() / kPage);
        d.resize(d.size() + blockBytes, 0);
        return page;
    };
    for (size_t ti = 0; ti < tags.size(); ++ti) {
        const TagSpec &s = tags[ti];
        const uint32_t item = itemLengthFor(s.keyLength);
        const uint32_t maxKeys = (blockBytes - 12) / item;
        uint32_t header = newBlock();
        uint32_t nodes = 0;
        // Leaves, then one level of branches above the other until a single root is left.
        struct Node { uint32_t page; std::string high; };
        std::vector<Node> level;
        const std::vector<Entry> &es = ti < entries.size() ? entries[ti] : std::vector<Entry>{};
        size_t i = 0;
        do {
            uint32_t page = newBlock();
            ++nodes;
            uint8_t *b = d.data() + size_t(page) * kPage;
            uint32_t n = uint32_t(std::min<size_t>(maxKeys, es.size() - i));
            bytes::putLe32(b, n);
            for (uint32_t j = 0; j < n; ++j) {
                uint8_t *it = b + 8 + j * item;
                bytes::putLe32(it, es[i + j].second);
                std::string key = es[i + j].first;
                key.resize(size_t(s.keyLength), s.keyType == 'C' ? ' ' : '\0');
                std::memcpy(it + 4, key.data(), key.size());
            }
            level.push_back({page, n ? es[i + n - 1].first : std::string()});
            i += n;
        } while (i < es.size());
        while (level.size() > 1) {
            std::vector<Node> up;
            size_t c = 0;
            while (c < level.size()) {
                // A branch holds maxKeys keyed children and one trailing child.
                size_t take = std::min<size_t>(maxKeys + 1, level.size() - c);
                if (level.size() - c - take == 1)
                    --take; // never leave a lone child for the next branch
                uint32_t page = newBlock();
                ++nodes;
                uint8_t *b = d.data() + size_t(page) * kPage;
                bytes::putLe32(b, uint32_t(take - 1));
                for (size_t j = 0; j + 1 < take; ++j) {
                    uint8_t *it = b + 8 + j * item;
                    bytes::putLe32(it, level[c + j].page);
                    std::string key = level[c + j].high;
                    key.resize(size_t(s.keyLength), s.keyType == 'C' ? ' ' : '\0');
                    std::memcpy(it + 4, key.data(), key.size());
                }
                bytes::putLe32(b + 8 + (take - 1) * item, level[c + take - 1].page);
                up.push_back({page, level[c + take - 1].high});
                c += take;
            }
            level = std::move(up);
        }
        uint8_t *th = d.data() + size_t(header) * kPage;
        bytes::putLe32(th + tRoot, level.front().page);
        bytes::putLe32(th + tPagesUsed, nodes * blockPages);
        th[tFormat] = 0x10;
        th[tType] = uint8_t(s.keyType);
        bytes::putLe16(th + tKeyLength, uint16_t(s.keyLength));
        bytes::putLe16(th + tMaxKeys, uint16_t(maxKeys));
        bytes::putLe16(th + tSecondary, s.keyType == 'D' ? 1 : 0);
        bytes::putLe16(th + tItemLength, uint16_t(item));
        th[tCounter] = 1;
        std::string expr = asciiUpper(s.expression).substr(0, 220);
        std::memcpy(th + tExpression, expr.data(), expr.size());
        th[tHasKeys] = es.empty() ? 0 : 1;

        uint8_t *e = d.data() + kTagTable + ti * kTagEntry;
        bytes::putLe32(e, header);
        std::string name = asciiUpper(s.name).substr(0, 10);
        std::memcpy(e + 4, name.data(), name.size());
        e[15] = 0x10;
        e[19] = 0x02;
        e[20] = uint8_t(s.keyType);
    }
    bytes::putLe32(d.data() + hPages, uint32_t(d.size() / kPage));
    return d;
}

void MdxIndex::replace(const std::vector<std::vector<Entry>> &entries)
{
    std::vector<TagSpec> specs;
    for (const Tag &t : tags_)
        specs.push_back(t.spec);
    std::string stem(reinterpret_cast<const char *>(data_.data() + hName), 16);
    stem = stem.c_str();
    uint8_t ldid = data_[hLanguage];
    data_ = image(stem, ldid, specs, entries);
    tags_.clear();
    load();
    rewriteAll_ = true;
    dirty_.clear();
}

void MdxIndex::flush()
{
    if (!writable_)
        return;
    if (rewriteAll_) {
        file_.writeAt(data_.data(), data_.size(), 0);
        if (data_.size() < originalSize_)
            file_.truncate(int64_t(data_.size()));
        originalSize_ = data_.size();
        rewriteAll_ = false;
        dirty_.clear();
        return;
    }
    if (dirty_.empty())
        return;
    dbflayout::putDateStamp(data_.data() + hUpdated);
    dirty_.insert(0);
    // Nodes first, the file header (page count) last; runs of pages in one write each.
    auto it = dirty_.begin();
    ++it; // page 0 goes last
    while (it != dirty_.end()) {
        uint32_t first = *it, last = first;
        ++it;
        while (it != dirty_.end() && *it == last + 1)
            last = *it++;
        file_.writeAt(data_.data() + size_t(first) * kPage, size_t(last - first + 1) * kPage, int64_t(first) * kPage);
    }
    file_.writeAt(data_.data(), kPage, 0);
    originalSize_ = std::max(originalSize_, data_.size());
    dirty_.clear();
}

} // namespace tables
