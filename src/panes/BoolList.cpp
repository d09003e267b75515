#include "panes/BoolList.h"

#include "platform/Errors.h"

namespace panes {

void TBoolList::SetCount(int count) {
    values_.resize(count < 0 ? 0 : static_cast<std::size_t>(count), 0);
}

void TBoolList::Check(int index) const {
    if (index < 0 || index >= Count()) throw platform::EListError(index);
}

bool TBoolList::Get(int index) const {
    Check(index);
    return values_[static_cast<std::size_t>(index)] != 0;
}

void TBoolList::Set(int index, bool value) {
    Check(index);
    values_[static_cast<std::size_t>(index)] = value ? 1 : 0;
}

void TBoolList::Insert(int index, bool value) {
    if (index < 0 || index > Count()) throw platform::EListError(index);
    values_.insert(values_.begin() + index, value ? 1 : 0);
}

void TBoolList::Delete(int index) {
    Check(index);
    values_.erase(values_.begin() + index);
}

}  // namespace panes
