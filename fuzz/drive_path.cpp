// Paths reach the drive table from the queue and settings files, which users
// may edit by hand: whatever the text, a translated path must stay below the
// root of the drive it names, translate back to the same canonical text, and
// canonical texts must be stable. Wildcard matching must end on any input.

#include "platform/Drives.h"
#include "platform/Paths.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

platform::DriveTable MakeTable() {
    platform::Drive c;
    c.letter = u'C';
    c.hostRoot = "/fuzz/c";
    platform::Drive d;
    d.letter = u'D';
    d.hostRoot = "/fuzz/d";
    return platform::DriveTable({c, d});
}

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const platform::DriveTable table = MakeTable();
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    if (const std::optional<QString> norm = platform::NormalizeDrivePath(text)) {
        Check(platform::NormalizeDrivePath(*norm) == norm);
    }
    if (const std::optional<QByteArray> host = table.toHost(text)) {
        const QByteArray root = table.find(text[0])->hostRoot;
        Check(*host == root || host->startsWith(root + '/'));
        Check(!host->contains('\0') && !host->contains("//") && !host->endsWith('/'));
        Check(!host->contains("/../") && !host->endsWith("/..") && !host->contains("/./") &&
              !host->endsWith("/."));
        Check(table.fromHost(*host) == platform::NormalizeDrivePath(text));
    }

    // The first line is a name, the rest a mask.
    const qsizetype cut = text.indexOf(u'\n');
    if (cut >= 0) platform::MatchesMask(text.left(cut), text.mid(cut + 1));
    return 0;
}
