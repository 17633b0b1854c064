// A link-time wrap of fstat (link the test with -Wl,--wrap=fstat and this file's
// .cpp), so a test can make the file-status call of the code under it fail.
#ifndef TESTS_SUPPORT_FAILING_FSTAT_H
#define TESTS_SUPPORT_FAILING_FSTAT_H

extern bool fail_fstat;  // while true, fstat fails with EIO

#endif  // TESTS_SUPPORT_FAILING_FSTAT_H
