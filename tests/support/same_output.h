// Byte-for-byte comparison of what the program printed. A mismatch names the
// first line where the two part, with the lines before it, and stops there: a
// full line-by-line diff of a megabyte-long account takes minutes and gigabytes.
#ifndef TESTS_SUPPORT_SAME_OUTPUT_H
#define TESTS_SUPPORT_SAME_OUTPUT_H

#include <gtest/gtest.h>

#include <string>

::testing::AssertionResult same_output(const char* actual_text, const char* expected_text,
                                       const std::string& actual, const std::string& expected);

#define EXPECT_SAME_OUTPUT(actual, expected) EXPECT_PRED_FORMAT2(same_output, actual, expected)
#define ASSERT_SAME_OUTPUT(actual, expected) ASSERT_PRED_FORMAT2(same_output, actual, expected)

#endif  // TESTS_SUPPORT_SAME_OUTPUT_H
