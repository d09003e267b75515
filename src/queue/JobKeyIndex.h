#pragma once
// How many rows of the queue table hold each (source dir, file name, target
// dir) triple: the duplicate check of queueing without a scan. Open
// addressing with the full hash kept in the slot, so that asking for a job
// not yet queued costs one look into one array even with 100,000 rows.

#include "platform/HugePages.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace queue {

struct JobKey {
    QString sourceDir;
    QString fileName;
    QString targetDir;
    bool operator==(const JobKey&) const = default;
};

class JobKeyIndex {
public:
    // Counts count more rows of the key. Returns the key's number, which
    // stays the same while any row counts the key, so a row can remember
    // what it is counted under in four bytes instead of the key's texts.
    std::uint32_t Add(const JobKey& key, std::int64_t count);
    // Forgets count rows of the key; a key not held is ignored.
    void Remove(const JobKey& key, std::int64_t count);
    // The same, by the number Add returned.
    void RemoveNumber(std::uint32_t number, std::int64_t count);
    bool Contains(const JobKey& key) const;
    std::int64_t Count(const JobKey& key) const;
    std::size_t Size() const { return used_; }
    // Room for this many keys in all, so adding them never grows the table.
    void Reserve(std::size_t keys);
    void Clear();

private:
    // Eight bytes a slot: at a million keys the table is touched in full
    // whenever it grows. The full hash and the count live with the key.
    struct Slot {
        std::uint32_t tag = 0;  // high bits of the hash, never 0; 0: vacant
        std::uint32_t key = 0;  // index into keys_
    };
    struct Entry {
        JobKey key;
        std::uint64_t hash = 0;  // 0: a number not given out
        std::int64_t count = 0;
    };
    static std::uint64_t HashOf(const JobKey& key);
    static std::uint32_t TagOf(std::uint64_t hash);
    std::size_t Home(std::uint64_t hash) const;
    // The slot holding the key, or the vacant slot where it would go.
    std::size_t Probe(const JobKey& key, std::uint64_t hash) const;
    void Rehash(std::size_t slots);
    void RemoveAt(std::size_t slot, std::int64_t count);
    void EraseAt(std::size_t slot);

    std::vector<Slot, platform::HugePageAllocator<Slot>> slots_;
    // A deque: growing never moves the keys held, which at a million keys
    // would hold the window for a quarter of a second.
    std::deque<Entry> keys_;
    std::vector<std::uint32_t> freeKeys_;
    std::size_t used_ = 0;
    int shift_ = 64;
};

}  // namespace queue
