"""The installed dice command picks the folder the program runs in: `cmake --install`
into a new prefix whose path has a space, with the installed program replaced by a
stand-in that prints the folder it was started in, its arguments and where a
cube.3ds link there points.

- From a folder with no cube.3ds: the folder of the installed die, whose cube.3ds is
  the asset's bytes; the same through a link to the command from another folder.
- From a folder holding a cube.3ds, or only a dangling link of that name (the program
  then says why it cannot read it, rather than throwing another die): that folder;
  but with --roll or --seed (and their values, taken as the program takes them), the
  folder of the installed die, which holds the asset's die.bmp too, in any build.
- GLUT's options, with their values, reach the program unchanged.
- `dice MODEL` among GLUT's options, MODEL relative: a new folder in TMPDIR whose
  cube.3ds links to MODEL's absolute path, --view then the options without MODEL
  (with --as-die among them: the options alone, without --as-die); the folder is
  gone when the program ends, and when the command is sent SIGTERM while the program
  runs, which ends the program too.
- A model that is missing, a folder, unreadable (checked as nobody when run as root),
  a second model, or a model with --seed: one line on stderr, status 2, the program
  not started.
- With the installed die's folder gone: status 2 and the program not started.

Usage: launcher_test.py CMAKE BUILD_DIR COMMAND_DIR PROGRAM DATA_DIR ASSET, the last
four relative to the prefix as the build installs them.
"""

import filecmp
import os
import signal
import subprocess
import sys
import tempfile

from run_to_rest import check, verdict

STAND_IN = """#!/bin/sh
pwd -P
printf '[%s]\\n' "$@"
[ ! -L cube.3ds ] || printf 'cube.3ds -> %s\\n' "$(readlink cube.3ds)"
[ -z "$STAND_IN_WAITS" ] || { echo "$$"; exec sleep 60; }
"""
ARGS = ["-display", "", "-geometry", "two words", "-iconic", "-sync"]
NOBODY = 65534


def run_in(folder, command, args=ARGS, env=None, user=()):
    done = subprocess.run([*user, command] + args, cwd=folder, stdin=subprocess.DEVNULL,
                          capture_output=True, env=env)
    return done.returncode, done.stdout.decode(), done.stderr.decode()


def stand_in_output(folder, link=None, args=ARGS):
    return (os.path.realpath(folder) + "\n" + "".join("[%s]\n" % a for a in args)
            + ("cube.3ds -> %s\n" % link if link else ""))


def expect_run_in(case, folder, command, expected_folder, link=None, args=ARGS):
    status, out, err = run_in(folder, command, args)
    want = stand_in_output(expected_folder, link, args)
    check(status == 0 and out == want,
          "%s: status %d, printed %r (stderr %r); expected %r" % (case, status, out, err, want))


def check_model(scratch, command, elsewhere, own):
    """dice MODEL: a private folder in TMPDIR linking to it, removed however it ends."""
    private = os.path.join(scratch, "tmp")
    os.mkdir(private)
    env = dict(os.environ, TMPDIR=private)
    model = os.path.join(own, "cube.3ds")
    args = ARGS[:4] + [os.path.relpath(model, elsewhere)] + ARGS[4:]
    for given, passed in ((args, ["--view"] + ARGS), (["--as-die"] + args, ARGS)):
        status, out, err = run_in(elsewhere, command, given, env)
        ran_in = out.split("\n", 1)[0]
        check(status == 0 and os.path.dirname(ran_in) == os.path.realpath(private)
              and os.path.basename(ran_in).startswith("dice.")
              and out == stand_in_output(ran_in, model, passed),
              "dice %s: status %d, printed %r (stderr %r)" % (given, status, out, err))
        check(not os.listdir(private), "dice MODEL left %s behind" % os.listdir(private))

    waiting = subprocess.Popen([command] + args, cwd=elsewhere, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, env=dict(env, STAND_IN_WAITS="1"))
    lines = [waiting.stdout.readline().decode() for _ in range(len(ARGS) + 4)]
    waiting.send_signal(signal.SIGTERM)
    try:
        status = waiting.wait(timeout=10)
    finally:
        waiting.kill()
        waiting.stdout.close()
    program = int(lines[-1])
    try:
        os.kill(program, 0)
        program_left = True
    except ProcessLookupError:
        program_left = False
    check(status == 128 + signal.SIGTERM and not program_left and not os.listdir(private),
          "dice MODEL sent SIGTERM: status %d, program %s, left behind %s"
          % (status, "still running" if program_left else "ended", os.listdir(private)))

    folder = os.path.join(scratch, "a folder.3ds")
    os.mkdir(folder)
    unreadable = os.path.join(scratch, "locked.3ds")
    with open(unreadable, "wb"):
        pass
    os.chmod(unreadable, 0)
    # Root reads any file: the unreadable one is tried as nobody, who can reach the rest.
    nobody = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]
    user = nobody if os.geteuid() == 0 else []
    for case, models, message, runs_as in (
            ("missing", ["nowhere.3ds"], "dice: nowhere.3ds: no such file", []),
            ("a folder", [folder], "dice: %s: a folder, not a 3DS file" % folder, []),
            ("unreadable", [unreadable], "dice: %s: not readable (permission denied)"
             % unreadable, user),
            ("two models", [model, folder], "dice: one model at a time: %s and %s"
             % (model, folder), []),
            ("a seed and a", ["--seed", "5", model], "dice: --roll and --seed throw the "
             "installed die, not %s" % model, [])):
        status, out, err = run_in(elsewhere, command, ARGS[:2] + models, env, runs_as)
        check(status == 2 and out == "" and err == message + "\n",
              "dice with %s model: status %d, printed %r, said %r; expected %r"
              % (case, status, out, err, message))


def main():
    cmake, build, command_dir, program, data_dir, asset = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="dice_install_") as scratch:
        os.chmod(scratch, 0o755)  # nobody reaches the command, for the unreadable model
        prefix = os.path.join(scratch, "a prefix")
        done = subprocess.run([cmake, "--install", build, "--prefix", prefix],
                              stdin=subprocess.DEVNULL, capture_output=True)
        check(done.returncode == 0, "cmake --install failed: %s" % done.stderr.decode())
        command = os.path.join(prefix, command_dir, "dice")
        data = os.path.join(prefix, data_dir)
        for name in ("cube.3ds", "die.bmp"):
            installed = os.path.join(data, name)
            check(os.path.isfile(installed) and filecmp.cmp(
                installed, os.path.join(os.path.dirname(asset), name), shallow=False),
                "the installed %s is not the asset" % name)
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
        expect_run_in("--roll 3 with cube.3ds here", own, command, data,
                      args=["--roll", "3"] + ARGS + ["--seed=12"])
        dangling = os.path.join(scratch, "dangling")
        os.mkdir(dangling)
        os.symlink("nowhere.3ds", os.path.join(dangling, "cube.3ds"))
        expect_run_in("dangling cube.3ds here", dangling, link, dangling, "nowhere.3ds")
        check_model(scratch, command, elsewhere, own)

        for name in os.listdir(data):
            os.remove(os.path.join(data, name))
        os.rmdir(data)
        status, out, _ = run_in(elsewhere, command)
        check(status == 2 and out == "",
              "installed die's folder gone: status %d, printed %r" % (status, out))


if __name__ == "__main__":
    verdict("launcher", main)
