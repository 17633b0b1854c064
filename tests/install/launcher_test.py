"""The installed dice command picks the folder the program runs in: `cmake --install`
into a new prefix whose path has a space, with the installed program replaced by a
stand-in that prints the folder it was started in and its arguments.

- From a folder with no cube.3ds: the folder of the installed die, whose cube.3ds is
  the asset's bytes; the same through a link to the command from another folder.
- From a folder holding a cube.3ds, or only a dangling link of that name (the program
  then says why it cannot read it, rather than throwing another die): that folder.
- The arguments reach the program unchanged.
- With the installed die's folder gone: status 2 and the program not started.

Usage: launcher_test.py CMAKE BUILD_DIR COMMAND_DIR PROGRAM DATA_DIR ASSET, the last
four relative to the prefix as the build installs them.
"""

import os
import subprocess
import sys
import tempfile

STAND_IN = "#!/bin/sh\npwd -P\nprintf '[%s]\\n' \"$@\"\n"
ARGS = ["-display", "", "two words"]


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def run_in(folder, command):
    done = subprocess.run([command] + ARGS, cwd=folder, stdin=subprocess.DEVNULL,
                          capture_output=True)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


def expect_run_in(case, folder, command, expected_folder):
    status, out, err = run_in(folder, command)
    want = os.path.realpath(expected_folder) + "\n" + "".join("[%s]\n" % a for a in ARGS)
    check(status == 0 and out == want,
          "%s: status %d, printed %r (stderr %r); expected %r" % (case, status, out, err, want))


def main():
    cmake, build, command_dir, program, data_dir, asset = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="dice_install_") as scratch:
        prefix = os.path.join(scratch, "a prefix")
        done = subprocess.run([cmake, "--install", build, "--prefix", prefix],
                              stdin=subprocess.DEVNULL, capture_output=True)
        check(done.returncode == 0, "cmake --install failed: %s" % done.stderr.decode())
        command = os.path.join(prefix, command_dir, "dice")
        data = os.path.join(prefix, data_dir)
        with open(os.path.join(data, "cube.3ds"), "rb") as installed, open(asset, "rb") as source:
            check(installed.read() == source.read(), "the installed cube.3ds is not the asset")
        program = os.path.join(prefix, program)
        check(os.access(program, os.X_OK), "no program at %s" % program)
        with open(program, "w") as stand_in:
            stand_in.write(STAND_IN)

        elsewhere = os.path.join(scratch, "elsewhere")
        os.mkdir(elsewhere)
        expect_run_in("no cube.3ds", elsewhere, command, data)
        link = os.path.join(scratch, "bin", "dice")
        os.mkdir(os.path.dirname(link))
        os.symlink(command, link)
        expect_run_in("through a link", elsewhere, link, data)

        own = os.path.join(scratch, "own die")
        os.mkdir(own)
        with open(os.path.join(own, "cube.3ds"), "wb"):
            pass
        expect_run_in("cube.3ds here", own, command, own)
        dangling = os.path.join(scratch, "dangling")
        os.mkdir(dangling)
        os.symlink("nowhere.3ds", os.path.join(dangling, "cube.3ds"))
        expect_run_in("dangling cube.3ds here", dangling, link, dangling)

        for name in os.listdir(data):
            os.remove(os.path.join(data, name))
        os.rmdir(data)
        status, out, _ = run_in(elsewhere, command)
        check(status == 2 and out == "",
              "installed die's folder gone: status %d, printed %r" % (status, out))


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print("FAIL launcher: %s" % failure)
        sys.exit(1)
    print("PASS launcher")
