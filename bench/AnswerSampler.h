#pragma once
// How long a click or a screen reader's question would wait: a timer asks
// the event loop every 100 ms, and how late each tick comes is the wait.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace benchrig {

// Samples the event loop every 100 ms: the lateness of each tick.
class AnswerSampler {
public:
    AnswerSampler() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(100);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double ms = static_cast<double>(clock_.nsecsElapsed()) * 1e-6;
            late_.push_back(std::max(0.0, ms - 100.0));
            clock_.start();
        });
    }
    void Start() {
        late_.clear();
        clock_.start();
        timer_.start();
    }
    // The lateness at the given quantile (0..1) and the worst, in ms; the
    // time since the last tick counts as one more sample.
    std::pair<double, double> Stop() {
        timer_.stop();
        late_.push_back(std::max(0.0, static_cast<double>(clock_.nsecsElapsed()) * 1e-6 - 100.0));
        std::vector<double> sorted = late_;
        std::sort(sorted.begin(), sorted.end());
        const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
        return {p99, sorted.back()};
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::vector<double> late_;
};

}  // namespace benchrig
