#!/usr/bin/env python3
"""Frames per second of the bare loop, the die, the die rolled (--roll, one die and
six) and the full-capacity mesh, and the minor page faults per frame of the die and
the mesh.

Runs each program in turn on the display it is given (one Xvfb for all, so they
share a renderer), reads its stdout as it arrives and times every path line: each
one stands for 50 frames. A rate is 50 x (lines after the first in the window) /
(time between the first and the last line in the window), the window starting
after a warm-up. The die and the mesh run twice a round, as built and as the copy
built with glibc's malloc at its defaults; the two swap places every round. All
run in turn for several rounds, so a burst of load from elsewhere on the machine
hits one round rather than one program; the figures given are medians over
rounds, each ratio to the bare loop the median of the ratios within a round.
Frames per CPU second of the program (all its threads, not the X server) are
shown beside: they move far less when other work shares the cores.
Minor page faults per frame (the process's minflt from /proc, sampled as path
lines arrive) are counted between two path lines well after start-up, once the
heap has settled: they do not swing with the machine's load, so they are the
yardstick for the malloc settings, the rates only a sign.
The rolled dice, with the die's atlas beside them, run as built only; their rates
are given against the die's, each the median of the ratios within a round.
Prints every round, the medians, the ratios to the bare loop, the ratios of the
program as built to the copy (median over median), the faults and the targets.
Exit status: 0 measured (whether or not a target is met), 1 a program failed to
run or printed too few lines, 2 wrong usage.
"""
import argparse
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

FRAMES_PER_LINE = 50
THROW_LINES = 291  # the throw prints no more after these; the die rests
MIN_INTERVALS = 5  # fewer line intervals than this in a window is no measurement
TARGET_DIE = 0.90
TARGET_CAPACITY = 0.15
TARGET_CAPACITY_GAIN = 1.30  # the mesh as built against the malloc-defaults copy
TARGET_CAPACITY_FAULTS = 0.10  # the mesh's faults per frame as built, against the copy's
TARGET_ROLLED = {"roll_1": None, "roll_6": 0.80}  # against the die's rate
# Path lines between which faults are counted. The die's 512 kB vertex buffer is
# replaced about every 14 lines, and on the heap the first three replacements touch
# new memory, so the die settles by line 45. The mesh replaces it every frame and
# settles within a few lines; to None is the last line read.
DIE_FAULT_LINES = (60, 120)
CAPACITY_FAULT_LINES = (10, None)
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


class RunFailed(Exception):
    pass


def process_counts(pid):
    """(user plus system seconds, minor page faults) of a process and all its threads."""
    with open("/proc/%d/stat" % pid, "rb") as stat:
        fields = stat.read().rsplit(b")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / CLOCK_TICKS, int(fields[7])


def read_line_times(command, cwd, stop_after, min_lines, quiet_limit, stderr_file):
    """Arrival time, and the program's CPU time and minor faults then, of every path
    line (one tab each; the dump has none).

    Reads until stop_after seconds past the first line with at least min_lines read,
    until no line has come for quiet_limit seconds once lines have begun (the throw
    is over), or until the program ends. Returns (times, CPU times, faults, exit
    code or None while it ran)."""
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.PIPE, stderr=stderr_file)
    times = []
    cpu_times = []
    faults = []
    started = time.monotonic()
    descriptor = process.stdout.fileno()
    try:
        while True:
            now = time.monotonic()
            if times and now - times[0] >= stop_after and len(times) >= min_lines:
                break
            last = times[-1] if times else started
            if now - last >= (quiet_limit if times else 30.0):
                break
            ready, _, _ = select.select([descriptor], [], [], 0.1)
            if not ready:
                continue
            chunk = os.read(descriptor, 1 << 16)
            arrived = time.monotonic()
            if not chunk:
                break
            lines = chunk.count(b"\t")
            if lines:
                cpu_seconds, minor_faults = process_counts(process.pid)
                times.extend([arrived] * lines)
                cpu_times.extend([cpu_seconds] * lines)
                faults.extend([minor_faults] * lines)
    finally:
        code = process.poll()
        if code is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        process.stdout.close()
    return times, cpu_times, faults, code


