#pragma once
// Shared pieces of the reliability harness: the programs that put the real
// engine through power cuts, I/O faults and hostile trees. Each trial is a
// subcommand; scripts/reliability sets up the file systems around it and
// counts the outcomes.

#include "platform/Dialogs.h"
#include "queue/QueueSession.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace reliability {

// Deterministic content: the bytes depend on the name and the position, so a
// target holding another file's bytes, or its own bytes shifted, is caught.
QByteArray Content(const QByteArray& name, std::int64_t size);

QByteArray ReadHostFile(const QByteArray& path, bool* ok = nullptr);
bool WriteHostFile(const QByteArray& path, const QByteArray& bytes);
bool HostExists(const QByteArray& path);  // any entry, links not followed

// Cuts the file system holding path as a power failure would: nothing more
// reaches the disk, not even the journal (EXT4_IOC_SHUTDOWN, NOLOGFLUSH).
// Takes an open descriptor so the cut costs one system call at the moment.
bool CutFileSystem(int fd);

// Every question is answered with its default button (OK, else Yes) and
// remembered, so a run never waits for a person.
class AnsweringDialogs : public platform::DialogProvider {
public:
    int Message(const platform::MessageRequest& request) override;
    QString Input(const QString& caption, const QString& prompt,
                  const QString& defaultText) override;
    QStringList asked;
};

using QuietWindow = queue::NoQueueWindow;

// Maps C: (and further letters) to host directories for the engine.
void InstallHostDrives(const std::vector<QByteArray>& roots);

// A random number in [low, high] from /dev/urandom or the given seed.
std::int64_t RandomBetween(std::int64_t low, std::int64_t high);
void SeedRandom(std::uint64_t seed);

// Subcommands; each returns the process exit status.
int SaveTrial(const QStringList& args);
int HostileTrees(const QStringList& args);
int RunTrial(const QStringList& args);

}  // namespace reliability
