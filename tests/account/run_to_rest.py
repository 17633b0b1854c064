#!/usr/bin/env python3
"""A build of the program run until the die rests, its output held to the whole account
byte for byte wherever it runs (a window, wine, the page, a Debian root), each caller
saying how to read the output so far and why the program has ended: failing at the
first byte that differs, when the program ends, when time runs out or the output
stops, and when anything more comes while the die lies still.

As a command: COMMAND runs (no standard input, standard error passed on) until its
standard output is the whole account of MODEL and the die has rested, then gets
SIGTERM. Exit status 0 when it was exactly that; 1, why as the last line on standard
error, when not; 2 on a usage error.

Usage: run_to_rest.py --expect MODEL [--timeout SECONDS] -- COMMAND...
"""

import argparse
import os
import select
import signal
import subprocess
import sys
import time

from throw_path import whole_account

START_TIMEOUT = 60.0  # to the first byte: wine's start, or a page's, on a busy machine
THROW_TIMEOUT = 300.0  # the whole throw on a software renderer; only a stuck run waits
STALL_TIMEOUT = 60.0  # path lines come many a second while the die moves
STILL_WATCH = 2.0  # how long the resting die is watched for stray output
POLL = 0.2


class TestFailure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise TestFailure(message)


def show(data, limit=300):
    """Bytes for a failure message: the tail, escaped."""
    text = data[-limit:].decode("ascii", "backslashreplace")
    return ("..." if len(data) > limit else "") + repr(text)


def first_difference(got, want):
    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
    return "at byte %d (line %d): expected %s, got %s" % (
        at, want.count(b"\n", 0, at) + 1, show(want[: at + 40], 80), show(got[: at + 40], 80))


def so_far(want, length=None):
    """A watch's goal: the output is the start of want, and done at its first length
    bytes (all of it without length)."""
    def done(out):
        check(out == want[: len(out)], "output differs " + first_difference(out, want))
        return len(out) >= (length or len(want))
    return done


def watch(read, ended, done, timeout, what, stall=None, pause=None):
    """Reads the output until done(output); fails when ended() says why the program
    stopped, when timeout runs out, or when stall seconds pass with no new byte."""
    start = grown = time.monotonic()
    size = -1
    while True:
        out = read()
        if done(out):
            return out
        why = ended()
        check(why is None, "%s while waiting for %s; output so far: %s" % (why, what, show(out)))
        now = time.monotonic()
        if len(out) != size:
            grown, size = now, len(out)
        check(now - start < timeout,
              "no %s within %.0f s; output so far: %s" % (what, timeout, show(out)))
        check(stall is None or now - grown < stall, "no %s: no new output for %.0f s, %.0f s "
              "in; it ends %s" % (what, now - grown, now - start, show(out)))
        (pause or (lambda: time.sleep(POLL)))()


def keeps_still(read, got, when, seconds=STILL_WATCH):
    time.sleep(seconds)
    later = read()
    check(later == got, "output went on %s: %s" % (when, show(later[len(got) - 40 :])))


def run_to_rest(read, ended, expected, timeout=THROW_TIMEOUT, start=START_TIMEOUT,
                stall=STALL_TIMEOUT, pause=None, at_rest=None):
    """Watches until the whole account is out, in timeout (its first byte in start,
    unless None), then for STILL_WATCH while the die rests; at_rest is called as
    the die comes to rest."""
    if start:
        watch(read, ended, so_far(expected, 1), start, "output", stall, pause)
    got = watch(read, ended, so_far(expected), timeout, "whole account", stall, pause)
    if at_rest:
        at_rest()
    keeps_still(read, got, "after the die came to rest")
    why = ended()
    check(why is None, "%s at rest" % why)


def verdict(name, check_all, failures=TestFailure):
    """Runs check_all: PASS name (and what it returns, if anything), or FAIL name: why
    and exit status 1. Stopped from outside, it still ends what it started."""
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    try:
        done = check_all()
    except failures as failure:
        print("FAIL %s: %s" % (name, failure))
        sys.exit(1)
    print("PASS %s%s" % (name, ": " + done if done else ""))


class Program:
    """A started program whose standard output is read as it comes."""

    def __init__(self, command, name, cwd=None, stderr=None):
        self.name = name
        self.process = subprocess.Popen(command, cwd=cwd, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, stderr=stderr)
        self.output = bytearray()
        self.pipe = self.process.stdout.fileno()
        self.pipe_open = True

    def stop(self, grace=5.0):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=grace)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()

    def wait_more(self, timeout=0.1):
        """Adds what the program has written, waiting up to timeout for something."""
        if not self.pipe_open:
            time.sleep(timeout)
            return
        ready, _, _ = select.select([self.pipe], [], [], timeout)
        if ready:
            block = os.read(self.pipe, 65536)
            self.output += block
            self.pipe_open = bool(block)

    def snapshot(self):
        """All the output written so far: the pipe is drained first."""
        while True:
            before = len(self.output)
            self.wait_more(0)
            if len(self.output) == before:
                return bytes(self.output)

    def ended(self):
        """Why the program is no longer running; None while it runs."""
        status = self.process.poll()
        return None if status is None else "%s exited with status %s" % (self.name, status)


def main():
    parser = argparse.ArgumentParser(usage=__doc__.splitlines()[-1][7:])
    parser.add_argument("--expect", required=True)
    parser.add_argument("--timeout", type=float, default=THROW_TIMEOUT)
    parser.add_argument("command", nargs="+")
    arguments = parser.parse_args()
    with open(arguments.expect, "rb") as model:
        expected = whole_account(model.read())
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # the command is still ended
    try:
        with Program(arguments.command, "the command") as program:
            # Its output may wait long for packages and builds: no start or stall limit.
            run_to_rest(program.snapshot, program.ended, expected, arguments.timeout, None, None,
                        program.wait_more)
            program.stop(grace=30.0)
    except TestFailure as failure:
        sys.exit("run_to_rest.py: %s" % failure)


if __name__ == "__main__":
    main()
