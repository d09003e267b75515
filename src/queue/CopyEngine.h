#pragma once
// Copies one queued file in chunks of 1,000,001 bytes, pumping events after
// each chunk, and returns the status word for the row.

#include <QString>

namespace queue {

inline constexpr long long CopyChunkSize = 1'000'001;

// "Skipped", "Source Error", "Target Error", "Complete" or "Aborted".
QString CopyOneFile(const QString& source, const QString& target);

}  // namespace queue