def rate_in_window(times, cpu_times, warm_up, window):
    """(frames per second, frames per CPU second, intervals, seconds) over the
    lines in the window."""
    begin = times[0] + warm_up
    inside = [k for k, t in enumerate(times) if begin <= t <= begin + window]
    if len(inside) < MIN_INTERVALS + 1:
        raise RunFailed("only %d path lines in the %.1f s window after %.1f s warm-up"
                        % (len(inside), window, warm_up))
    first, last = inside[0], inside[-1]
    seconds = times[last] - times[first]
    cpu_seconds = max(cpu_times[last] - cpu_times[first], 1.0 / CLOCK_TICKS)
    frames = FRAMES_PER_LINE * (last - first)
    return frames / seconds, frames / cpu_seconds, last - first, seconds


def faults_per_frame(faults, fault_lines):
    """Minor faults per frame between two path lines (numbered from 1)."""
    first, last = fault_lines
    last = len(faults) if last is None else last
    if len(faults) < last or last - first < MIN_INTERVALS:
        raise RunFailed("only %d path lines, too few to count faults from line %d to %s"
                        % (len(faults), first, fault_lines[1] or "the last"))
    return (faults[last - 1] - faults[first - 1]) / (FRAMES_PER_LINE * (last - first)), first, last


def measure(name, label, command, cwd, timing, fault_lines, log_dir, throw):
    """(frames per second, frames per CPU second, minor faults per frame)."""
    warm_up, window = timing
    stderr_path = os.path.join(log_dir, name + ".stderr")
    min_lines = fault_lines[1] if fault_lines and fault_lines[1] else 0
    with open(stderr_path, "wb") as stderr_file:
        times, cpu_times, faults, code = read_line_times(
            command, cwd, warm_up + window + 0.5, min_lines, 3.0, stderr_file)
    if code is not None and code != 0 or not times:
        with open(stderr_path, "rb") as stderr_file:
            sys.stderr.write(stderr_file.read().decode(errors="replace"))
        raise RunFailed("%s exited with status %s after %d path lines" % (name, code, len(times)))
    rate, cpu_rate, intervals, seconds = rate_in_window(times, cpu_times, warm_up, window)
    cut = " (throw over: window cut short)" if throw and len(times) >= THROW_LINES else ""
    print("  %-20s %7.1f frames/s %7.1f frames/CPU-s  (%d frames in %.3f s after %.1f s warm-up)%s"
          % (label, rate, cpu_rate, intervals * FRAMES_PER_LINE, seconds, warm_up, cut), flush=True)
    if fault_lines is None:
        return rate, cpu_rate, None
    per_frame, first, last = faults_per_frame(faults, fault_lines)
    print("  %-20s %7.2f minor faults/frame  (path lines %d to %d: %d frames)"
          % ("", per_frame, first, last, FRAMES_PER_LINE * (last - first)), flush=True)
    return rate, cpu_rate, per_frame


def print_renderer(log_dir):
    with open(os.path.join(log_dir, "bare_loop.stderr"), "rb") as stderr_file:
        for line in stderr_file.read().decode(errors="replace").splitlines():
            if line.startswith("GL_"):
                print(line)


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bare-loop", required=True, help="the bare_loop program")
    parser.add_argument("--dice", required=True, help="the dice program")
    parser.add_argument("--dice-malloc-defaults", required=True,
                        help="the same program built with DICE_GLIBC_MALLOC_DEFAULTS")
    parser.add_argument("--make-assets", required=True, help="the make_assets tool")
    parser.add_argument("--die-mesh", required=True, help="the shipped cube.3ds")
    parser.add_argument("--die-texture", required=True, help="the shipped die.bmp, for --roll")
    parser.add_argument("--rounds", type=int, default=5, help="rounds of all seven runs")
    parser.add_argument("--warm-up", type=float, default=0.4, help="seconds skipped (small runs)")
    parser.add_argument("--window", type=float, default=2.0, help="seconds measured (small runs)")
    parser.add_argument("--capacity-warm-up", type=float, default=1.5)
    parser.add_argument("--capacity-window", type=float, default=8.0)
    return parser.parse_args()


