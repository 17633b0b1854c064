#!/usr/bin/env python3
"""Frames per second at rest, in one run, on the desktop and on the page, of:
the die; a 30,000-face model the die's size, viewed (whole, lit, from vertex
arrays); the same file drawn the way the die is drawn (its lists cut at 8,000, one
GL call per corner).

The desktop's figures come from bench/view_bench (Google Benchmark, the program's
own frames in a window on the display given, Mesa's llvmpipe); the page's from its
idle calls (one frame each, counted by the web layer) over WINDOW seconds once each
model is read and at rest, in each browser engine of checks/browsers.py (headless
chromium with SwiftShader's WebGL; Firefox ESR and WebKitGTK on Mesa). Prints frames
and faces per second for each, and on each platform how many times as many faces a
second the view draws as the die's way of drawing (target on the page: at least 3). Reports, never gates: exit status 0 once measured, 1 when a run failed, 2
wrong usage. Run it through bench/page_rate.sh --at-rest.
"""
import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [os.path.join(here, "..", "tests", "account"), os.path.join(here, "..", "checks")]
from dump_3ds import read_account  # noqa: E402
from run_to_rest import START_TIMEOUT, THROW_TIMEOUT  # noqa: E402
from throw_path import whole_account  # noqa: E402
from browsers import ENGINES, DriverError  # noqa: E402
from web_check import PageRun  # noqa: E402

TARGET = 3.0
WINDOW = 5.0  # seconds of idle calls counted for each model
SETTLE = 1.0  # after a model is read, before counting
CASES = ["die", "model_viewed", "model_as_die"]
NAMES = {"die": "the die", "model_viewed": "30,000 faces, viewed",
         "model_as_die": "the same, as the die is drawn"}


class RunFailed(Exception):
    pass


def desktop(view_bench, cube, model, min_time):
    """{case: (frames per second, faces per frame)} from view_bench."""
    done = subprocess.run([view_bench, "--benchmark_format=json",
                           "--benchmark_min_time=%s" % min_time, cube, model],
                          stdin=subprocess.DEVNULL, capture_output=True)
    if done.returncode != 0:
        raise RunFailed("view_bench failed (%d): %s" % (done.returncode, done.stderr.decode()))
    runs = json.loads(done.stdout)["benchmarks"]
    return {run["name"].split("/")[0]: (run["frames/s"], run["faces"]) for run in runs}


def wait_for(run, condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if run.failure() or time.monotonic() > deadline:
            raise RunFailed("no %s on the page: %s" % (what, run.failure()))
        time.sleep(0.2)


def page_rate(run):
    time.sleep(SETTLE)
    calls = run.idle_calls()
    time.sleep(WINDOW)
    return (run.idle_calls() - calls) / WINDOW


def page(engine, folder, cube, model):
    """{case: frames per second} at rest on the page, in one engine."""
    with open(cube, "rb") as die, open(model, "rb") as large:
        expected, dump = whole_account(die.read()), len(read_account(large.read())[0])
    with PageRun(engine, folder) as run:
        wait_for(run, lambda: len(run.account()) >= len(expected), THROW_TIMEOUT, "die at rest")
        rates = {"die": page_rate(run)}
        for case, act in (("model_viewed", lambda: run.browser.choose_file("file", model)),
                          ("model_as_die", lambda: run.browser.click("asdie"))):
            want = len(run.account()) + dump
            act()
            wait_for(run, lambda: len(run.account()) >= want, START_TIMEOUT, "dump of the model")
            rates[case] = page_rate(run)
    return rates


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dice", required=True, help="the Linux program, in its build folder")
    parser.add_argument("--page", required=True, help="the built page's folder")
    parser.add_argument("--cube", required=True, help="the shipped cube.3ds")
    parser.add_argument("--min-time", default="2", help="view_bench's seconds per case")
    parser.add_argument("--engines", default=",".join(ENGINES),
                        help="the page's engines, of %s" % ", ".join(ENGINES))
    arguments = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("view_rate.py: DISPLAY is not set; run it through page_rate.sh --at-rest",
              file=sys.stderr)
        return 2
    build = os.path.dirname(os.path.abspath(arguments.dice))
    view_bench = os.path.join(build, "bench", "view_bench")
    make_assets = os.path.join(build, "tools", "make_assets")
    for program in (view_bench, make_assets):
        if not os.access(program, os.X_OK):
            print("view_rate.py: %s is not built" % program, file=sys.stderr)
            return 1
    with tempfile.TemporaryDirectory(prefix="dice_view_rate_") as work:
        model = os.path.join(work, "sphere30k.3ds")
        subprocess.run([make_assets, "--view-mesh", model], check=True)
        try:
            print("load average before: %.2f %.2f %.2f" % os.getloadavg(), flush=True)
            linux = desktop(view_bench, arguments.cube, model, arguments.min_time)
            web = [(ENGINES[name], page(ENGINES[name], arguments.page, arguments.cube,
                                        os.path.abspath(model)))
                   for name in arguments.engines.split(",")]
        except (RunFailed, DriverError) as failure:
            print("view_rate.py: %s" % failure, file=sys.stderr)
            return 1
    platforms = [("desktop (Xvfb, llvmpipe)", {c: linux[c][0] for c in CASES}, False)]
    platforms += [("page: " + engine.label, rates, True) for engine, rates in web]
    for label, rates, on_page in platforms:
        print("%s, at rest:" % label)
        for case in CASES:
            faces = linux[case][1]
            print("  %-30s %6d faces %8.0f frames/s %6.2f M faces/s"
                  % (NAMES[case], faces, rates[case], rates[case] * faces / 1e6))
        ratio = (rates["model_viewed"] * linux["model_viewed"][1]) / (
            rates["model_as_die"] * linux["model_as_die"][1])
        met = "  (target >= %.0f: %s)" % (TARGET, "met" if ratio >= TARGET else "MISSED")
        print("  the view draws %.1f times as many faces a second as the die's way%s"
              % (ratio, met if on_page else ""), flush=True)
    print("load average after: %.2f %.2f %.2f" % os.getloadavg())
    return 0


if __name__ == "__main__":
    sys.exit(main())
