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

std::size_t JobKeyIndex::Probe(const JobKey& key, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = Home(hash);; i = (i + 1) & mask) {
        const Slot& slot = slots_[i];
        if (slot.hash == 0) return i;
        if (slot.hash == hash && keys_[slot.key] == key) return i;
    }
}

void JobKeyIndex::Grow() {
    std::vector<Slot> old = std::move(slots_);
    const std::size_t size = old.empty() ? kInitialSlots : old.size() * 2;
    slots_.assign(size, Slot{});
    shift_ = 64;
    for (std::size_t s = size; s > 1; s >>= 1)
        --shift_;
    const std::size_t mask = size - 1;
    for (const Slot& slot : old) {
        if (slot.hash == 0) continue;
        std::size_t i = Home(slot.hash);
        while (slots_[i].hash != 0)
            i = (i + 1) & mask;
        slots_[i] = slot;
    }
}

void JobKeyIndex::Add(const JobKey& key, std::int64_t count) {
    if (count <= 0) return;
    // At most half full keeps the probe runs short.
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    const std::uint64_t hash = HashOf(key);
    Slot& slot = slots_[Probe(key, hash)];
    if (slot.hash != 0) {
        slot.count += count;
        return;
    }
    std::uint32_t index;
    if (!freeKeys_.empty()) {
        index = freeKeys_.back();
        freeKeys_.pop_back();
        keys_[index] = key;
    } else {
        index = static_cast<std::uint32_t>(keys_.size());
        keys_.push_back(key);
    }
    slot = Slot{hash, index, count};
    ++used_;
}

void JobKeyIndex::Remove(const JobKey& key, std::int64_t count) {
    if (slots_.empty()) return;
    const std::size_t i = Probe(key, HashOf(key));
    Slot& slot = slots_[i];
    if (slot.hash == 0) return;
    slot.count -= count;
    if (slot.count > 0) return;
    keys_[slot.key] = JobKey{};  // let go of the texts
    freeKeys_.push_back(slot.key);
    EraseAt(i);
    --used_;
}

void JobKeyIndex::EraseAt(std::size_t hole) {
    // Linear probing without tombstones: entries after the hole whose home is
    // not between the hole and themselves move back into it.
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t j = (hole + 1) & mask; slots_[j].hash != 0; j = (j + 1) & mask) {
        const std::size_t home = Home(slots_[j].hash);
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
    return slot.hash == 0 ? 0 : slot.count;
}

void JobKeyIndex::Clear() {
    slots_.clear();
    keys_.clear();
    freeKeys_.clear();
    used_ = 0;
    shift_ = 64;
}

}  // namespace queue
