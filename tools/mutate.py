#!/usr/bin/env python3
"""Mutation run over src/ and platform/glibc/: does the test suite notice small, realistic faults?

Each mutant is one small change made mechanically to one source file:
  - a relational operator turned into its neighbour (< and <=, > and >=, == and !=),
  - an integer constant off by one, up and down,
  - a call of fflush, fclose or free deleted,
  - && and || swapped.
Comments, strings, preprocessor lines and static_assert checks are left alone.
Binary operators are told from template brackets by the spaces around them,
which the enforced formatting guarantees.

Mutants are applied one at a time to a scratch copy of the working tree in
build-mutate/ and rebuilt incrementally. The objects that read the mutated file
are compiled first: when every one comes out as the very bytes of the
original's, the mutant is the same program, reported as equivalent and not
run. The rest run against the suite, stopping at the first failure: the
call-level test programs of the mutant's own folder, plain and then sanitized,
which alone are built first and kill most mutants in seconds; then the whole of
the call-level tests; then the real-window tests that run the code (for code
only viewing or roll mode runs, those labelled "view" or "roll"); then the
whole of the sanitized call-level tests. A deleted free() or a bound moved by
one (a read just past a buffer finds whatever lies there) usually changes
nothing a plain build can see; the leak checker and AddressSanitizer see it.
Each of the workers (--workers) has a scratch copy and builds of its own, so
that mutants build and run side by side; there is one more worker than cores,
since the real-window tests spend much of their time waiting on the clock.
Mutants listed in tools/mutants_equivalent.txt (no test can tell them from the
original, each with its reason) are reported, not run unless asked, and left
out of the score.

Not part of CI: a full run takes a long while. Run it before closing work that
changes src/, look at every survivor, and add the test that kills it or list it
as equivalent with its reason.

  tools/mutate.py                          every mutant
  tools/mutate.py --file src/model         mutants of matching files only
  tools/mutate.py --every 4 --offset 1     every 4th mutant, from the 2nd: a quick sample
  tools/mutate.py --max 20                 the first 20 selected
  tools/mutate.py --match fclose           mutants whose description contains a text
  tools/mutate.py --list                   print the selected mutants and stop
  tools/mutate.py --recheck-equivalent     run the listed equivalent mutants too

Exit status: 0 when no selected mutant survived, 1 otherwise, 2 on set-up errors.
"""

import argparse
import hashlib
import os
import re
import shutil
import signal
import queue
import resource
import subprocess
import sys
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRATCH = os.path.join(ROOT, "build-mutate")
EQUIVALENT_LIST = os.path.join(ROOT, "tools", "mutants_equivalent.txt")

RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
LOGICAL = {"&&": "||", "||": "&&"}
DELETED_CALLS = ("fflush", "fclose", "free")


class Mutant:
    def __init__(self, path, text, start, end, replacement, kind):
        self.path = path  # relative to the tree, e.g. src/model/mesh_3ds.cpp
        self.start, self.end, self.replacement, self.kind = start, end, replacement, kind
        self.line = text.count("\n", 0, start) + 1
        line_start = text.rfind("\n", 0, start) + 1
        line_end = text.find("\n", start)
        line_end = len(text) if line_end < 0 else line_end
        self.original_line = text[line_start:line_end].strip()
        mutated = text[line_start:start] + replacement + text[end:line_end]
        self.mutated_line = mutated.strip()
        self.change = "%s -> %s" % (text[start:end].strip() or "''", replacement.strip() or "''")

    def key(self):
        """What tools/mutants_equivalent.txt lists: the file, the change and the mutated line."""
        return "%s | %s | %s" % (self.path, self.change, self.mutated_line)

    def describe(self):
        return "%s:%d: %s: %s  |  %s" % (self.path, self.line, self.kind, self.change,
                                          self.mutated_line)

    def apply(self, text):
        return text[: self.start] + self.replacement + text[self.end :]


