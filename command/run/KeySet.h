// A set of path keys for runs of many thousands of files: the bytes of the
// keys kept in a pool and the keys in one open-addressed table, so that
// a key costs no allocation of its own and a look-up reads one slot and, only
// when the hashes agree, one key.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host {

// Texts kept in large blocks: each copy stays put as long as the pool lives,
// and costs no allocation of its own.
class TTextPool {
public:
    std::string_view Keep(std::string_view text);

private:
    std::vector<std::unique_ptr<char[]>> blocks_;
    std::size_t blockLeft_ = 0;
    char* blockNext_ = nullptr;
};

// A key with its hash, made once and handed on.
struct THashedKey {
    std::string_view text;
    std::uint64_t hash = 0;
};

class TKeySet {
public:
    TKeySet() = default;
    TKeySet(const TKeySet&) = delete;
    TKeySet& operator=(const TKeySet&) = delete;
    TKeySet(TKeySet&&) = default;
    TKeySet& operator=(TKeySet&&) = default;

    // Keys are hashed with this; a caller that asks about one key more than
    // once may hash it once and hand the hash on.
    static std::uint64_t Hash(std::string_view key);

    bool Contains(std::string_view key) const { return Contains(key, Hash(key)); }
    bool Contains(std::string_view key, std::uint64_t hash) const;
    // The set's own copy of key, which stays put as long as the set lives,
    // and whether it was new.
    std::string_view Insert(std::string_view key, bool* added = nullptr) { return Insert(key, Hash(key), added); }
    std::string_view Insert(std::string_view key, std::uint64_t hash, bool* added = nullptr) {
        return Add(key, hash, added, &keys_);
    }
    // Insert with the copy made in pool, which must outlive the set's use.
    std::string_view Insert(std::string_view key, std::uint64_t hash, bool* added, TTextPool& pool) {
        return Add(key, hash, added, &pool);
    }
    // A key whose bytes stay put elsewhere as long as the set is used (another
    // set's copy): not copied again.
    void InsertKept(std::string_view key, std::uint64_t hash) { Add(key, hash, nullptr, nullptr); }
    std::size_t Size() const { return count_; }
    // Room for this many keys without growing the table.
    void Reserve(std::size_t keys);
    // The same, made at the first insertion: a table that waits to be used
    // is then new in the cache when it is.
    void Expect(std::size_t keys) { expected_ = keys; }

private:
    // Sixteen bytes, so that a table of many keys stays small.
    struct Slot {
        const char* data = nullptr;  // null: the slot is free
        std::uint32_t size = 0;
        std::uint32_t hash = 0;  // the low half of the key's hash
    };

    std::string_view Add(std::string_view key, std::uint64_t hash, bool* added, TTextPool* pool);
    std::size_t Find(std::string_view key, std::uint64_t hash) const;  // the key's slot or the free one it would take
    void Grow(std::size_t slots);

    std::vector<Slot> slots_;  // a power of two, never more than three quarters full
    std::size_t count_ = 0;
    std::size_t expected_ = 0;
    TTextPool keys_;
};

// Path keys held apart by the folder part of each key (up to its last delimiter):
// a run meets its files folder by folder, so the few keys of the folder at
// hand are asked about together, not scattered over one table of the whole
// run. Whether a key is in the set is as for one TKeySet.
class TFolderKeySet {
public:
    bool Contains(std::string_view key, std::uint64_t hash) const;
    // As TKeySet's: the set's own copy of key, and whether it was new.
    std::string_view Insert(std::string_view key, bool* added = nullptr) { return Insert(key, TKeySet::Hash(key), added); }
    std::string_view Insert(std::string_view key, std::uint64_t hash, bool* added = nullptr) {
        return SetOf(key, true)->Insert(key, hash, added, keys_);
    }
    void InsertKept(std::string_view key, std::uint64_t hash) { SetOf(key, true)->InsertKept(key, hash); }
    // Room for this many keys of one folder (a key's text up to its last
    // delimiter), made when the first of them is inserted.
    void Expect(std::string_view folder, std::size_t keys);
    // Empties the set but keeps the copies of its keys where they are.
    void DropTables() {
        sets_.clear();
        last_ = sets_.end();
    }

private:
    using TSets = std::map<std::string, TKeySet, std::less<>>;
    TKeySet* SetOf(std::string_view key, bool make) const;

    mutable TSets sets_;
    mutable TSets::iterator last_ = sets_.end();  // the folder asked about last
    TTextPool keys_;  // the copies, for every folder's set
};

}  // namespace host
