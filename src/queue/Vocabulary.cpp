#include "queue/Vocabulary.h"

#include "platform/Errors.h"

#include <array>

namespace queue {

namespace {
struct ColumnDesign {
    const char* title;
    int width;
};
constexpr std::array<ColumnDesign, QueueColumnCount> kColumns = {{
    {"Row", 50},
    {"Source Directory", 130},
    {"Filename", 130},
    {"Target Directory", 130},
    {"Real Size", 71},
    {"File Size", 64},
    {"Action", 64},
    {"Status", 64},
}};

const ColumnDesign& Design(int col) {
    if (col < 0 || col >= QueueColumnCount) throw platform::EListError(col);
    return kColumns[static_cast<std::size_t>(col)];
}
}  // namespace

QString ColumnTitle(int col) {
    return QString::fromLatin1(Design(col).title);
}

int ColumnDesignWidth(int col) {
    return Design(col).width;
}

std::optional<Action> ActionOf(const QString& word) {
    if (word == ActionCopy) return Action::Copy;
    if (word == ActionMove) return Action::Move;
    if (word == ActionRemoveDir) return Action::RemoveDir;
    return std::nullopt;
}

}  // namespace queue
