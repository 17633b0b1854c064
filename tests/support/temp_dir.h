// A scratch directory per test, removed with its files afterwards.
#ifndef TESTS_SUPPORT_TEMP_DIR_H
#define TESTS_SUPPORT_TEMP_DIR_H

#include <string>

std::string make_temp_dir();                // fresh directory under TMPDIR
void remove_tree(const std::string& path);  // best effort
void write_file(const std::string& path, const std::string& bytes);

#endif  // TESTS_SUPPORT_TEMP_DIR_H
