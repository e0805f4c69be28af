#pragma once

#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <functional>

namespace halvek::test {

// Runs the Qt event loop until the condition holds, for at most the limit: the
// window's replies come through queued signals, and a test waits for what the
// user would see. The limit matters only when the condition never comes.
inline bool pumpUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace halvek::test
