#include "same_output.h"

#include <algorithm>
#include <cstdio>

static const int CONTEXT_LINES = 2;
static const size_t SHOWN_BYTES = 160;  // of each differing line

// One line from `start`, without its newline, escaped and cut to a readable
// length; "<end of output>" when there is none.
static std::string line_at(const std::string& text, size_t start) {
  if (start >= text.size()) return "<end of output>";
  size_t end = text.find('\n', start);
  bool ends_line = end != std::string::npos;
  if (!ends_line) end = text.size();
  std::string shown = "\"";
  for (size_t i = start; i < end && i < start + SHOWN_BYTES; i++) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    char escaped[8];
    if (c == '\t') {
      shown += "\\t";
    } else if (c == '"' || c == '\\') {
      shown += '\\';
      shown += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7f) {
      snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
    }
  }
  if (end - start > SHOWN_BYTES) shown += "...";
  return shown + (ends_line ? "\\n\"" : "\" (no newline)");
}

::testing::AssertionResult same_output(const char* actual_text, const char* expected_text,
                                       const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
    at++;
  // The differing line's start; npos + 1 wraps to 0 on the first line.
  size_t line_start = at == 0 ? 0 : expected.rfind('\n', at - 1) + 1;
  long line =
      std::count(expected.begin(), expected.begin() + static_cast<long>(line_start), '\n') + 1;

  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << actual_text << " differs from " << expected_text << " at line " << line << " (byte "
          << at << "; " << actual.size() << " bytes, expected " << expected.size() << ")\n";
  // The lines before, which both outputs share.
  size_t context_start = line_start;
  for (int i = 0; i < CONTEXT_LINES && context_start > 0; i++)
    context_start = context_start < 2 ? 0 : expected.rfind('\n', context_start - 2) + 1;
  for (size_t start = context_start; start < line_start; start = expected.find('\n', start) + 1)
    failure << "      same: " << line_at(expected, start) << "\n";
  failure << "  expected: " << line_at(expected, line_start) << "\n";
  failure << "    actual: " << line_at(actual, line_start);
  return failure;
}