def code_mask(text):
    """True for each character that is code: not in a comment, a string or
    character literal, or a preprocessor line."""
    mask = [True] * len(text)
    i, n = 0, len(text)
    at_line_start = True
    while i < n:
        c = text[i]
        if at_line_start and c == "#":
            j = i
            while j < n and not (text[j] == "\n" and text[j - 1] != "\\"):
                j += 1
            mask[i:j] = [False] * (j - i)
            i = j
            continue
        if c == "\n":
            at_line_start = True
            i += 1
            continue
        if not c.isspace():
            at_line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            mask[i:j] = [False] * (j - i)
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            mask[i:j] = [False] * (j - i)
            i = j
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            mask[i:j] = [False] * (j - i)
            i = j
        else:
            i += 1
    return mask


def matching_paren(text, open_at):
    depth = 0
    for j in range(open_at, len(text)):
        if text[j] == "(":
            depth += 1
        elif text[j] == ")":
            depth -= 1
            if depth == 0:
                return j
    return -1


def static_assert_spans(text, mask):
    spans = []
    for m in re.finditer(r"\bstatic_assert\s*\(", text):
        if mask[m.start()]:
            close = matching_paren(text, m.end() - 1)
            spans.append((m.start(), close if close >= 0 else len(text)))
    return spans


def mutants_of(path, text):
    mask = code_mask(text)
    skipped = static_assert_spans(text, mask)

    def in_code(start, end):
        return all(mask[start:end]) and not any(a <= start < b for a, b in skipped)

    found = []
    for m in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", text):
        if in_code(m.start(), m.end()):
            found.append(Mutant(path, text, m.start(), m.end(), RELATIONAL[m.group(1)],
                                "relational"))
    for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", text):
        if in_code(m.start(), m.end()):
            found.append(Mutant(path, text, m.start(), m.end(), LOGICAL[m.group(1)], "logical"))
    for m in re.finditer(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)(?![\w.])", text):
        if not in_code(m.start(), m.end()):
            continue
        digits, suffix = m.group(1), m.group(2)
        hexadecimal = digits[:2].lower() == "0x"
        value = int(digits, 16 if hexadecimal else 10)
        for changed in (value + 1, value - 1):
            if changed < 0:
                written = "-1" if not suffix else None  # no negative unsigned literal
                if written is None:
                    continue
            else:
                written = ("0x%x" % changed if hexadecimal else str(changed)) + suffix
            found.append(Mutant(path, text, m.start(1), m.end(), written, "constant"))
    for m in re.finditer(r"\b(%s)\s*\(" % "|".join(DELETED_CALLS), text):
        if not in_code(m.start(), m.end()):
            continue
        close = matching_paren(text, m.end() - 1)
        after = close + 1
        while after < len(text) and text[after] in " \t":
            after += 1
        if close < 0 or after >= len(text) or text[after] != ";":
            continue  # only whole call statements are deleted
        found.append(Mutant(path, text, m.start(), after + 1, ";", "deleted call"))
    found.sort(key=lambda mutant: (mutant.start, mutant.kind, mutant.replacement))
    return found


# The program's own code: src/, and the glibc layer the native build links.
SOURCE_FOLDERS = ("src", "platform/glibc")


def source_files():
    files = []
    for top in SOURCE_FOLDERS:
        for directory, _, names in os.walk(os.path.join(ROOT, top)):
            for name in names:
                if name.endswith((".cpp", ".h")):
                    files.append(os.path.relpath(os.path.join(directory, name), ROOT))
    return sorted(files)


def read_equivalent():
    keys = set()
    if os.path.exists(EQUIVALENT_LIST):
        with open(EQUIVALENT_LIST, encoding="utf-8") as listing:
            for line in listing:
                line = line.strip()
                if line and not line.startswith("#"):
                    keys.add(line)
    return keys


