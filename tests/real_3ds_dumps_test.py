"""The reader's account of real-world 3DS files, byte for byte, against the
independent formatter in account/dump_3ds.py.

usage: real_3ds_dumps_test.py DUMP_3DS FILE...
"""

import subprocess
import sys

from dump_3ds import read_account
from run_to_rest import first_difference


def main():
    dump_tool, paths = sys.argv[1], sys.argv[2:]
    failures = 0
    for path in paths:
        with open(path, "rb") as model:
            expected = read_account(model.read())[0]
        run = subprocess.run([dump_tool, path], stdout=subprocess.PIPE, timeout=60)
        if run.returncode != 0 or run.stdout != expected:
            failures += 1
            print("%s: exit %d; account differs %s (%d bytes, expected %d)"
                  % (path, run.returncode, first_difference(run.stdout, expected),
                     len(run.stdout), len(expected)))
    print("%d passed, %d failed" % (len(paths) - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
