#!/usr/bin/env python3
"""Two hundred left clicks on the running program: every click prints the mesh's
whole account again, and after the last click the process holds exactly as many
descriptors as after the twentieth, and hardly more resident memory (from /proc).

Usage: soak_test.py clicks DICE CUBE_3DS, on an X display (see tools/with_xvfb.sh).
"""

import os
import time

from dice_run import (
    WINDOW_HEIGHT,
    WINDOW_WIDTH,
    DiceRun,
    START_TIMEOUT,
    check,
    check_path_line_forms,
    run_case,
    run_tool,
    show,
    split_path_lines,
)

CLICKS = 200
WARM_CLICKS = 20  # by then every lazy allocation of the program and the driver is made
BATCH = 10  # clicks per xdotool call; the output is awaited after each batch
CLICK_DELAY_MS = 10
EXTRA_OUTPUT_GRACE = 0.5  # how long a stray extra account gets to show after the last one

# Measured growth from click 20 to 200 is 0 kB plain and up to about 110 kB under
# AddressSanitizer. A FILE* left open per click grows it by about 900 kB under
# AddressSanitizer (and always shows in the descriptor count); larger per-click
# leaks, such as a texture or mesh never freed, grow it by megabytes.
RSS_GROWTH_LIMIT_KB = 512


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


def first_difference(got, dump, count):
    want = dump * count
    at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
    return "first differs at byte %d, in account %d: expected %s, got %s" % (
        at, at // len(dump) + 1, show(want[at : at + 40], 80), show(got[at : at + 40], 80))


def case_clicks(dice, asset):
    # AddressSanitizer holds freed memory back from reuse, so resident memory would
    # climb with every frame drawn; without that hold-back it measures leaks alone.
    # Plain builds ignore the variable.
    options = os.environ.get("ASAN_OPTIONS", "")
    os.environ["ASAN_OPTIONS"] = (options + ":" if options else "") + "quarantine_size_mb=0"

    with DiceRun(dice, asset) as run:
        window = run.find_window()

        def accounts_printed(count):
            return lambda out: len(split_path_lines(out)[0]) >= count * len(run.dump)

        run.wait_output(accounts_printed(1), START_TIMEOUT, "complete account")
        run_tool(["xdotool", "mousemove", "--window", window,
                  str(WINDOW_WIDTH // 2), str(WINDOW_HEIGHT // 2)])
        warm = None
        for clicked in range(BATCH, CLICKS + 1, BATCH):
            run_tool(["xdotool", "click", "--repeat", str(BATCH),
                      "--delay", str(CLICK_DELAY_MS), "1"])
            run.wait_output(accounts_printed(clicked + 1), START_TIMEOUT,
                            "account for click %d" % clicked)
            if clicked == WARM_CLICKS:
                warm = usage(run)
        last = usage(run)

        time.sleep(EXTRA_OUTPUT_GRACE)
        rest, lines = split_path_lines(run.snapshot())
        check_path_line_forms(lines)
        check(rest == run.dump * (CLICKS + 1),
              "output without the path lines is %d bytes, expected the %d-byte account %d "
              "times; it %s" % (len(rest), len(run.dump), CLICKS + 1,
                                first_difference(rest, run.dump, CLICKS + 1)))

        (fds_warm, rss_warm), (fds_last, rss_last) = warm, last
        print("after click %d: %d descriptors, %d kB resident; after click %d: %d, %d kB"
              % (WARM_CLICKS, fds_warm, rss_warm, CLICKS, fds_last, rss_last))
        check(fds_last == fds_warm and rss_last - rss_warm <= RSS_GROWTH_LIMIT_KB,
              "from click %d to %d, open descriptors went from %d to %d and resident memory "
              "grew by %d kB (limit %d kB)"
              % (WARM_CLICKS, CLICKS, fds_warm, fds_last, rss_last - rss_warm,
                 RSS_GROWTH_LIMIT_KB))


if __name__ == "__main__":
    run_case({"clicks": case_clicks})