def run(command, cwd=None, env=None, quiet=True):
    return subprocess.run(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE if quiet else None,
                          stderr=subprocess.STDOUT if quiet else None, text=True)


def sync_tree(tree):
    """Copies the working tree's files (tracked and new, not ignored) into a
    scratch tree, rewriting only those that differ so rebuilds stay incremental."""
    listed = run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=ROOT)
    if listed.returncode != 0:
        sys.exit("mutate.py: git ls-files failed:\n" + listed.stdout)
    for relative in filter(None, listed.stdout.split("\0")):
        source = os.path.join(ROOT, relative)
        if not os.path.isfile(source):
            continue  # deleted in the working tree
        target = os.path.join(tree, relative)
        with open(source, "rb") as f:
            wanted = f.read()
        if os.path.exists(target):
            with open(target, "rb") as f:
                if f.read() == wanted:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(wanted)
        shutil.copymode(source, target)


def configure(tree, build, options):
    if os.path.exists(os.path.join(build, "CMakeCache.txt")):
        return True
    # The suite's own build type, without debug information, which only slows
    # every relink; Ninja when there is one, for quicker incremental builds.
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    result = run(["cmake", "-S", tree, "-B", build, "-DBUILD_TESTING=ON",
                  "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG"] + generator + options)
    if result.returncode != 0:
        print(result.stdout)
    return result.returncode == 0


def build(directory, jobs, targets=()):
    return run(["cmake", "--build", directory, "-j", str(jobs)]
               + (["--target"] + list(targets) if targets else []))


def rebuilt_objects(directory, known):
    """The digests of a build's object files written since the last look;
    `known` keeps each one's size, time and digest, so only those are read."""
    digests = {}
    for folder, _, names in os.walk(directory):
        for name in names:
            if name.endswith(".o"):
                path = os.path.join(folder, name)
                status = os.stat(path)
                stamp = (status.st_size, status.st_mtime_ns)
                if known.get(path, (None,))[0] != stamp:
                    with open(path, "rb") as f:
                        known[path] = (stamp, hashlib.sha1(f.read()).hexdigest())
                    digests[path] = known[path][1]
    return digests


def dependents(tree, directory):
    """Each source file's objects in a Ninja build, from the headers and sources
    the compiler said each object read: {path in the tree: [object, ...]}."""
    if not os.path.exists(os.path.join(directory, "build.ninja")):
        return {}
    listed = run(["ninja", "-C", directory, "-t", "deps"])
    found, current = {}, None
    for line in listed.stdout.splitlines() if listed.returncode == 0 else ():
        if line and not line[0].isspace():
            current = line.split(": #deps")[0] if ": #deps" in line else None
        elif current and line.strip():
            path = os.path.relpath(os.path.normpath(line.strip()), tree)
            found.setdefault(path, []).append(current)
    return found


def cpu_seconds():
    """CPU time of this script's finished children (builds, tests and theirs)."""
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    return used.ru_utime + used.ru_stime


FAILED_TEST = re.compile(r"Test\s+#\d+: (\S+) \.+\s*(\S.*?)\s+[\d.]+ sec")
FAILED_CASE = re.compile(r"^\[  FAILED  \] (\S+)", re.MULTILINE)


def run_tests(directory, label_options, timeout, jobs, env=None):
    """None when every test passed, else (test, how it failed)."""
    result = run(["ctest", "--stop-on-failure", "-j", str(jobs), "--timeout", str(timeout)]
                 + label_options, cwd=directory, env=env)
    if result.returncode == 0:
        return None
    for failure in FAILED_TEST.finditer(result.stdout):
        if failure.group(2) not in ("Passed", "***Skipped"):  # "***Failed", "***Timeout"...
            return failure.group(1), " ".join(failure.group(2).replace("*", " ").split())
    return "ctest", result.stdout.strip().splitlines()[-1] if result.stdout.strip() else "failed"


