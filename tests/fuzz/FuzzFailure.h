// A broken property in a fuzz target: says which and stops the run, so that libFuzzer keeps
// the input as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void FuzzFailure(const char* Property) {
  std::fprintf(stderr, "property broken: %s\n", Property);
  std::abort();
}

inline void Require(bool Holds, const char* Property) {
  if (!Holds) FuzzFailure(Property);
}
