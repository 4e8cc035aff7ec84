#include "round_timer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace quellan::bench {

namespace {

using Clock = std::chrono::steady_clock;

double seconds_for(const std::function<void()>& work, long repetitions) {
  const auto start = Clock::now();
  for (long i = 0; i < repetitions; ++i) work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Enough repetitions of `work` for one round to last about `round_seconds`; the
// first run also warms caches and the allocator.
long repetitions_per_round(const std::function<void()>& work, double round_seconds) {
  const double once = seconds_for(work, 1);
  return std::max(1L, std::lround(round_seconds / std::max(once, 1e-9)));
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

double median_microseconds(const std::function<void()>& work, const RoundPlan& plan) {
  const long repetitions = repetitions_per_round(work, plan.round_seconds);
  for (int round = 0; round < plan.warm_up_rounds; ++round) seconds_for(work, repetitions);
  std::vector<double> per_run;
  for (int round = 0; round < plan.rounds; ++round) {
    per_run.push_back(seconds_for(work, repetitions) * 1e6 / static_cast<double>(repetitions));
  }
  return median(std::move(per_run));
}

}  // namespace quellan::bench
