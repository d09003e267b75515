#pragma once
// A slow file system for tests and benchmarks: tests/tools/slowfs.c mounted
// over a directory, passing through to another one, with a latency for every
// operation, a write rate and a hang switch.
//
//     testsupport::SlowDevice device(backing, mountPoint, {.latencyMs = 10});
//     if (!device.mounted()) GTEST_SKIP() << device.why();
//     device.setHung(true);   // every operation waits from now on ...
//     device.setHung(false);  // ... and goes on
//     device.setHung(true, "rename");  // only renames wait
//
// Mounting needs root and /dev/fuse: elsewhere
// mounted() is false and why() says what is missing. The destructor ends the
// hang and unmounts.

#include "platform/AsyncIo.h"
#include "platform/Pump.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace testsupport {

struct SlowDeviceOptions {
    double latencyMs = 0;
    double writeRate = 0;  // bytes a second, 0 for no limit
    bool share = false;    // listed as a network drive
};

class SlowDevice {
public:
    SlowDevice(const QByteArray& backing, const QByteArray& mountPoint, SlowDeviceOptions options)
        : mountPoint_(mountPoint), hangFile_(mountPoint + ".hang") {
        if (::geteuid() != 0) {
            why_ = QStringLiteral("mounting the test device needs root");
            return;
        }
        if (::access("/dev/fuse", R_OK | W_OK) != 0) {
            why_ = QStringLiteral("no /dev/fuse");
            return;
        }
        QFile::remove(QString::fromUtf8(hangFile_));
        const QStringList args{QString::fromUtf8(backing),
                               QString::fromUtf8(mountPoint),
                               QString::number(options.latencyMs),
                               QString::number(options.writeRate),
                               QString::fromUtf8(hangFile_),
                               options.share ? QStringLiteral("1") : QStringLiteral("0")};
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(FERROVANT_SLOWFS), args);
        for (int i = 0; i < 200 && process_.state() != QProcess::NotRunning; ++i) {
            if (IsMounted()) {
                platform::ReadMountsAgain();
                mounted_ = true;
                return;
            }
            QThread::msleep(50);
        }
        why_ = QStringLiteral("the test device did not mount");
        process_.kill();
        process_.waitForFinished();
    }

    ~SlowDevice() {
        if (!mounted_) return;
        setHung(false);
        QProcess::execute(QStringLiteral("umount"), {QString::fromUtf8(mountPoint_)});
        platform::ReadMountsAgain();
        if (!process_.waitForFinished(10000)) process_.kill();
        process_.waitForFinished();
    }

    SlowDevice(const SlowDevice&) = delete;
    SlowDevice& operator=(const SlowDevice&) = delete;

    bool mounted() const { return mounted_; }
    const QString& why() const { return why_; }

    void setHung(bool hung, const char* only = "") {
        if (hung) {
            QFile f(QString::fromUtf8(hangFile_));
            if (f.open(QIODevice::WriteOnly)) f.write(only);
        } else {
            QFile::remove(QString::fromUtf8(hangFile_));
        }
    }

    // Ends the hang and waits (pumping, 10 s at most) until every call the
    // program gave up on meanwhile has ended: until then the device cannot
    // be unmounted.
    void answerAgain() {
        setHung(false);
        for (int i = 0; i < 200 && platform::AsyncIo::Instance().Abandoned() > 0; ++i)
            platform::PumpMessagesWaiting(std::chrono::milliseconds(50));
    }

private:
    bool IsMounted() const {
        QFile f(QStringLiteral("/proc/self/mountinfo"));
        if (!f.open(QIODevice::ReadOnly)) return false;
        return f.readAll().contains(" " + mountPoint_ + " ");
    }

    QByteArray mountPoint_;
    QByteArray hangFile_;
    QProcess process_;
    bool mounted_ = false;
    QString why_;
};

// A device hung from begin() on (one operation only, when named), with the
// window's timer ticks counted meanwhile. A watchdog ends the hang after
// 20 s: a call that blocks instead of waiting by pumping makes the test fail
// rather than hang. Declared after its device.
class HangWatch {
public:
    explicit HangWatch(SlowDevice& device) : device_(device) {
        QObject::connect(&ticker_, &QTimer::timeout, [this] { ticks_ += hung_ ? 1 : 0; });
        ticker_.start(10);
    }
    ~HangWatch() { end(); }
    HangWatch(const HangWatch&) = delete;
    HangWatch& operator=(const HangWatch&) = delete;

    void begin(const char* only = "") {
        device_.setHung(true, only);
        hung_ = true;
        watchdog_ = std::thread([this] {
            for (int i = 0; i < 200 && hung_; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (hung_.exchange(false)) device_.setHung(false);
        });
    }
    bool began() const { return watchdog_.joinable(); }
    // False once the watchdog had to end the hang.
    bool stillHung() const { return hung_; }
    int ticksWhileHung() const { return ticks_; }
    // Ends the hang, and waits for what was given up.
    void end() {
        hung_ = false;
        if (watchdog_.joinable()) watchdog_.join();
        device_.answerAgain();
    }

private:
    SlowDevice& device_;
    QTimer ticker_;
    std::atomic<bool> hung_ = false;
    int ticks_ = 0;
    std::thread watchdog_;
};

}  // namespace testsupport
