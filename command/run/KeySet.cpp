// The key set.
#include "KeySet.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "System.h"

namespace host {

namespace {

constexpr std::size_t kFirstSlots = 64;
constexpr std::size_t kBlockSize = 64 * 1024;

// At most three keys to four slots: a look-up still ends within a few slots.
bool Roomy(std::size_t keys, std::size_t slots) { return keys * 4 <= slots * 3; }
// An empty key needs somewhere to point that is not null.
constexpr char kEmpty[1] = {};

}  // namespace

std::size_t TKeySet::Find(std::string_view key, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    const auto low = static_cast<std::uint32_t>(hash);
    for (std::size_t i = low & mask;; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.data == nullptr) return i;
        if (slot.hash == low && slot.size == key.size() && std::memcmp(slot.data, key.data(), key.size()) == 0) {
            return i;
        }
    }
}

std::uint64_t TKeySet::Hash(std::string_view key) {
    // Eight bytes a step, then a full mix: paths share long beginnings, and
    // the table takes its slot from the low bits.
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    constexpr unsigned kHalf = 32;
    std::uint64_t h = key.size() * kMultiplier;
    const auto step = [&h](std::uint64_t word) {
        h = (h ^ word) * kMultiplier;
        h ^= h >> kHalf;
    };
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= key.size(); i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, key.data() + i, sizeof word);
        step(word);
    }
    if (i < key.size()) {
        std::uint64_t word = 0;
        for (std::size_t k = 0; i + k < key.size(); ++k) {
            word |= static_cast<std::uint64_t>(static_cast<unsigned char>(key[i + k])) << (k * CHAR_BIT);
        }
        step(word);
    }
    constexpr unsigned kShift = 33;
    constexpr std::uint64_t kMix1 = 0xFF51AFD7ED558CCDull, kMix2 = 0xC4CEB9FE1A85EC53ull;
    h ^= h >> kShift;
    h *= kMix1;
    h ^= h >> kShift;
    h *= kMix2;
    h ^= h >> kShift;
    return h;
}

bool TKeySet::Contains(std::string_view key, std::uint64_t hash) const {
    if (count_ == 0) return false;
    return slots_[Find(key, hash)].data != nullptr;
}

void TKeySet::Grow(std::size_t slots) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(slots, Slot{});
    const std::size_t mask = slots - 1;
    for (const Slot& slot : old) {
        if (slot.data == nullptr) continue;
        std::size_t i = static_cast<std::size_t>(slot.hash) & mask;
        while (slots_[i].data != nullptr) i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

void TKeySet::Reserve(std::size_t keys) {
    std::size_t slots = std::max(slots_.size(), kFirstSlots);
    while (!Roomy(keys, slots)) slots *= 2;
    if (slots != slots_.size()) Grow(slots);
}

std::string_view TTextPool::Keep(std::string_view text) {
    if (text.empty()) return std::string_view(kEmpty, 0);
    if (text.size() > blockLeft_) {
        // A text longer than a block gets a block of its own.
        const std::size_t size = std::max(kBlockSize, text.size());
        blocks_.emplace_back(new char[size]);  // left uninitialised: only copies are ever read
        blockNext_ = blocks_.back().get();
        blockLeft_ = size;
    }
    char* kept = blockNext_;
    std::memcpy(kept, text.data(), text.size());
    blockNext_ += text.size();
    blockLeft_ -= text.size();
    return std::string_view(kept, text.size());
}

std::string_view TKeySet::Add(std::string_view key, std::uint64_t hash, bool* added, TTextPool* pool) {
    // Twice the slots when full (Reserve doubles until there is room), or the expected room at once.
    if (!Roomy(count_ + 1, slots_.size())) Reserve(std::max(count_ + 1, expected_));
    Slot& slot = slots_[Find(key, hash)];
    if (added != nullptr) *added = slot.data == nullptr;
    if (slot.data == nullptr) {
        const char* data = pool != nullptr ? pool->Keep(key).data() : key.empty() ? kEmpty : key.data();
        slot = Slot{data, static_cast<std::uint32_t>(key.size()), static_cast<std::uint32_t>(hash)};
        ++count_;
    }
    return std::string_view(slot.data, slot.size);
}

namespace {

// Keys are normal paths, so this build's delimiter alone ends their folders.
std::string_view FolderOfKey(std::string_view key) {
    const std::size_t delimiter = key.rfind(kPathDelimiter);
    return key.substr(0, delimiter == std::string_view::npos ? 0 : delimiter);
}

}  // namespace

TKeySet* TFolderKeySet::SetOf(std::string_view key, bool make) const {
    if (last_ != sets_.end()) {
        // Nearly always the folder of the key before: its name, one delimiter and no other.
        const std::string& folder = last_->first;
        if (key.size() > folder.size() && key[folder.size()] == kPathDelimiter &&
            key.compare(0, folder.size(), folder) == 0 &&
            key.find(kPathDelimiter, folder.size() + 1) == std::string_view::npos) {
            return &last_->second;
        }
    }
    const std::string_view folder = FolderOfKey(key);
    auto found = sets_.find(folder);
    if (found == sets_.end()) {
        if (!make) return nullptr;
        found = sets_.emplace(std::string(folder), TKeySet()).first;
    }
    last_ = found;
    return &found->second;
}

void TFolderKeySet::Expect(std::string_view folder, std::size_t keys) {
    auto found = sets_.find(folder);
    if (found == sets_.end()) found = sets_.emplace(std::string(folder), TKeySet()).first;
    found->second.Expect(keys);
}

bool TFolderKeySet::Contains(std::string_view key, std::uint64_t hash) const {
    const TKeySet* set = SetOf(key, false);
    return set != nullptr && set->Contains(key, hash);
}

}  // namespace host
