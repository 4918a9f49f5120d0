// The window's side of a background job: while the job runs, a timer on the
// user-interface thread calls `drain`, and each call may work for a bounded
// time only (it gets the deadline), so the window keeps answering however
// fast a worker produces. The worker hands its results over through a
// bkf::BatchQueue; `drain` takes from it and says whether more is waiting:
// then the next call comes as soon as the window has handled its own
// events, else after the interval.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>

namespace bkf::gui {

class JobBridge : public QObject {
    Q_OBJECT
public:
    using Clock = std::chrono::steady_clock;
    using Drain = std::function<bool(Clock::time_point deadline)>;

    // How often the queue is drained, and for how long at most each time.
    static constexpr std::chrono::milliseconds kInterval{50};
    static constexpr std::chrono::milliseconds kBudget{15};

    explicit JobBridge(Drain drain, QObject* parent = nullptr);

    void start();
    void stop();
    bool active() const { return timer_.isActive(); }
    // One drain now, with the usual budget (also when the timer is stopped).
    void drainNow();

private:
    void tick();

    QTimer timer_;
    Drain drain_;
};

}  // namespace bkf::gui
