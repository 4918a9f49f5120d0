#include "app/job_bridge.h"

namespace bkf::gui {

JobBridge::JobBridge(Drain drain, QObject* parent) : QObject(parent), drain_(std::move(drain)) {
    timer_.setInterval(kInterval);
    connect(&timer_, &QTimer::timeout, this, &JobBridge::tick);
}

void JobBridge::start() {
    timer_.start(kInterval);
}

void JobBridge::stop() {
    timer_.stop();
}

void JobBridge::drainNow() {
    drain_(Clock::now() + kBudget);
}

void JobBridge::tick() {
    const bool more = drain_(Clock::now() + kBudget);
    // The drain may have ended the job (and stopped the timer).
    if (timer_.isActive()) timer_.setInterval(more ? std::chrono::milliseconds(0) : kInterval);
}

}  // namespace bkf::gui
