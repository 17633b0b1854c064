#include "failing_fstat.h"

#include <sys/stat.h>

#include <cerrno>

bool fail_fstat = false;

extern "C" int __real_fstat(int descriptor, struct stat* status);
extern "C" int __wrap_fstat(int descriptor, struct stat* status) {
  if (fail_fstat) {
    errno = EIO;
    return -1;
  }
  return __real_fstat(descriptor, status);
}
