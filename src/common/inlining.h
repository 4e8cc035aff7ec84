#pragma once

// How the hot paths ask the compiler for a layout: every such request in the
// library is one of these macros, and each use names the benchmark row it
// holds, so that a request no row pays for can be found and dropped.
//
// QUELLAN_ALWAYS_INLINE  a step of a per-byte or per-record loop that the
//                        compiler would otherwise call.
// QUELLAN_NOINLINE       a rare or long path kept out of the loop that would
//                        otherwise carry its code and registers.
// QUELLAN_COLD           a path met once a call at most, such as a failure.
#define QUELLAN_ALWAYS_INLINE [[gnu::always_inline]] inline
#define QUELLAN_NOINLINE [[gnu::noinline]]
#define QUELLAN_COLD [[gnu::noinline, gnu::cold]]