def run_programs(directory, programs, timeout, env=None):
    """Call-level test programs run directly, each in one process: None when
    all pass, else (test, how it failed)."""
    for name in programs:
        program = os.path.join(directory, "tests", name)
        # A group of its own, so that a timeout also ends whatever it started (a
        # test that runs its program again alone), which would spin on unseen.
        process = subprocess.Popen([program], cwd=os.path.dirname(program), env=env,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, start_new_session=True)
        try:
            output = process.communicate(timeout=timeout)[0]
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.communicate()
            return name, "Timeout"
        if process.returncode != 0:
            case = FAILED_CASE.search(output.decode("utf-8", "replace"))
            if case:
                return case.group(1), "Failed"
            return name, ("signal %d" % -process.returncode if process.returncode < 0
                          else "exit status %d" % process.returncode)
    return None


# Each folder's call-level test programs, which kill most of its mutants in a
# second (the whole suite still runs on any they leave alive), and the label of
# the real-window tests that run its code: the die's own never start viewing or
# roll mode. The first folder a path starts with counts.
NEAREST_TESTS = (
    ("src/view/", ("model_view_test", "real_3ds_files_test"), "^view$"),
    ("src/app/view_mode.", ("model_view_test",), "^view$"),
    ("src/app/roll_mode.", ("roll_test",), "^roll$"),
    ("src/app/", ("scene_setup_test", "start_up_plain_test", "start_up_pips_test"), "window"),
    ("src/model/", ("read_3ds_mesh_test", "real_3ds_files_test"), "window"),
    ("src/texture/", ("bmp_texture_test", "bmp_texture_suite_test", "bmp_texture_counter_test",
                      "bmp_texture_counter_gap_test"), "window"),
    ("src/scene/", ("die_motion_test", "draw_frame_test"), "window"),
    # Every mode reads the chooser's options.
    ("src/roll/roll_chooser.", ("roll_test", "start_up_plain_test"), "window"),
    ("src/roll/", ("roll_test",), "^roll$"),
    ("platform/", ("malloc_tuning_test",), "window"))


def sanitized_env():
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = "detect_leaks=1"
    env["UBSAN_OPTIONS"] = "print_stacktrace=1"
    return env


