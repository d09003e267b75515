#pragma once
// How many rows of the queue table hold each (source dir, file name, target
// dir) triple: the duplicate check of queueing without a scan. Open
// addressing with the full hash kept in the slot, so that asking for a job
// not yet queued costs one look into one array even with 100,000 rows.

#include <QString>

#include <cstddef>
#include <cstdint>
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
    void Add(const JobKey& key, std::int64_t count);
    // Forgets count rows of the key; a key not held is ignored.
    void Remove(const JobKey& key, std::int64_t count);
    bool Contains(const JobKey& key) const;
    std::int64_t Count(const JobKey& key) const;
    std::size_t Size() const { return used_; }
    void Clear();

private:
    struct Slot {
        std::uint64_t hash = 0;  // 0: vacant
        std::uint32_t key = 0;   // index into keys_
        std::int64_t count = 0;
    };
    static std::uint64_t HashOf(const JobKey& key);
    std::size_t Home(std::uint64_t hash) const;
    // The slot holding the key, or the vacant slot where it would go.
    std::size_t Probe(const JobKey& key, std::uint64_t hash) const;
    void Grow();
    void EraseAt(std::size_t slot);

    std::vector<Slot> slots_;
    std::vector<JobKey> keys_;
    std::vector<std::uint32_t> freeKeys_;
    std::size_t used_ = 0;
    int shift_ = 64;
};

}  // namespace queue
