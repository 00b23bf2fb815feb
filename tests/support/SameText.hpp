// Compares two whole texts, an export and what it should be, say. When they
// differ, the failure shows where: the byte offset, line and column of the
// first difference and a few lines around it from each text, not both texts
// whole.
#pragma once

#include <gtest/gtest.h>

#include <string>

// A GoogleTest predicate-formatter:
//   EXPECT_PRED_FORMAT2(SameText, run.output, db.ExpectedOutput());
// or through the macros below.
::testing::AssertionResult SameText(const char* actualExpression, const char* expectedExpression,
                                    const std::string& actual, const std::string& expected);

#define EXPECT_SAME_TEXT(actual, expected) EXPECT_PRED_FORMAT2(SameText, actual, expected)
#define ASSERT_SAME_TEXT(actual, expected) ASSERT_PRED_FORMAT2(SameText, actual, expected)
