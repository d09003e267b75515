#include "platform/TextPool.h"

#include "platform/HugePages.h"

#include <algorithm>

namespace platform {

namespace {

constexpr qsizetype kFirstBlockChars = qsizetype(1) << 12;
// 16 MiB blocks: all but the part of a huge page at either end in huge pages.
constexpr qsizetype kLargestBlockChars = qsizetype(1) << 23;
constexpr qsizetype kLongestPooledText = 1024;
}  // namespace

bool IsAscii(const char* data, qsizetype size) {
    unsigned char any = 0;
    for (qsizetype i = 0; i < size; ++i)
        any |= static_cast<unsigned char>(data[i]);
    return any < 0x80;
}

TextPool::~TextPool() {
    RetireBlock();
}

// A text takes one of the references taken ahead instead of an atomic step
// of its own; the ones left over go back when the block is full. The block
// cannot be freed early: the pool's own and the spare references keep it.
void TextPool::RetireBlock() {
    if (block_.d && spareRefs_ > 0) block_.d->ref_.fetchAndSubRelaxed(spareRefs_);
    spareRefs_ = 0;
}

void TextPool::NewBlock() {
    RetireBlock();
    // Small pools stay small: the blocks grow from 8 KiB as texts come.
    nextBlockChars_ =
        nextBlockChars_ == 0 ? kFirstBlockChars : std::min(nextBlockChars_ * 2, kLargestBlockChars);
    block_ = QArrayDataPointer<char16_t>(QTypedArrayData<char16_t>::allocate(nextBlockChars_));
    used_ = 0;
    // Every text holds at least two characters, its zero included.
    spareRefs_ = static_cast<int>(nextBlockChars_ / 2);
    block_.d->ref_.fetchAndAddRelaxed(spareRefs_);
    // A block this large belongs to a large table: its pages are touched
    // one after the other as it fills.
    if (nextBlockChars_ == kLargestBlockChars)
        PreferHugePages(block_.data(), std::size_t(nextBlockChars_) * sizeof(char16_t));
}

QString TextPool::Ascii(const char* data, qsizetype size) {
    if (size == 0 || size > kLongestPooledText) return QString::fromLatin1(data, size);
    // Every text ends in a zero, as QString's own do.
    const qsizetype need = size + 1;
    if (!block_.d || block_.constAllocatedCapacity() - used_ < need) NewBlock();
    char16_t* out = block_.data() + used_;
    widen_.appendToBuffer(reinterpret_cast<QChar*>(out), QByteArrayView(data, size));
    out[size] = 0;
    used_ += need;
    --spareRefs_;
    return QString(QString::DataPointer(block_.d, out, size));
}

}  // namespace platform