def main():
    arguments = parse_arguments()
    if not os.environ.get("DISPLAY"):
        print("frame_rate.py: DISPLAY is not set; run it through frame_rate.sh", file=sys.stderr)
        return 2
    work = tempfile.mkdtemp(prefix="dice_frame_rate.")
    try:
        die_dir = os.path.join(work, "die")
        capacity_dir = os.path.join(work, "capacity")
        os.mkdir(die_dir)
        os.mkdir(capacity_dir)
        shutil.copyfile(arguments.die_mesh, os.path.join(die_dir, "cube.3ds"))
        shutil.copyfile(arguments.die_texture, os.path.join(die_dir, "die.bmp"))
        made = subprocess.run([arguments.make_assets, "--capacity-mesh",
                               os.path.join(capacity_dir, "cube.3ds")])
        if made.returncode != 0:
            raise RunFailed("make_assets --capacity-mesh failed with status %d" % made.returncode)

        small = (arguments.warm_up, arguments.window)
        large = (arguments.capacity_warm_up, arguments.capacity_window)
        built, defaults = [arguments.dice], [arguments.dice_malloc_defaults]
        die_faults, capacity_faults = DIE_FAULT_LINES, CAPACITY_FAULT_LINES
        # (name, label, command, working directory, timing, fault lines, prints the throw)
        bare = ("bare_loop", "bare_loop", [arguments.bare_loop], work, small, None, False)
        # A fixed start, so every run draws the same faces.
        rolled = tuple(("roll_%d" % n, "--roll %d" % n, built + ["--roll=%d" % n, "--seed=1"],
                        die_dir, small, None, True) for n in (1, 6))
        pairs = ((("die", "die", built, die_dir, small, die_faults, True),
                  ("die_defaults", "die (defaults)", defaults, die_dir, small, die_faults, True)),
                 (("8000-face", "8000-face", built, capacity_dir, large, capacity_faults, True),
                  ("8000-face_defaults", "8000-face (defaults)", defaults, capacity_dir, large,
                   capacity_faults, True)))
        print("(defaults): the same program built with glibc's malloc at its defaults", flush=True)
        print("frames/s: path lines (50 frames each) in a window after a warm-up; minor "
              "faults/frame: the\nprocess's minflt between two path lines once the heap has "
              "settled (die: lines %d to %d;\n8000-face: line %d to the last read). Rates swing "
              "with the machine's load, faults do not."
              % (die_faults[0], die_faults[1], capacity_faults[0]), flush=True)
        rates = {run[0]: [] for run in (bare,) + pairs[0] + rolled + pairs[1]}
        for round_number in range(1, max(arguments.rounds, 1) + 1):
            print("round %d (load average %.2f)" % (round_number, os.getloadavg()[0]), flush=True)
            # Which copy runs first alternates, so neither always follows the other.
            runs = [bare]
            for pair in pairs:
                runs.extend(pair if round_number % 2 == 1 else reversed(pair))
                runs.extend(rolled if pair is pairs[0] else ())
            for name, label, command, cwd, timing, fault_lines, throw in runs:
                rates[name].append(measure(name, label, command, cwd, timing, fault_lines, work,
                                           throw))
            print("  as built / defaults, frames/s:  die %.3f   8000-face %.3f"
                  % (rates["die"][-1][0] / rates["die_defaults"][-1][0],
                     rates["8000-face"][-1][0] / rates["8000-face_defaults"][-1][0]), flush=True)
            print("  minor faults/frame, as built vs defaults:  die %.2f vs %.2f   8000-face %.2f vs %.2f"
                  % (rates["die"][-1][2], rates["die_defaults"][-1][2],
                     rates["8000-face"][-1][2], rates["8000-face_defaults"][-1][2]), flush=True)
            if round_number == 1:
                print_renderer(work)
    except (RunFailed, OSError) as failure:
        print("frame_rate.py: %s" % failure, file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)

    def median_of(name, column):
        return statistics.median(rate[column] for rate in rates[name])

    labels = {run[0]: run[1] for run in (bare,) + pairs[0] + rolled + pairs[1]}
    print("median over %d rounds (load average now %.2f):"
          % (len(rates["bare_loop"]), os.getloadavg()[0]))
    for name in rates:
        faults = ("" if name == "bare_loop" or name in TARGET_ROLLED
                  else " %7.2f minor faults/frame" % median_of(name, 2))
        print("  %-20s %7.1f frames/s %7.1f frames/CPU-s%s"
              % (labels[name], median_of(name, 0), median_of(name, 1), faults))
    for name, target in (("die", TARGET_DIE), ("8000-face", TARGET_CAPACITY)):
        pairs_with_bare = list(zip(rates[name], rates["bare_loop"]))
        ratio = statistics.median(rate[0] / bare_rate[0] for rate, bare_rate in pairs_with_bare)
        cpu_ratio = statistics.median(rate[1] / bare_rate[1] for rate, bare_rate in pairs_with_bare)
        verdict = "met" if ratio >= target else "MISSED"
        print("  %-9s / bare_loop = %.3f  (target >= %.2f: %s)   per CPU second: %.3f"
              % (name, ratio, target, verdict, cpu_ratio))
    for name, target in TARGET_ROLLED.items():
        rounds = [rate[0] / die[0] for rate, die in zip(rates[name], rates["die"])]
        cpu_ratio = statistics.median(rate[1] / die[1]
                                      for rate, die in zip(rates[name], rates["die"]))
        verdict = "" if target is None else "  (target >= %.2f: %s)" % (
            target, "met" if statistics.median(rounds) >= target else "MISSED")
        print("  %-9s / die = %.3f  (%.3f .. %.3f)%s   per CPU second: %.3f"
              % (labels[name], statistics.median(rounds), min(rounds), max(rounds), verdict,
                 cpu_ratio))
    print("as built / defaults, median over median (lowest and highest round in brackets):")
    for name in ("die", "8000-face"):
        ratio = median_of(name, 0) / median_of(name + "_defaults", 0)
        cpu_ratio = median_of(name, 1) / median_of(name + "_defaults", 1)
        rounds = [rate[0] / default[0] for rate, default in zip(rates[name], rates[name + "_defaults"])]
        if name == "die":
            # Unchanged: the rounds fall on both sides of 1, the noise larger than any effect.
            verdict = ("faster in every round" if min(rounds) > 1
                       else "SLOWER in every round" if max(rounds) < 1 else "unchanged within noise")
        else:
            verdict = "target >= %.2f: %s" % (TARGET_CAPACITY_GAIN,
                                              "met" if ratio >= TARGET_CAPACITY_GAIN else "MISSED")
        print("  %-9s %.3f  (%.3f .. %.3f)   per CPU second: %.3f   %s"
              % (name, ratio, min(rounds), max(rounds), cpu_ratio, verdict))
    print("minor faults per frame, as built against defaults (every round, then the medians):")
    for name in ("die", "8000-face"):
        built_faults = [rate[2] for rate in rates[name]]
        default_faults = [rate[2] for rate in rates[name + "_defaults"]]
        if name == "die":
            # Few either way; the settings must not add to them.
            target, met = "as built <= defaults", median_of(name, 2) <= median_of(name + "_defaults", 2)
        else:
            target = "as built <= %.2f x defaults" % TARGET_CAPACITY_FAULTS
            met = median_of(name, 2) <= TARGET_CAPACITY_FAULTS * median_of(name + "_defaults", 2)
        print("  %-9s %s   median %.2f vs %.2f   (target %s: %s)"
              % (name, "  ".join("%.2f/%.2f" % pair for pair in zip(built_faults, default_faults)),
                 median_of(name, 2), median_of(name + "_defaults", 2), target,
                 "met" if met else "MISSED"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
