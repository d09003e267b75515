#pragma once
// Short texts made in bulk (the cells of a loaded queue file: row numbers,
// file names, sizes) written side by side into large shared blocks instead of
// one allocation each. At a million rows one allocation per text costs more
// than reading the file, and the blocks can be backed by huge pages.
//
// Each text is an ordinary QString that holds a reference on its block: it
// can be kept, copied and changed like any other (a change detaches it), and
// a block is freed with the last text in it.

#include <QString>
#include <QStringDecoder>

#include <QtCore/qarraydatapointer.h>

namespace platform {

class TextPool {
public:
    TextPool() = default;
    ~TextPool();
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    // The text of bytes below 0x80 (ASCII), widened one to one. Longer texts
    // and the empty one are made the ordinary way.
    QString Ascii(const char* data, qsizetype size);

private:
    void NewBlock();
    void RetireBlock();

    QStringDecoder widen_{QStringDecoder::Latin1, QStringDecoder::Flag::Stateless};
    QArrayDataPointer<char16_t> block_;  // the pool's own reference
    qsizetype used_ = 0;
    // References taken on the block ahead, in one step, and not given out yet.
    int spareRefs_ = 0;
    qsizetype nextBlockChars_ = 0;
};

// True when every byte is below 0x80.
bool IsAscii(const char* data, qsizetype size);

}  // namespace platform