class Worker:
    """A scratch copy of the working tree with builds of its own."""

    def __init__(self, number, jobs):
        home = SCRATCH if number == 0 else os.path.join(SCRATCH, "worker%d" % (number + 1))
        self.tree = os.path.join(home, "tree")
        self.plain = os.path.join(home, "plain")
        self.sanitized = os.path.join(home, "sanitized")
        self.jobs = jobs
        self.objects = {}  # path: (size and time, digest) of every object file
        self.unmutated = {}
        self.sanitized_ready = None
        self.dependents = {}  # without Ninja, equivalence waits for the whole build

    def set_up(self, jobs):
        """Builds the unmutated tree: None, or why it failed."""
        sync_tree(self.tree)
        if not configure(self.tree, self.plain, []):
            return "cmake failed"
        result = build(self.plain, jobs)
        if result.returncode != 0:
            return result.stdout[-4000:]
        self.unmutated = rebuilt_objects(self.plain, self.objects)
        self.dependents = dependents(self.tree, self.plain)
        return None

    def verdict(self, mutant, text, timeout):
        target = os.path.join(self.tree, mutant.path)
        with open(target, "w", encoding="utf-8") as f:
            f.write(mutant.apply(text))
        try:
            return self.judge(mutant.path, timeout)
        finally:
            with open(target, "w", encoding="utf-8") as f:
                f.write(text)

    def judge(self, path, timeout):
        """(verdict, detail): the folder's own test programs alone are built and
        run first; the rest is built only for a mutant they leave alive."""
        programs, windows = next(((programs, label) for folder, programs, label in NEAREST_TESTS
                                  if path.startswith(folder)), ((), "window"))
        rebuilt = {}

        def built(targets=()):
            ok = build(self.plain, self.jobs, targets).returncode == 0
            rebuilt.update(rebuilt_objects(self.plain, self.objects))
            return ok

        def same():  # every object compiled for this mutant is the original's
            return all(self.unmutated.get(name) == digest for name, digest in rebuilt.items())

        objects = self.dependents.get(path)
        if objects:  # every object that reads the file, and nothing else, compiled first
            if not built(objects):
                return "not built", ""
            if same():
                return "equivalent", "compiles to the same objects, not run"
        if not built(programs):
            return "not built", ""
        # The folder's own programs, plain and then sanitized, find most faults in
        # seconds, before the rest is built.
        failure = programs and not same() and (run_programs(self.plain, programs, timeout)
                                               or self.sanitized_failure(timeout, programs))
        if failure:
            return "killed", "by %s (%s)" % failure
        if not built():
            return "not built", ""
        if same():  # now that every object that could differ is built
            return "equivalent", "compiles to the same objects, not run"
        failure = (run_tests(self.plain, ["-LE", "window"], timeout, self.jobs)
                   or run_tests(self.plain, ["-L", windows, "--repeat", "until-pass:2"], timeout,
                                self.jobs)
                   or self.sanitized_failure(timeout))
        return ("killed", "by %s (%s)" % failure) if failure else ("survived", "")

    def sanitized_failure(self, timeout, programs=()):
        if self.sanitized_ready is None:
            print("mutate.py: building the sanitized tree in %s (once)"
                  % os.path.relpath(self.sanitized, ROOT), flush=True)
            self.sanitized_ready = configure(self.tree, self.sanitized, ["-DDICE_SANITIZE=ON"])
        if not self.sanitized_ready or build(self.sanitized, self.jobs, programs).returncode != 0:
            return None
        failure = (run_programs(self.sanitized, programs, timeout, sanitized_env()) if programs
                   else run_tests(self.sanitized, ["-LE", "window"], timeout, self.jobs,
                                  sanitized_env()))
        return failure and (failure[0] + ", sanitized", failure[1])


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n", 2)[2])
    parser.add_argument("--file", action="append", default=[],
                        help="only source files whose path contains this (repeatable)")
    parser.add_argument("--match", action="append", default=[],
                        help="only mutants whose description contains this (repeatable)")
    parser.add_argument("--every", type=int, default=1, help="take every K-th mutant")
    parser.add_argument("--offset", type=int, default=0, help="starting at this index (from 0)")
    parser.add_argument("--max", type=int, default=0, help="at most this many mutants")
    parser.add_argument("--list", action="store_true", help="list the mutants and stop")
    parser.add_argument("--recheck-equivalent", action="store_true",
                        help="run the mutants listed as equivalent too, to see that none is killed")
    parser.add_argument("--timeout", type=int, default=120,
                        help="seconds per test without a timeout of its own (default 120)")
    cores = os.cpu_count() or 1
    parser.add_argument("-j", "--jobs", type=int, default=cores,
                        help="cores to use in all (default: every one, %d)" % cores)
    parser.add_argument("--workers", type=int, default=0,
                        help="mutants built and run at once (default: one more than -j)")
    args = parser.parse_args()

    everything = []
    for path in source_files():
        with open(os.path.join(ROOT, path), encoding="utf-8") as f:
            text = f.read()
        everything.extend((mutant, text) for mutant in mutants_of(path, text))
    selected = [(m, t) for m, t in everything
                if (not args.file or any(part in m.path for part in args.file))
                and (not args.match or any(part in m.describe() for part in args.match))]
    selected = selected[args.offset :: max(args.every, 1)]
    if args.max > 0:
        selected = selected[: args.max]
    equivalent = read_equivalent()

    print("mutate.py: %d mutants in src/ and platform/glibc/, %d selected" % (len(everything), len(selected)))
    if args.list:
        for i, (mutant, _) in enumerate(selected, 1):
            mark = "  (listed as equivalent)" if mutant.key() in equivalent else ""
            print("%4d  %s%s" % (i, mutant.describe(), mark))
        return 0

    deps = run([os.path.join(ROOT, "tools", "install_deps.sh"), "test"], quiet=False)
    if deps.returncode != 0:
        return 2
    started, started_cpu = time.monotonic(), cpu_seconds()
    jobs = max(args.jobs, 1)
    count = min(max(args.workers or jobs + 1, 1), max(len(selected), 1))
    workers = [Worker(k, max(jobs // count, 1)) for k in range(count)]
    for worker in workers:
        print("mutate.py: building the unmutated tree in %s" % os.path.relpath(worker.plain, ROOT),
              flush=True)
        failed = worker.set_up(jobs)
        if failed:
            print(failed)
            print("mutate.py: the unmutated tree does not build", file=sys.stderr)
            return 2
    broken = (run_tests(workers[0].plain, ["-LE", "window"], args.timeout, jobs)
              or run_tests(workers[0].plain, ["-L", "window", "--repeat", "until-pass:2"],
                           args.timeout, jobs))
    if broken:
        print("mutate.py: the unmutated tree fails %s (%s); fix that first" % broken,
              file=sys.stderr)
        return 2

    counts = {"killed": 0, "survived": 0, "equivalent": 0, "not built": 0}
    survivors = []
    todo = queue.Queue()
    printing = threading.Lock()
    stopping = threading.Event()

    def report(i, verdict, mutant, detail):
        with printing:
            counts[verdict] += 1
            if verdict == "survived":
                survivors.append((i, mutant))
            print("%4d/%d %-10s %s  %s" % (i, len(selected), verdict, mutant.describe(), detail),
                  flush=True)

    for i, (mutant, text) in enumerate(selected, 1):
        if mutant.key() in equivalent and not args.recheck_equivalent:
            report(i, "equivalent", mutant, "listed, not run")
        else:
            todo.put((i, mutant, text))

    def work(worker):
        while not stopping.is_set():
            try:
                i, mutant, text = todo.get_nowait()
            except queue.Empty:
                return
            began = time.monotonic()
            verdict, detail = worker.verdict(mutant, text, args.timeout)
            if mutant.key() in equivalent:
                if verdict == "killed":
                    detail += "; listed as equivalent, wrongly"
                elif verdict == "survived":
                    verdict = "equivalent"
            report(i, verdict, mutant, "%s [%.0f s]" % (detail, time.monotonic() - began))

    threads = [threading.Thread(target=work, args=(worker,), daemon=True) for worker in workers]
    try:
        for thread in threads:
            thread.start()
        for thread in threads:
            while thread.is_alive():
                thread.join(1)
    except KeyboardInterrupt:
        stopping.set()  # each worker ends its mutant and puts its file back
        for thread in threads:
            thread.join()
    finally:
        for worker in workers:
            sync_tree(worker.tree)  # whatever happened, the scratch trees are the working tree

    scored = counts["killed"] + counts["survived"]
    print("\nmutate.py: %d in %.0f min (%.0f CPU min, %d workers, set-up included): %d killed, "
          "%d survived, %d equivalent (listed or compiled the same), %d did not build"
          % (len(selected), (time.monotonic() - started) / 60, (cpu_seconds() - started_cpu) / 60,
             count, counts["killed"], counts["survived"], counts["equivalent"],
             counts["not built"]))
    if scored:
        print("mutate.py: score %d of %d non-equivalent mutants killed (%.1f%%)"
              % (counts["killed"], scored, 100.0 * counts["killed"] / scored))
    for _, mutant in sorted(survivors, key=lambda survivor: survivor[0]):
        print("  survived: " + mutant.describe())
        print("            equivalent? list as: " + mutant.key())
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
