#pragma once

#include <cstdio>

#include "sim/Options.h"

namespace qm::sim {

// Exit codes of the headless runner.
inline constexpr int kExitCompleted = 0;
inline constexpr int kExitError = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitGoal = 3;
// A run stopped by a signal (SIGINT, SIGTERM) exits with 128 + its number, as
// a shell reports a program the signal ended: 130 and 143.
inline constexpr int kExitSignalBase = 128;

int Compile(const Options& options, std::FILE* out);
int Dump(const Options& options, std::FILE* out);
int Run(const Options& options, std::FILE* out);
int Evolve(const Options& options, std::FILE* out);
int Sweep(const Options& options, std::FILE* out);
int Decode(const Options& options, std::FILE* out);
int Export(const Options& options);

}  // namespace qm::sim
