#include "app/job_bridge.h"

namespace bkf::gui {

JobBridge::JobBridge(Drain drain, QObject* parent) : QObject(parent), drain_(std::move(drain)) {
    timer_.setInterval(kInterval);
    connect(&timer_, &QTimer::timeout, this, &JobBridge::drainNow);
}

void JobBridge::start() {
    timer_.start();
}

void JobBridge::stop() {
    timer_.stop();
}

void JobBridge::drainNow() {
    drain_(Clock::now() + kBudget);
}

}  // namespace bkf::gui
