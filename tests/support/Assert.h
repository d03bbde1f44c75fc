// Assertions on Result and Status that print the error's message and path when they fail.
#pragma once

#include <gtest/gtest.h>

#include "base/Result.h"

#define KIVO_OK_FAILURE_(result) \
  (result).error().message << " [path: " << (result).error().path.string() << "]"

#define ASSERT_OK(expr)                                           \
  do {                                                            \
    const auto& kivo_ok_ = (expr);                                \
    ASSERT_TRUE(kivo_ok_.ok()) << KIVO_OK_FAILURE_(kivo_ok_);     \
  } while (0)

#define EXPECT_OK(expr)                                           \
  do {                                                            \
    const auto& kivo_ok_ = (expr);                                \
    EXPECT_TRUE(kivo_ok_.ok()) << KIVO_OK_FAILURE_(kivo_ok_);     \
  } while (0)
