#pragma once

#include <cstddef>
#include <functional>

namespace quellan::bench {

/// How a piece of work is timed: `warm_up_rounds` untimed rounds, then `rounds`
/// timed ones, each repeating the work enough times to last about
/// `round_seconds`, so that clock reads weigh nothing even for short calls.
struct RoundPlan {
  int warm_up_rounds = 3;
  int rounds = 15;
  double round_seconds = 0.02;
};

/// The median, over the timed rounds, of the microseconds one run of `work` took.
double median_microseconds(const std::function<void()>& work, const RoundPlan& plan);

}  // namespace quellan::bench
