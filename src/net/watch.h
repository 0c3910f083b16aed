#pragma once
// Waiting for another thread in two steps: first by watching a condition for a moment,
// then (the caller's part) by sleeping. Watching pays when the other thread answers
// within microseconds, as on an idle machine, where waking a sleeping processor costs
// tens of them; it wastes a processor when the answer is slow, as on a busy machine or a
// slow network. So each miss halves the watch time, down to nothing; every answer seen
// while watching restores it, and a wait without watching tries again now and then.
#include <chrono>

namespace rk5 {

class Watch {
 public:
  static constexpr std::chrono::nanoseconds kLongest = std::chrono::microseconds(50);
  static constexpr std::chrono::nanoseconds kShortest = std::chrono::microseconds(1);
  static constexpr unsigned kRetryEvery = 64;  // waits without watching between tries

  // True when `done` held while watching; false when the caller must sleep.
  template <class Done>
  bool For(Done done) {
    using Clock = std::chrono::steady_clock;
    std::chrono::nanoseconds time = time_;
    if (time.count() == 0) {
      if (++unwatched_ % kRetryEvery != 0) return done();
      time = kLongest;
    }
    const Clock::time_point until = Clock::now() + time;
    do {
      if (done()) {
        time_ = kLongest;
        return true;
      }
    } while (Clock::now() < until);
    time_ = time / 2 < kShortest ? std::chrono::nanoseconds(0) : time / 2;
    return false;
  }

 private:
  std::chrono::nanoseconds time_ = kLongest;
  unsigned unwatched_ = 0;
};

}  // namespace rk5
