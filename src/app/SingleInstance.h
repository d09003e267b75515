#pragma once
// One program per queue: the first program to start on a queue file listens
// on a local socket named after that file; a second start on the same file
// finds it, asks it to bring its window to the front, and ends instead of
// becoming a second writer of the queue. A socket left by a program that died
// is taken over.

#include <QLocalServer>
#include <QString>

#include <functional>

namespace app {

// The socket's name for a queue file: a hash of its absolute path.
QString InstanceName(const QString& queuePath);

class SingleInstance {
public:
    explicit SingleInstance(const QString& queuePath);

    // True when this process is now the program of the queue; false when
    // another one runs it (it has been asked to come to the front). When the
    // socket cannot be made at all the program runs on unguarded.
    bool Claim();
    // Called in the running program whenever a second start knocks.
    void OnActivationAsked(std::function<void()> handler);

private:
    bool AskRunning();

    QString name_;
    QLocalServer server_;
    std::function<void()> onActivation_;
};

}  // namespace app
