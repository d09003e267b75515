// ferrovant_reliability SUBCOMMAND ...: one trial of the reliability suite.
//   save queue|profile DIR         a save cut by a power failure at a random moment
//   hostile DIR                    removals of trees built to lead them astray
//   run ...                        the real runner (see RunTrial.cpp)
// RELIABILITY_SEED fixes the random choices, so a failing trial can be replayed.
#include "platform/AsyncIo.h"
#include "reliability/Harness.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The fault shim sees only the plain calls, not what the kernel's ring
    // does: under it, the program makes the plain calls.
    if (std::getenv("FAULT_KIND")) platform::AsyncIo::ForceSynchronous(true);
    QStringList args = app.arguments().mid(1);
    if (const char* seed = std::getenv("RELIABILITY_SEED"))
        reliability::SeedRandom(std::strtoull(seed, nullptr, 10));
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("save")) return reliability::SaveTrial(args);
    if (command == QLatin1String("hostile")) return reliability::HostileTrees(args);
    if (command == QLatin1String("run")) return reliability::RunTrial(args);
    std::fprintf(stderr, "usage: ferrovant_reliability save|hostile|run ...\n");
    return 2;
}
