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
build-mutate/, rebuilt incrementally, and run against the suite: the call-level
tests first, then the real-window tests (for code only viewing mode runs, those
labelled "view"), stopping at the first failure. A deleted free() usually
changes nothing a plain build can see, and neither does a bound moved by one (a
read just past a buffer finds whatever lies there), so every survivor is run
again through the sanitized call-level tests, where the leak checker and
AddressSanitizer see it. A mutant whose objects compile to the very
bytes of the original's is the same program: it is reported as equivalent
without being run. Mutants listed in tools/mutants_equivalent.txt (no test can
tell them from the original, each with its reason) are reported, not run unless
asked, and left out of the score.

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
import subprocess
import resource
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRATCH = os.path.join(ROOT, "build-mutate")
TREE = os.path.join(SCRATCH, "tree")
PLAIN = os.path.join(SCRATCH, "plain")
SANITIZED = os.path.join(SCRATCH, "sanitized")
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


def sync_tree():
    """Copies the working tree's files (tracked and new, not ignored) into the
    scratch tree, rewriting only those that differ so rebuilds stay incremental."""
    listed = run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"], cwd=ROOT)
    if listed.returncode != 0:
        sys.exit("mutate.py: git ls-files failed:\n" + listed.stdout)
    for relative in filter(None, listed.stdout.split("\0")):
        source = os.path.join(ROOT, relative)
        if not os.path.isfile(source):
            continue  # deleted in the working tree
        target = os.path.join(TREE, relative)
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


def configure(build, options):
    if os.path.exists(os.path.join(build, "CMakeCache.txt")):
        return True
    # The suite's own build type, without debug information, which only slows
    # every relink; Ninja when there is one, for quicker incremental builds.
    generator = ["-G", "Ninja"] if shutil.which("ninja") else []
    result = run(["cmake", "-S", TREE, "-B", build, "-DBUILD_TESTING=ON",
                  "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG"] + generator + options)
    if result.returncode != 0:
        print(result.stdout)
    return result.returncode == 0


def build(directory, jobs):
    return run(["cmake", "--build", directory, "-j", str(jobs)])


def object_code(directory, known):
    """The digest of every object file of a build; `known` caches them by path,
    size and time, so only the objects just rebuilt are read again."""
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


def cpu_seconds():
    """CPU time of this script's finished children (builds, tests and theirs)."""
    used = resource.getrusage(resource.RUSAGE_CHILDREN)
    return used.ru_utime + used.ru_stime


FAILED_TEST = re.compile(r"Test\s+#\d+: (\S+) \.+\s*(\S.*?)\s+[\d.]+ sec")


def run_tests(directory, label_options, timeout, env=None):
    """None when every test passed, else (test, how it failed)."""
    result = run(["ctest", "--stop-on-failure", "-j2", "--timeout", str(timeout)] + label_options,
                 cwd=directory, env=env)
    if result.returncode == 0:
        return None
    for failure in FAILED_TEST.finditer(result.stdout):
        if failure.group(2) != "Passed":  # e.g. "***Failed", "Subprocess aborted***Exception:"
            return failure.group(1), " ".join(failure.group(2).replace("*", " ").split())
    return "ctest", result.stdout.strip().splitlines()[-1] if result.stdout.strip() else "failed"


# The call-level tests of the code's own folder, which kill most of its mutants in
# a second or two (the whole suite still runs on any they leave alive), and the
# real-window tests that run it: the die's own never start viewing mode, so for
# code only viewing mode runs, those labelled "view".
NEAREST_TESTS = (("src/view/", "view|texture_lookup", "^view$"),
                 ("src/app/view_mode.", "view", "^view$"),
                 ("src/model/", "reader|real_3ds|broken_files|odd_files|read_3ds", "window"),
                 ("src/texture/", "bmp|texture_names|web_mipmaps", "window"),
                 ("src/scene/", "die_|throw_path|frame", "window"),
                 ("src/roll/", "roll|die_faces", "window"), ("platform/", "malloc", "window"))


def suite_verdict(timeout, path=""):
    """Call-level tests first, then the real-window tests that run the file at
    `path`. A window test that fails runs once more before it counts: a busy
    machine has failed one on the unmutated tree."""
    own, windows = next(((tests, label) for folder, tests, label in NEAREST_TESTS
                         if path.startswith(folder)), (None, "window"))
    return ((own and run_tests(PLAIN, ["-LE", "window", "-R", own], timeout))
            or run_tests(PLAIN, ["-LE", "window"], timeout)
            or run_tests(PLAIN, ["-L", windows, "--repeat", "until-pass:2"], timeout))


