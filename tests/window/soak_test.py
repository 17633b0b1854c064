#!/usr/bin/env python3
"""Three thousand left clicks on the running program once the die rests: every click
prints the mesh's whole account again; the process ends with exactly as many
descriptors as after the tenth click, its resident memory (from /proc) grows by a
bounded amount, and over the last 1,500 clicks in at most one of six spans.

Usage: soak_test.py clicks DICE CUBE_3DS, on an X display (see tools/with_xvfb.sh).
"""

import os
import time

from dice_run import (
    WINDOW_HEIGHT,
    WINDOW_WIDTH,
    DiceRun,
    START_TIMEOUT,
    check_path_line_forms,
    run_case,
    run_tool,
    split_path_lines,
)
from run_to_rest import check, first_difference

CLICKS = 3000
FIRST_SAMPLE = 10  # the first batch: the reader's and the account's own first uses are made
PLATEAU_FROM = 1500  # growth in span after span over the last 1,500 clicks is a leak
SAMPLE_EVERY = 250  # one span; resident memory printed along the way, to see the curve
BATCH = 10  # clicks per xdotool call; the output is awaited after each batch
CLICK_DELAY_MS = 10
PATH_STEPS = 291
THROW_TIMEOUT = 120.0  # as in throw_test.py: only stops a stuck run from hanging
EXTRA_OUTPUT_GRACE = 0.5  # how long a stray extra account gets to show after the last one

# Measured from click 10 to 3,000, plain and under AddressSanitizer alike: about
# 1 MB once (after the throw, Mesa's renderer replaces a 1 MB upload buffer, and
# the new one lands on fresh heap). On a busy machine the renderer's 512 kB vertex
# buffer now and then lands past the heap's old high-water mark: one more step of
# 512 kB, seen once in 3,000 clicks. A leak goes on growing: a FILE* left open per
# click by about 5 kB a click; even 64 bytes a click, which so splits the heap that
# the renderer's buffers move on, grew by 3 MB in all and in two of the six spans.
ONE_OFF_LIMIT_KB = 2048
GROWN_SPANS_LIMIT = 1


def resident_kb(pid):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    check(False, "no VmRSS in /proc/%d/status" % pid)


def usage(run):
    """(open descriptors, resident kB) of the running program."""
    check(run.process.poll() is None, "dice exited with status %s" % run.process.returncode)
    pid = run.process.pid
    return len(os.listdir("/proc/%d/fd" % pid)), resident_kb(pid)


def case_clicks(dice, asset):
    # AddressSanitizer holds freed memory back from reuse, so resident memory would
    # climb with every frame drawn; and where it keeps the frames of returned calls
    # (GCC 14's, in Debian 13, does unless told not to) its fake stacks fill a page at
    # a time, 2 MB more by the 2,000th click. Without both it measures leaks alone.
    # Plain builds ignore the variable.
    options = os.environ.get("ASAN_OPTIONS", "")
    os.environ["ASAN_OPTIONS"] = ((options + ":" if options else "")
                                  + "quarantine_size_mb=0:detect_stack_use_after_return=0")

    with DiceRun(dice, asset) as run:
        window = run.find_window()

        def at_rest(out):
            rest, lines = split_path_lines(out)
            return len(rest) >= len(run.dump) and len(lines) >= PATH_STEPS

        out = run.wait_output(at_rest, THROW_TIMEOUT,
                              "complete account and %d path lines" % PATH_STEPS)
        # No path line follows once the die rests (checked at the end), so the output
        # grows by accounts alone and need not be searched for them on every look.
        path_bytes = len(out) - len(split_path_lines(out)[0])

        def accounts_printed(count):
            return lambda out: len(out) - path_bytes >= count * len(run.dump)

        run_tool(["xdotool", "mousemove", "--window", window,
                  str(WINDOW_WIDTH // 2), str(WINDOW_HEIGHT // 2)])
        samples = {}
        for clicked in range(BATCH, CLICKS + 1, BATCH):
            run_tool(["xdotool", "click", "--repeat", str(BATCH),
                      "--delay", str(CLICK_DELAY_MS), "1"])
            run.wait_output(accounts_printed(clicked + 1), START_TIMEOUT,
                            "account for click %d" % clicked)
            if clicked in (FIRST_SAMPLE, PLATEAU_FROM) or clicked % SAMPLE_EVERY == 0:
                samples[clicked] = usage(run)

        time.sleep(EXTRA_OUTPUT_GRACE)
        rest, lines = split_path_lines(run.snapshot())
        check(len(lines) == PATH_STEPS, "%d path lines, expected %d" % (len(lines), PATH_STEPS))
        check_path_line_forms(lines)
        check(rest == run.dump * (CLICKS + 1),
              "output without the path lines is %d bytes, expected the %d-byte account %d "
              "times; it differs %s" % (len(rest), len(run.dump), CLICKS + 1,
                                       first_difference(rest, run.dump * (CLICKS + 1))))

        print("resident kB by click: %s" % ", ".join(
            "%d: %d" % (clicked, rss) for clicked, (_, rss) in sorted(samples.items())))
        (fds_first, rss_first), (fds_last, rss_last) = samples[FIRST_SAMPLE], samples[CLICKS]
        # A span grows memory when it ends above all it had reached before: under the
        # sanitizers a page comes and goes from sample to sample (4 kB, in Debian 13).
        spans = range(PLATEAU_FROM, CLICKS, SAMPLE_EVERY)
        highest = {start: max(rss for clicked, (_, rss) in samples.items() if clicked <= start)
                   for start in spans}
        grown = ["%d-%d: %d kB" % (start, start + SAMPLE_EVERY,
                                   samples[start + SAMPLE_EVERY][1] - highest[start])
                 for start in spans if samples[start + SAMPLE_EVERY][1] > highest[start]]
        one_off = rss_last - rss_first
        print("growth from click %d to %d: %d kB (limit under %d kB); spans of %d clicks "
              "from click %d that grew: %d of %d (limit %d)%s; descriptors %d, then %d"
              % (FIRST_SAMPLE, CLICKS, one_off, ONE_OFF_LIMIT_KB, SAMPLE_EVERY, PLATEAU_FROM,
                 len(grown), len(spans), GROWN_SPANS_LIMIT,
                 "".join(", " + span for span in grown), fds_first, fds_last))
        check(fds_last == fds_first,
              "open descriptors went from %d after click %d to %d after click %d"
              % (fds_first, FIRST_SAMPLE, fds_last, CLICKS))
        check(one_off < ONE_OFF_LIMIT_KB and len(grown) <= GROWN_SPANS_LIMIT,
              "resident memory grew by %d kB from click %d to %d (limit under %d kB), and in "
              "%d spans of %d clicks from click %d (limit %d)"
              % (one_off, FIRST_SAMPLE, CLICKS, ONE_OFF_LIMIT_KB, len(grown), SAMPLE_EVERY,
                 PLATEAU_FROM, GROWN_SPANS_LIMIT))


if __name__ == "__main__":
    run_case({"clicks": case_clicks})
