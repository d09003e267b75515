#pragma once
// One boolean per list position. The owner keeps it in step with its entries:
// inserting or deleting an entry inserts or deletes the boolean at the same
// position, so each tick stays with its entry.

#include <vector>

namespace panes {

class TBoolList {
public:
    int Count() const { return static_cast<int>(values_.size()); }
    // Appends false values or drops values from the end.
    void SetCount(int count);

    // Out of range: EListError.
    bool Get(int index) const;
    void Set(int index, bool value);

    // 0 <= index <= Count(); the new position holds value.
    void Insert(int index, bool value = false);
    void Delete(int index);
    void Clear() { values_.clear(); }

private:
    void Check(int index) const;
    std::vector<char> values_;
};

}  // namespace panes
