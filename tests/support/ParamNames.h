// Names for the cases of parameterised suites, so that each case is listed by what it tries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace simtest {

// A link rate in baud: "At115200".
inline std::string RateName(const ::testing::TestParamInfo<uint32_t>& Info) {
  return "At" + std::to_string(Info.param);
}

// The link's two speeds, true for the fast one (-f).
inline std::string SpeedName(const ::testing::TestParamInfo<bool>& Info) {
  return Info.param ? "HighSpeed" : "NormalSpeed";
}

}  // namespace simtest
