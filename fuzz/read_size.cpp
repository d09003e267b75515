// Real Size cells come from a queue file that users may edit by hand: any
// text must either read as a byte count or fail with EConvertError, in either
// kind of locale, and writing a read size back must read the same again.

#include "platform/Errors.h"
#include "platform/Locale.h"
#include "queue/QueueTable.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const platform::LocaleFormats& locale :
         {platform::EnglishLocale(), platform::CommaDecimalLocale()}) {
        platform::SetLocale(locale);
        try {
            const std::int64_t bytes = queue::ReadSize(text);
            // Doubles hold whole numbers exactly up to 2^53.
            if (bytes > -(1LL << 53) && bytes < (1LL << 53) &&
                queue::ReadSize(queue::RealSizeText(static_cast<double>(bytes))) != bytes) {
                std::abort();
            }
        } catch (const platform::EConvertError&) {
        }
    }
    return 0;
}
