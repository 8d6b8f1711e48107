#pragma once

#include <chrono>
#include <thread>

#include "coder/Runner.h"

namespace eks::test {

// The clock a job's waits run on in tests: it moves only when the
// runner sleeps, and not while the coder program it started still runs. A
// five-second time-out then ends as soon as the coder has finished, as on a
// fast machine, and the tests never wait real seconds. A program that never
// ends is given up on after a few real seconds, as if its time-out passed.
class PacedClock : public Clock {
  public:
    void Follow(const CoderRunner& runner) { runner_ = &runner; }
    std::int64_t NowMs() override { return now_; }
    void SleepMs(int ms) override {
        using namespace std::chrono;
        if (runner_ && runner_->ProgramRunning()) {
            if (heldSince_ == steady_clock::time_point{}) heldSince_ = steady_clock::now();
            if (steady_clock::now() - heldSince_ < seconds(10)) {
                std::this_thread::sleep_for(milliseconds(1));
                return;
            }
        }
        heldSince_ = {};
        now_ += ms;
    }

  private:
    const CoderRunner* runner_ = nullptr;
    std::int64_t now_ = 0;
    std::chrono::steady_clock::time_point heldSince_{};
};

}  // namespace eks::test
