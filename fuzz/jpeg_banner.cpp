// The banner decoder: whatever the bytes, decoding ends in bounded time with
// an image of the size the header gave or a null image, and never exits or
// touches memory it does not own.
#include "app/JpegImage.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QImage image = app::DecodeJpeg(bytes);
    if (!image.isNull() &&
        (image.width() > app::kMaxJpegSide || image.height() > app::kMaxJpegSide))
        std::abort();
    return 0;
}
