#!/usr/bin/env python3
"""tools/with_xvfb.sh leaves nothing behind, however it is ended: no Xvfb, no lock
file, no socket, and nothing its command started.

  interrupted  SIGINT to its process group (a ^C at a terminal), then SIGTERM to it
               alone, each while its command runs, with a stray child of the command
               left in the background: status 130 and 143, and nothing left
  served       --serve: the display's number, then the caller's end of the pipe
               closed as if the caller were killed: nothing left
Usage: with_xvfb_test.py interrupted|served WITH_XVFB_SH
"""

import os
import signal
import socket
import subprocess
import sys
import tempfile
import time

from run_to_rest import check, verdict

START_TIMEOUT = 30.0
END_TIMEOUT = 30.0


def alive(pid):
    """Running, not a zombie: a process that has ended holds no display."""
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def children_named(parent, name):
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                text = stat.read()
        except FileNotFoundError:
            continue
        comm = text[text.index("(") + 1 : text.rindex(")")]
        ppid = int(text.rsplit(")", 1)[1].split()[1])
        if ppid == parent and comm == name:
            found.append(int(entry))
    return found


def socket_path(number):
    return "/tmp/.X11-unix/X%d" % number


def left_by(server, number):
    """What the ended server left of its display. Other tests start servers of their
    own meanwhile, which may take the freed number: a socket counts only when no
    server answers on it, a lock file only when it names this server."""
    left = []
    try:
        with socket.socket(socket.AF_UNIX) as probe:
            probe.connect(socket_path(number))
    except ConnectionRefusedError:
        left.append(socket_path(number))
    except FileNotFoundError:
        pass
    lock = "/tmp/.X%d-lock" % number
    try:
        with open(lock) as owner:
            if owner.read().strip() == str(server):
                left.append(lock)
    except FileNotFoundError:
        pass
    return left


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        check(time.monotonic() < deadline, "timed out waiting for " + what)
        time.sleep(0.05)


def default_signals():
    # A shell that starts with SIGINT ignored cannot trap it; a terminal's job does not.
    signal.signal(signal.SIGINT, signal.SIG_DFL)


def check_nothing_left(number, pids):
    for pid, what in pids:
        check(not alive(pid), "%s (pid %d) outlived the script" % (what, pid))
    left = left_by(pids[0][0], number)
    check(not left, "left behind: %s" % ", ".join(left))


def interrupted_by(script, how, expected_status):
    with tempfile.TemporaryDirectory() as scratch:
        report = os.path.join(scratch, "report")
        # The command says where it runs, leaves a child in the background, and waits.
        command = ('echo "${DISPLAY#:} $$" > %s.tmp; sleep 600 & echo $! >> %s.tmp; '
                   'mv %s.tmp %s; wait' % (report, report, report, report))
        helper = subprocess.Popen([script, "sh", "-c", command], start_new_session=True,
                                  preexec_fn=default_signals)
        try:
            wait_for(lambda: os.path.exists(report) or helper.poll() is not None,
                     START_TIMEOUT, "the command to start")
            check(helper.poll() is None, "with_xvfb.sh ended at once, status %s" % helper.returncode)
            with open(report) as lines:
                number, shell = (int(word) for word in lines.readline().split())
                stray = int(lines.readline())
            servers = children_named(helper.pid, "Xvfb")
            check(len(servers) == 1, "expected one Xvfb started by the script, found %s" % servers)
            check(os.path.lexists(socket_path(number)), "no socket for display :%d" % number)
            how(helper)
            status = helper.wait(END_TIMEOUT)
        finally:
            if helper.poll() is None:
                os.killpg(helper.pid, signal.SIGKILL)
        check(status == expected_status, "exit status %d, expected %d" % (status, expected_status))
        check_nothing_left(number, [(servers[0], "Xvfb"), (shell, "the command"),
                                    (stray, "the command's background child")])


def case_interrupted(script):
    interrupted_by(script, lambda helper: os.killpg(helper.pid, signal.SIGINT), 130)
    interrupted_by(script, lambda helper: helper.send_signal(signal.SIGTERM), 143)


def case_served(script):
    helper = subprocess.Popen([script, "--serve"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              start_new_session=True)
    try:
        line = helper.stdout.readline()
        check(line.strip().isdigit(), "expected the display's number, got %r" % line)
        number = int(line)
        servers = children_named(helper.pid, "Xvfb")
        check(len(servers) == 1, "expected one Xvfb started by the script, found %s" % servers)
        check(os.path.lexists(socket_path(number)), "no socket for display :%d" % number)
        helper.stdin.close()  # what a caller's death does to its end of the pipe
        status = helper.wait(END_TIMEOUT)
    finally:
        if helper.poll() is None:
            os.killpg(helper.pid, signal.SIGKILL)
    check(status == 0, "exit status %d once the caller went, expected 0" % status)
    check_nothing_left(number, [(servers[0], "Xvfb")])


CASES = {"interrupted": case_interrupted, "served": case_served}

if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in CASES:
        sys.exit("usage: with_xvfb_test.py %s WITH_XVFB_SH" % "|".join(CASES))
    verdict(sys.argv[1], lambda: CASES[sys.argv[1]](sys.argv[2]))