def sanitized_env():
    env = dict(os.environ)
    env["ASAN_OPTIONS"] = "detect_leaks=1"
    env["UBSAN_OPTIONS"] = "print_stacktrace=1"
    return env


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
    parser.add_argument("-j", "--jobs", type=int, default=2, help="build jobs (default 2)")
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
    os.makedirs(SCRATCH, exist_ok=True)
    sync_tree()
    if not configure(PLAIN, []):
        return 2
    print("mutate.py: building and testing the unmutated tree in %s" % os.path.relpath(PLAIN, ROOT),
          flush=True)
    baseline = build(PLAIN, args.jobs)
    if baseline.returncode != 0:
        print(baseline.stdout[-4000:])
        print("mutate.py: the unmutated tree does not build", file=sys.stderr)
        return 2
    broken = suite_verdict(args.timeout)
    if broken:
        print("mutate.py: the unmutated tree fails %s (%s); fix that first" % broken,
              file=sys.stderr)
        return 2
    sanitized_ready = False
    objects = {}
    unmutated = object_code(PLAIN, objects)

    counts = {"killed": 0, "survived": 0, "equivalent": 0, "not built": 0}
    survivors = []
    started, started_cpu = time.monotonic(), cpu_seconds()
    try:
        for i, (mutant, text) in enumerate(selected, 1):
            began, began_cpu = time.monotonic(), cpu_seconds()
            target = os.path.join(TREE, mutant.path)
            listed = mutant.key() in equivalent
            if listed and not args.recheck_equivalent:
                counts["equivalent"] += 1
                print("%4d/%d %-10s %s  listed, not run" % (i, len(selected), "equivalent",
                                                           mutant.describe()), flush=True)
                continue
            with open(target, "w", encoding="utf-8") as f:
                f.write(mutant.apply(text))
            verdict, detail = "not built", ""
            built = build(PLAIN, args.jobs).returncode == 0
            if built and object_code(PLAIN, objects) == unmutated:
                verdict, detail = "equivalent", "compiles to the same objects, not run"
            elif built:
                failure = suite_verdict(args.timeout, mutant.path)
                if not failure:
                    if not sanitized_ready:
                        print("mutate.py: building the sanitized tree in %s (once)"
                              % os.path.relpath(SANITIZED, ROOT), flush=True)
                        sanitized_ready = configure(SANITIZED, ["-DDICE_SANITIZE=ON"])
                    if sanitized_ready and build(SANITIZED, args.jobs).returncode == 0:
                        failure = run_tests(SANITIZED, ["-LE", "window"], args.timeout,
                                            sanitized_env())
                        if failure:
                            failure = (failure[0] + ", sanitized", failure[1])
                if failure:
                    verdict, detail = "killed", "by %s (%s)" % failure
                    if listed:
                        detail += "; listed as equivalent, wrongly"
                elif listed:
                    verdict = "equivalent"
                else:
                    verdict = "survived"
                    survivors.append(mutant)
            counts[verdict] += 1
            print("%4d/%d %-10s %s  %s [%.0f s, %.0f s CPU]"
                  % (i, len(selected), verdict, mutant.describe(), detail,
                     time.monotonic() - began, cpu_seconds() - began_cpu), flush=True)
            with open(target, "w", encoding="utf-8") as f:
                f.write(text)
    finally:
        sync_tree()  # whatever happened, the scratch tree is the working tree again

    scored = counts["killed"] + counts["survived"]
    print("\nmutate.py: %d in %.0f min (%.0f CPU min): %d killed, %d survived, %d equivalent "
          "(listed or compiled the same), %d did not build"
          % (len(selected), (time.monotonic() - started) / 60, (cpu_seconds() - started_cpu) / 60,
             counts["killed"], counts["survived"], counts["equivalent"], counts["not built"]))
    if scored:
        print("mutate.py: score %d of %d non-equivalent mutants killed (%.1f%%)"
              % (counts["killed"], scored, 100.0 * counts["killed"] / scored))
    for mutant in survivors:
        print("  survived: " + mutant.describe())
        print("            equivalent? list as: " + mutant.key())
    return 1 if survivors else 0


if __name__ == "__main__":
    sys.exit(main())
