#pragma once
// A dBASE IV production index (.mdx): up to 47 tags, each a B-tree of keys on one column.
//
// The file is a sequence of 512-byte pages; pointers are page numbers. Pages 0-3 hold the
// file header (version, table name, block size, tag count, page count) and the tag table
// (32-byte entries from byte 544: tag header page, name, key type). Each tag header and each
// node takes one block (normally 2 pages = 1024 bytes). A node holds a u32 key count, a u32
// we leave zero, then items of [u32 pointer][key]. In a leaf the pointers are record numbers
// and the pointer after the last item is 0; in a branch they are child pages, key j is the
// highest key under child j, and the pointer after the last item leads to the keys above.
// Equal keys are kept in ascending record order.
//
// The whole file is held in memory (a catalogue index is small); changes are written back by
// flush(). Damage is reported as Error; the table rebuilds the index from its records then.
#include "file.h"

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace tables {

class MdxIndex {
public:
    struct TagSpec {
        std::string name;        // tag name, upper case, up to 10 characters
        std::string expression;  // the column the key is made from
        char keyType = 'N';      // 'N' numeric, 'D' date, 'C' character
        int keyLength = 12;      // 12 for N, 8 for D, the column width for C
    };
    using Entry = std::pair<std::string, uint32_t>; // key bytes, 1-based record number

    // Opens an index file; throws Error when it cannot be read or its header is damaged.
    MdxIndex(const std::string &path, bool writable);

    // The bytes of a new index file with the given tags and, for each tag, its entries in
    // key order (an empty list makes an empty tree).
    static std::vector<uint8_t> image(const std::string &tableStem, uint8_t languageDriver,
                                      const std::vector<TagSpec> &tags,
                                      const std::vector<std::vector<Entry>> &entries);

    int tagCount() const { return int(tags_.size()); }
    const TagSpec &tag(int i) const { return tags_.at(size_t(i)).spec; }
    int findTag(const std::string &name) const; // case-insensitive; -1 when absent

    // Every entry of a tag in key order. Throws Error when the tree is damaged.
    std::vector<Entry> walk(int tag) const;
    // Record numbers whose key equals `key`, in index order, found by descending the tree.
    std::vector<uint32_t> seek(int tag, const std::string &key) const;
    // Adds a key for a record numbered above every record already in the tag.
    void insert(int tag, const std::string &key, uint32_t record);
    // Replaces the whole index with new trees (entries per tag in key order).
    void replace(const std::vector<std::vector<Entry>> &entries);
    void flush();
    void sync() { if (writable_) file_.sync(); }

    // -1, 0, 1 comparing two keys of a tag's type.
    static int compareKeys(char keyType, const std::string &a, const std::string &b);
    static int compareRaw(char keyType, const uint8_t *a, const uint8_t *b, size_t length);

private:
    struct Tag {
        TagSpec spec;
        uint32_t headerPage = 0;
        uint32_t itemLength = 0;
        uint32_t maxKeys = 0;
    };
    struct Split {
        bool happened = false;
        std::string separator;   // highest key of the left half
        uint32_t left = 0;       // the node that was split: now the lower half
        uint32_t right = 0;      // the new node with the upper half
    };

    uint8_t *block(uint32_t page);
    const uint8_t *block(uint32_t page) const;
    uint32_t root(const Tag &t) const;
    uint32_t allocate(Tag &t);
    void markDirty(uint32_t page);
    Split insertInto(Tag &t, uint32_t page, const std::string &key, uint32_t record, int depth);
    void load();
    [[noreturn]] void damaged(const std::string &what) const;

    File file_;
    bool writable_;
    std::vector<uint8_t> data_;
    uint32_t blockPages_ = 2;
    uint32_t blockBytes_ = 1024;
    std::vector<Tag> tags_;
    std::set<uint32_t> dirty_;
    bool rewriteAll_ = false;
    size_t originalSize_ = 0;
};

} // namespace tables
