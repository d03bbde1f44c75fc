// How every hardening test expects kivofs to refuse: in time, with exit code 1 and an error
// that names the path at fault and says what is wrong with it (`what`, on either output); and
// the names of the tables' cases.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/Support.h"

namespace kivo::test {

inline void ExpectRefusal(const Outcome& run, const std::string& path,
                          const std::string& what = "") {
  EXPECT_FALSE(run.timedOut) << "kivofs did not finish";
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.err.starts_with("kivofs: error: ")) << run.err;
  EXPECT_NE(run.err.find(path), std::string::npos) << "not named: " << path;
  EXPECT_NE((run.out + run.err).find(what), std::string::npos) << "not said: " << what;
}

// Names each case of a table after its label.
inline constexpr auto ByLabel = [](const auto& test) { return std::string(test.param.label); };

}  // namespace kivo::test
