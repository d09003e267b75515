#include "queue/JobKeyIndex.h"

#include <QHashFunctions>

#include <utility>

namespace queue {

namespace {
constexpr std::size_t kInitialSlots = 64;
}  // namespace

std::uint64_t JobKeyIndex::HashOf(const JobKey& key) {
    const std::uint64_t h = qHashMulti(0, key.sourceDir, key.fileName, key.targetDir);
    return h == 0 ? 1 : h;  // 0 marks a vacant slot
}

std::size_t JobKeyIndex::Home(std::uint64_t hash) const {
    // Fibonacci hashing spreads whatever bits the string hash varies in.
    return static_cast<std::size_t>((hash * 0x9E3779B97F4A7C15ULL) >> shift_);
}

std::uint32_t JobKeyIndex::TagOf(std::uint64_t hash) {
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    return tag == 0 ? 1 : tag;
}

std::size_t JobKeyIndex::Probe(const JobKey& key, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    const std::uint32_t tag = TagOf(hash);
    for (std::size_t i = Home(hash);; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.tag == 0) return i;
        if (slot.tag == tag && keys_[slot.key].hash == hash && keys_[slot.key].key == key) return i;
    }
}

void JobKeyIndex::Rehash(std::size_t size) {
    slots_.assign(size, Slot{});
    shift_ = 64;
    for (std::size_t s = size; s > 1; s >>= 1)
        --shift_;
    const std::size_t mask = size - 1;
    for (std::size_t k = 0; k < keys_.size(); ++k) {
        const std::uint64_t hash = keys_[k].hash;
        if (hash == 0) continue;
        std::size_t i = Home(hash);
        while (slots_[i].tag != 0)
            i = (i + 1) & mask;
        slots_[i] = Slot{TagOf(hash), static_cast<std::uint32_t>(k)};
    }
}

void JobKeyIndex::Reserve(std::size_t keys) {
    // At most half full keeps the probe runs short.
    std::size_t size = slots_.empty() ? kInitialSlots : slots_.size();
    while (keys * 2 > size)
        size *= 2;
    if (size != slots_.size()) Rehash(size);
}

std::uint32_t JobKeyIndex::Add(const JobKey& key, std::int64_t count) {
    if (count <= 0) return 0;
    if ((used_ + 1) * 2 > slots_.size()) Rehash(slots_.empty() ? kInitialSlots : slots_.size() * 2);
    const std::uint64_t hash = HashOf(key);
    Slot& slot = slots_[Probe(key, hash)];
    if (slot.tag != 0) {
        keys_[slot.key].count += count;
        return slot.key;
    }
    std::uint32_t index;
    if (!freeKeys_.empty()) {
        index = freeKeys_.back();
        freeKeys_.pop_back();
        keys_[index] = Entry{key, hash, count};
    } else {
        index = static_cast<std::uint32_t>(keys_.size());
        keys_.push_back(Entry{key, hash, count});
    }
    slot = Slot{TagOf(hash), index};
    ++used_;
    return index;
}

void JobKeyIndex::Remove(const JobKey& key, std::int64_t count) {
    if (slots_.empty()) return;
    const std::size_t i = Probe(key, HashOf(key));
    if (slots_[i].tag != 0) RemoveAt(i, count);
}

void JobKeyIndex::RemoveNumber(std::uint32_t number, std::int64_t count) {
    if (slots_.empty() || number >= keys_.size()) return;
    const std::uint64_t hash = keys_[number].hash;
    if (hash == 0) return;  // a number no longer given out
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Home(hash); slots_[i].tag != 0; i = (i + 1) & mask) {
        if (slots_[i].key == number) {
            RemoveAt(i, count);
            return;
        }
    }
}

void JobKeyIndex::RemoveAt(std::size_t i, std::int64_t count) {
    const std::uint32_t number = slots_[i].key;
    Entry& entry = keys_[number];
    entry.count -= count;
    if (entry.count > 0) return;
    entry = Entry{};  // let go of the texts
    freeKeys_.push_back(number);
    EraseAt(i);
    --used_;
}

void JobKeyIndex::EraseAt(std::size_t hole) {
    // Linear probing without tombstones: entries after the hole whose home is
    // not between the hole and themselves move back into it.
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t j = (hole + 1) & mask; slots_[j].tag != 0; j = (j + 1) & mask) {
        const std::size_t home = Home(keys_[slots_[j].key].hash);
        const bool stays = hole <= j ? (hole < home && home <= j) : (hole < home || home <= j);
        if (stays) continue;
        slots_[hole] = slots_[j];
        hole = j;
    }
    slots_[hole] = Slot{};
}

bool JobKeyIndex::Contains(const JobKey& key) const {
    return Count(key) > 0;
}

std::int64_t JobKeyIndex::Count(const JobKey& key) const {
    if (slots_.empty()) return 0;
    const Slot& slot = slots_[Probe(key, HashOf(key))];
    return slot.tag == 0 ? 0 : keys_[slot.key].count;
}

void JobKeyIndex::Clear() {
    slots_.clear();
    keys_.clear();
    freeKeys_.clear();
    used_ = 0;
    shift_ = 64;
}

}  // namespace queue
