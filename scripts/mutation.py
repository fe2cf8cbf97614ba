#!/usr/bin/env python3
"""Helper of scripts/mutation.sh: measures how many small faults the host tests catch.

Run it through scripts/mutation.sh (its usage text is below, in USAGE).

How it works. The chosen source files are scanned for mutation sites, with comments, string
and character literals and preprocessor lines left out. A seed picks a fixed number of sites,
spread evenly over four areas and, inside each, over the kinds of mutation; the picks are
numbered in file order, so one tree and one seed always give the same list. The developer's
tree is only read: its files are copied into build/mutation/src (only those that differ), the
host preset is configured there, the tests built and run once unchanged (a failure there is an
error), and then each mutant in turn is written into its one file, built incrementally, run
against the test programs ctest lists, and undone. A mutant that does not compile is "not
viable" and left out of the rate; a test program that fails, crashes or outlives the time limit
kills it.
"""

import argparse
import fcntl
import json
import os
import random
import re
import resource
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

USAGE = """\
Usage: scripts/mutation.sh [--list] [--only N[,N...]] [--seed N] [--count N]
                           [--timeout SECS] [--jobs N]

  --list          print the mutants (number, area, place, kind, before and after) and stop
  --only LIST     run only these mutants, by the numbers --list prints (3,17 or 10-12)
  --seed N        the seed that picks the mutants (default 12)
  --count N       how many mutants to pick (default 70)
  --timeout SECS  time limit of one test program on one mutant (default: ten times its
                  unmutated run, at least 20 s); a program still running then kills the mutant
  --jobs N        parallel build jobs (default: ninja's own choice)

It works in build/mutation/ (a copy of the tree with its own host build) and never writes to
the tree it is run from. Output: one line per mutant, then the surviving and the not viable
mutants, and last "mutation: K killed of N viable (P %), S survived, X not viable". Exit status
0 whatever the rate; 2 when the unmutated tests fail, the build cannot be made or an argument
is wrong.
Per-mutant logs: build/mutation/logs/; the results as JSON: build/mutation/results.json.
"""

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(REPO, "build", "mutation")
SCRATCH = os.path.join(WORK, "src")
PRESET = "host"
BUILD = os.path.join(SCRATCH, "build", PRESET)
LOGS = os.path.join(WORK, "logs")

# The four areas, in the order they are listed and share the count. Each names the source
# files it mutates (headers are left out: a change there rebuilds most of the tree) and, for
# a file shared with another area, the functions and constants of that file that are its own.
AREAS = [
    ("calls", "call logic", ["src/app/*.cpp"]),
    ("meter", "sound level meter", ["src/audio/*.cpp"]),
    ("settings", "settings file", ["src/settings/*.cpp", "testing/headless/ini_text.cpp"]),
    ("startup", "start-up", ["src/setup/*.cpp"]),
]
# Parts of src/app that are start-up rather than call logic: Form_Load and what it calls only
# from there, the countdown's length, and the bridge's steps that only start-up takes.
STARTUP_PARTS = {
    "src/app/frmMain.cpp": {
        "functions": ["Form_Load", "StartUp", "AskForSettings", "LoadCallSettings",
                      "ShowWait", "SetWaitCaption", "UnloadWait", "CountDown"],
        "constants": ["kCountdownSeconds"],
    },
    "src/app/call_bridge.cpp": {
        "functions": ["CreateClient", "StartClient", "TryAttach", "SoftphoneRuns"],
        "constants": [],
    },
}

KINDS = ["compare", "logic", "negate", "constant", "drop", "swap"]
KIND_TEXT = {
    "compare": "flip comparison",
    "logic": "&& <-> ||",
    "negate": "negate condition",
    "constant": "constant +-1",
    "drop": "drop statement",
    "swap": "swap statements",
}


def die(message):
    """Stops with status 2: a wrong argument, a stale build, a tree the script does not fit."""
    print(message, file=sys.stderr)
    sys.exit(2)


# ---------------------------------------------------------------------------------------------
# Finding mutation sites


def mask_code(code):
    """`code` with comments blanked to spaces, the contents of string and character literals
    replaced by 'x' (their quotes kept) and preprocessor lines blanked; same length, same line
    breaks, so every offset still points at the same character of the original."""
    out = list(code)
    n = len(code)
    i = 0
    line_start = True

    def blank(a, b, fill):
        for k in range(a, b):
            if out[k] != "\n":
                out[k] = fill

    while i < n:
        c = code[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if line_start and c in " \t":
            i += 1
            continue
        if line_start and c == "#":
            # A directive, with its continuation lines.
            j = i
            while j < n and not (code[j] == "\n" and code[j - 1] != "\\"):
                j += 1
            blank(i, j, " ")
            i = j
            continue
        line_start = False
        if code.startswith("//", i):
            j = code.find("\n", i)
            j = n if j < 0 else j
            blank(i, j, " ")
            i = j
            continue
        if code.startswith("/*", i):
            j = code.find("*/", i + 2)
            j = n if j < 0 else j + 2
            blank(i, j, " ")
            i = j
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^(\s]*)\(', code[i:])
        if raw and (i == 0 or not (code[i - 1].isalnum() or code[i - 1] == "_")):
            close = ")" + raw.group(1) + '"'
            body = i + raw.end()
            j = code.find(close, body)
            j = n if j < 0 else j
            blank(body, j, "x")
            i = j + len(close)
            continue
        if c == '"' or (c == "'" and not is_digit_separator(code, i)):
            j = i + 1
            while j < n and code[j] != c and code[j] != "\n":
                j += 2 if code[j] == "\\" else 1
            blank(i + 1, min(j, n), "x")
            i = j + 1
            continue
        i += 1
    return "".join(out)


def is_digit_separator(code, i):
    """Whether the quote at `i` separates digits (1'000) rather than opening a character."""
    j = i
    while j > 0 and (code[j - 1].isalnum() or code[j - 1] in "'_"):
        j -= 1
    return j < i and code[j].isdigit()


def line_of(text, offset):
    return text.count("\n", 0, offset) + 1


def line_bounds(text, offset):
    a = text.rfind("\n", 0, offset) + 1
    b = text.find("\n", offset)
    return a, (len(text) if b < 0 else b)


def match_forward(masked, open_at):
    """Offset of the bracket closing the one at `open_at`, or -1."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    stack = []
    for k in range(open_at, len(masked)):
        ch = masked[k]
        if ch in pairs:
            stack.append(pairs[ch])
        elif ch in ")]}":
            if not stack or stack.pop() != ch:
                return -1
            if not stack:
                return k
    return -1


def match_backward(masked, close_at):
    pairs = {")": "(", "]": "[", "}": "{"}
    stack = []
    for k in range(close_at, -1, -1):
        ch = masked[k]
        if ch in pairs:
            stack.append(pairs[ch])
        elif ch in "([{":
            if not stack or stack.pop() != ch:
                return -1
            if not stack:
                return k
    return -1


def previous_significant(masked, offset):
    k = offset - 1
    while k >= 0 and masked[k].isspace():
        k -= 1
    return k


def layout_ranges(masked):
    """Spans whose numbers are the layout of forms in twips, not logic: constructors' member
    initialiser lists (`X::X(...) : a(..), b(..) {`), functions returning a Bounds, and
    Bounds{...} values."""
    ranges = []
    for m in re.finditer(r"^(?:\w+::)*(\w+)::(\w+)\(", masked, re.M):
        if m.group(1) != m.group(2):
            continue
        close = match_forward(masked, m.end() - 1)
        if close < 0:
            continue
        colon = re.compile(r"\s*:(?!:)").match(masked, close + 1)
        if not colon:
            continue
        depth = 0
        for k in range(colon.end(), len(masked)):
            ch = masked[k]
            if ch in "([":
                depth += 1
            elif ch in ")]":
                depth -= 1
            elif ch == "{" and depth == 0 and masked[previous_significant(masked, k)] in ")}":
                ranges.append((colon.end(), k))
                break
    for m in re.finditer(r"^(?:forms::)?Bounds\s+[\w:]+\(", masked, re.M):
        body = masked.find("{", match_forward(masked, m.end() - 1))
        ranges.append((m.start(), match_forward(masked, body) + 1))
    for m in re.finditer(r"\bBounds\{", masked):
        ranges.append((m.start(), match_forward(masked, m.end() - 1) + 1))
    return ranges


def named_parts(masked, names):
    """Spans of the definitions of these functions (`... Class::Name(...) {...}`) and constants
    (`... Name = ...;`) in one file; every name must be found."""
    spans = []
    for name in names.get("functions", []):
        m = re.search(r"^[^\n;{}]*\b\w+::" + re.escape(name) + r"\(", masked, re.M)
        if not m:
            die(f"mutation: function {name} not found; update STARTUP_PARTS")
        body = masked.find("{", match_forward(masked, m.end() - 1))
        spans.append((m.start(), match_forward(masked, body) + 1))
    for name in names.get("constants", []):
        m = re.search(r"^[^\n;{}]*\b" + re.escape(name) + r"\s*=[^;]*;", masked, re.M)
        if not m:
            die(f"mutation: constant {name} not found; update STARTUP_PARTS")
        spans.append((m.start(), m.end()))
    return spans


@dataclass
class Site:
    path: str  # relative to the tree
    kind: str
    start: int  # offset of the replaced text in the file
    end: int
    replacement: str
    area: str = ""
    number: int = 0
    line: int = 0
    before: str = ""
    after: str = ""

    def key(self):
        return (self.path, self.start, self.end, self.kind, self.replacement)


STATEMENT_KEYWORDS = {"return", "throw", "delete", "goto", "co_return", "co_yield", "co_await",
                      "break", "continue", "case", "default", "else", "do", "using", "typedef"}
CALL_HEAD = re.compile(r"[A-Za-z_][\w.:\[\]]*(?:->[\w.:\[\]]+)*(?:<[\w:, ]*>)?\(")
ASSIGN_HEAD = re.compile(
    r"\*?[A-Za-z_][\w.:\[\]]*(?:->[\w.:\[\]]+)*\s*(?:=|\+=|-=|\*=|/=|%=|\|=|&=|\^=|<<=|>>=)(?!=)")
STEP = re.compile(r"(?:\+\+|--)[A-Za-z_][\w.\[\]]*(?:->[\w.\[\]]+)*\s*;|"
                  r"[A-Za-z_][\w.\[\]]*(?:->[\w.\[\]]+)*(?:\+\+|--)\s*;")


def statement_at(masked, offset):
    """The end (one past ';') of a call, assignment or increment statement starting at
    `offset`, or -1. The statement must open its line and follow the end of another statement,
    a brace, a label or the head of if/for/while/else."""
    a, _ = line_bounds(masked, offset)
    if masked[a:offset].strip():
        return -1
    word = re.match(r"[A-Za-z_]\w*", masked[offset:])
    if word and word.group(0) in STATEMENT_KEYWORDS:
        return -1
    if not (CALL_HEAD.match(masked, offset) or ASSIGN_HEAD.match(masked, offset)
            or STEP.match(masked, offset)):
        return -1
    p = previous_significant(masked, offset)
    if p >= 0 and masked[p] not in ";{}":
        if masked[p] == ")":
            opener = match_backward(masked, p)
            if opener < 0 or not re.search(r"\b(if|for|while)\s*$", masked[:opener]):
                return -1
        elif masked[p] == ":" and not masked[p - 1] == ":":
            la, lb = line_bounds(masked, p)
            if not re.match(r"\s*(case\b.*|default\s*):\s*$", masked[la:lb]):
                return -1
        elif not re.search(r"\belse$", masked[: p + 1]):
            return -1
    depth = 0
    for k in range(offset, len(masked)):
        ch = masked[k]
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
            if depth < 0:
                return -1
        elif ch == ";" and depth == 0:
            return k + 1
    return -1


def statements(masked):
    found = []
    for m in re.finditer(r"^[ \t]*(?=\S)", masked, re.M):
        end = statement_at(masked, m.end())
        if end > 0:
            found.append((m.end(), end))
    return found


def side_effect_free_assignment(masked, span):
    """An assignment whose right side is a lambda or calls nothing (`a.b = 3;`,
    `x.Click = [this] { ... };`). Returns (target, value text) or None."""
    text = masked[span[0]:span[1]].strip()
    m = re.fullmatch(r"([\w.\[\]>-]+)\s*=\s*(.+);", text, re.S)
    if not m:
        return None
    value = m.group(2).strip()
    if value.startswith("[") and value.endswith("}"):
        return m.group(1), value
    if "(" not in value and "=" not in value:
        return m.group(1), value
    return None


def operator_group(masked, offset):
    """The span of the innermost bracket group (or the statement) holding `offset`."""
    depth = 0
    k = offset
    while k > 0:
        k -= 1
        ch = masked[k]
        if ch in ")]}":
            depth += 1
        elif ch in "([{":
            if depth == 0:
                break
            depth -= 1
        elif ch == ";" and depth == 0:
            break
    start = k + 1
    depth = 0
    k = offset
    while k < len(masked):
        ch = masked[k]
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            if depth == 0:
                break
            depth -= 1
        elif ch in ";," and depth == 0:
            break
        k += 1
    return start, k


def top_level_operators(masked, a, b):
    ops = []
    depth = 0
    k = a
    while k < b:
        ch = masked[k]
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
        elif depth == 0 and masked.startswith(("&&", "||"), k):
            ops.append((k, masked[k:k + 2]))
            k += 2
            continue
        k += 1
    return ops


def find_sites(path, code):
    masked = mask_code(code)
    excluded = layout_ranges(masked)
    sites = []

    def add(kind, start, end, replacement):
        if kind == "constant" and any(a <= start < b for a, b in excluded):
            return
        sites.append(Site(path, kind, start, end, replacement))

    # Comparisons, with spaces around them as the formatter writes binary operators (which
    # leaves out template brackets, arrows and shifts).
    flips = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
    for m in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", masked):
        add("compare", m.start(), m.end(), flips[m.group(1)])

    # && and ||, unless the change would mix both in one group unparenthesised (which the
    # compiler rejects under -Werror=parentheses, and which is a different fault anyway).
    for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", masked):
        a, b = operator_group(masked, m.start())
        others = {op for k, op in top_level_operators(masked, a, b) if k != m.start()}
        new = "||" if m.group(1) == "&&" else "&&"
        if others - {new}:
            continue
        add("logic", m.start(), m.end(), new)

    # Conditions of if and while, without an init-statement or a declaration in them.
    for m in re.finditer(r"\b(if|while)\s*\(", masked):
        if re.match(r"\s*constexpr", masked[m.end():]):
            continue
        close = match_forward(masked, m.end() - 1)
        if close < 0:
            continue
        inner = masked[m.end():close]
        if ";" in inner or re.search(r"(?<![=!<>])=(?!=)", inner):
            continue
        add("negate", m.end(), close, "!(" + code[m.end():close] + ")")

    # Integer literals, decimal or hex, with their suffix.
    for m in re.finditer(r"(?<![\w.'])(0[xX][0-9a-fA-F']+|\d[\d']*)([uUlLzZ]*)(?![\w.'])",
                         masked):
        digits = m.group(1).replace("'", "")
        value = int(digits, 16) if digits[:2] in ("0x", "0X") else int(digits)

        def spell(v, hexa=digits[:2] in ("0x", "0X"), lower=re.search("[a-f]", digits[2:])):
            if not hexa:
                return str(v)
            return digits[:2] + format(v, "x" if lower else "X")

        # One change per literal: 0 becomes 1, any other value one less.
        add("constant", m.start(1), m.end(1), spell(value - 1 if value else 1))

    # Statements: dropped (an empty block keeps an unbraced if or loop well formed), and
    # adjacent pairs at one indentation swapped.
    spans = statements(masked)
    for a, b in spans:
        add("drop", a, b, "{}")
    for (a1, b1), (a2, b2) in zip(spans, spans[1:]):
        between = masked[b1:a2]
        if between.count("\n") != 1 or between.strip():
            continue
        if a1 - line_bounds(masked, a1)[0] != a2 - line_bounds(masked, a2)[0]:
            continue
        first, second = code[a1:b1], code[a2:b2]
        if first == second:
            continue
        # Two assignments without side effects, to different targets neither reads, give the
        # same program in either order.
        p1 = side_effect_free_assignment(masked, (a1, b1))
        p2 = side_effect_free_assignment(masked, (a2, b2))
        if p1 and p2 and p1[0] != p2[0] and p1[0] not in p2[1] and p2[0] not in p1[1]:
            continue
        add("swap", a1, b2, second + between + first)

    return sites


def describe(site, code):
    """Fills line, before and after: the changed lines as they were and as they become."""
    a, _ = line_bounds(code, site.start)
    _, b = line_bounds(code, max(site.start, site.end - 1))
    mutated = code[a:site.start] + site.replacement + code[site.end:b]
    site.line = line_of(code, site.start)
    site.before = " ".join(code[a:b].split())
    site.after = " ".join(mutated.split())


def area_files(root, patterns):
    found = []
    for pattern in patterns:
        folder, name = os.path.split(pattern)
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        regex = re.compile("^" + re.escape(name).replace(r"\*", ".*") + "$")
        for entry in sorted(os.listdir(base)):
            if regex.match(entry) and os.path.isfile(os.path.join(base, entry)):
                found.append(os.path.join(folder, entry))
    return found


def all_sites(root, tracked):
    """Every candidate, by area; each list in file and offset order."""
    by_area = {name: [] for name, _, _ in AREAS}
    seen_files = set()
    for name, _, patterns in AREAS:
        for path in area_files(root, patterns):
            if path in seen_files or path not in tracked:
                continue
            seen_files.add(path)
            with open(os.path.join(root, path), encoding="utf-8") as f:
                code = f.read()
            sites = find_sites(path, code)
            startup = []
            if path in STARTUP_PARTS:
                startup = named_parts(mask_code(code), STARTUP_PARTS[path])
            for site in sites:
                describe(site, code)
                in_startup = any(a <= site.start < b for a, b in startup)
                site.area = "startup" if in_startup else name
                by_area[site.area].append(site)
    for sites in by_area.values():
        sites.sort(key=lambda s: (s.path, s.start, KINDS.index(s.kind), s.end, s.replacement))
    return by_area


def choose(by_area, seed, count):
    """`count` sites: shared evenly by the areas (what one cannot fill goes to the others),
    and inside an area taken in turn from each kind, each kind's sites in seeded order."""
    quotas = {name: 0 for name in by_area}
    left = count
    open_areas = [name for name in by_area if by_area[name]]
    while left > 0 and open_areas:
        share, extra = divmod(left, len(open_areas))
        progressed = False
        for i, name in enumerate(list(open_areas)):
            want = share + (1 if i < extra else 0)
            take = min(want, len(by_area[name]) - quotas[name])
            quotas[name] += take
            left -= take
            progressed = progressed or take > 0
        open_areas = [n for n in open_areas if quotas[n] < len(by_area[n])]
        if not progressed:
            break
    chosen = []
    for name in by_area:
        rng = random.Random(f"tavoro-mutation:{seed}:{name}")
        queues = []
        for kind in KINDS:
            of_kind = [s for s in by_area[name] if s.kind == kind]
            rng.shuffle(of_kind)
            queues.append(of_kind)
        picked = []
        while len(picked) < quotas[name]:
            for queue in queues:
                if queue and len(picked) < quotas[name]:
                    picked.append(queue.pop(0))
        chosen += sorted(picked, key=lambda s: (s.path, s.start, KINDS.index(s.kind)))
    for number, site in enumerate(chosen, 1):
        site.number = number
    return chosen


# ---------------------------------------------------------------------------------------------
# The scratch tree and its build


def run(command, cwd, log=None):
    """Runs a command to its end; returns (exit code, seconds, output)."""
    started = time.monotonic()
    proc = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    seconds = time.monotonic() - started
    text = proc.stdout.decode("utf-8", "replace")
    if log:
        log.write(f"$ {' '.join(command)}  (in {cwd})\n{text}\n-> {proc.returncode} in "
                  f"{seconds:.1f} s\n\n")
        log.flush()
    return proc.returncode, seconds, text


def tree_files():
    """The files of the developer's tree as it stands: tracked ones that exist, and new ones
    git does not ignore (a test being written counts)."""
    out = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                         cwd=REPO, check=True, stdout=subprocess.PIPE).stdout
    names = sorted({n for n in out.decode("utf-8").split("\0") if n})
    return [n for n in names if os.path.lexists(os.path.join(REPO, n))]


def write_newer(path, data, newer_than=0):
    """Writes `data` to `path` and makes sure its time is past `newer_than` (nanoseconds) and
    the present, so ninja sees the file as changed however fast the edits come."""
    with open(path, "wb") as f:
        f.write(data)
    stamp = max(time.time_ns(), newer_than + 1_000_000)
    os.utime(path, ns=(stamp, stamp))


def sync_scratch(files):
    """Makes build/mutation/src hold exactly the tree's files, writing only those that differ
    (so the build there stays incremental) and leaving its build/ alone."""
    os.makedirs(SCRATCH, exist_ok=True)
    wanted = set(files)
    changed = 0
    for name in files:
        source = os.path.join(REPO, name)
        target = os.path.join(SCRATCH, name)
        if os.path.islink(source):
            link = os.readlink(source)
            if not (os.path.islink(target) and os.readlink(target) == link):
                if os.path.lexists(target):
                    os.remove(target)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                os.symlink(link, target)
                changed += 1
            continue
        with open(source, "rb") as f:
            data = f.read()
        if os.path.islink(target):
            os.remove(target)
        current = None
        if os.path.isfile(target):
            with open(target, "rb") as f:
                current = f.read()
        if current != data:
            os.makedirs(os.path.dirname(target), exist_ok=True)
            write_newer(target, data, newer_than=newest_object_ns(name))
            changed += 1
        shutil.copymode(source, target)
    for root, dirs, names in os.walk(SCRATCH):
        rel_root = os.path.relpath(root, SCRATCH)
        if rel_root == ".":
            dirs[:] = [d for d in dirs if d != "build"]
        for n in names:
            rel = os.path.normpath(os.path.join(rel_root, n))
            if rel not in wanted:
                os.remove(os.path.join(root, n))
                changed += 1
    return changed


def newest_object_ns(source_rel):
    """The newest modification time of the objects compiled from this source, or 0. CMake
    names them <target>.dir/<path from the CMakeLists folder>.o."""
    newest = 0
    if os.path.isdir(BUILD):
        for root, _, names in os.walk(BUILD):
            for n in names:
                if n != os.path.basename(source_rel) + ".o":
                    continue
                path = os.path.join(root, n).replace(os.sep, "/")
                inside = path.split(".dir/", 1)[-1][: -len(".o")]
                if ("/" + source_rel).endswith("/" + inside):
                    newest = max(newest, os.stat(os.path.join(root, n)).st_mtime_ns)
    return newest


@dataclass
class TestProgram:
    name: str
    command: list
    cwd: str
    env: dict
    compiled: bool
    baseline_seconds: float = 0.0
    limit: float = 0.0


def host_tests():
    out = subprocess.run(["ctest", "--preset", PRESET, "--show-only=json-v1"], cwd=SCRATCH,
                         check=True, stdout=subprocess.PIPE).stdout
    programs = []
    for test in json.loads(out)["tests"]:
        props = {p["name"]: p["value"] for p in test.get("properties", [])}
        env = dict(os.environ)
        for item in props.get("ENVIRONMENT", []):
            key, _, value = item.partition("=")
            env[key] = value
        command = test["command"]
        compiled = os.path.abspath(command[0]).startswith(BUILD + os.sep)
        programs.append(TestProgram(test["name"], command, props.get("WORKING_DIRECTORY", BUILD),
                                    env, compiled))
    return programs


def run_program(program, log, timeout):
    """Runs one test program, stopping at its first failure. Returns (status, seconds,
    output): status is the exit code, "signal N" when a signal ended it, or "timeout" when it
    was still running after `timeout` seconds (it and its children are then killed)."""
    command = program.command + ["--gtest_fail_fast", "--gtest_brief=1"]
    started = time.monotonic()
    with subprocess.Popen(command, cwd=program.cwd, env=program.env, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, start_new_session=True,
                          preexec_fn=limit_memory) as proc:
        try:
            out, _ = proc.communicate(timeout=timeout)
            code = proc.returncode
            status = code if code >= 0 else f"signal {-code}"
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, _ = proc.communicate()
            status = "timeout"
    seconds = time.monotonic() - started
    text = out.decode("utf-8", "replace")
    log.write(f"$ {' '.join(command)}\n{text}\n-> {status} in {seconds:.1f} s\n\n")
    log.flush()
    return status, seconds, text


def limit_memory():
    # A mutant can make a test allocate without end; it fails rather than take the machine.
    four_gib = 4 << 30
    resource.setrlimit(resource.RLIMIT_AS, (four_gib, four_gib))


def build(targets, jobs, log):
    command = ["cmake", "--build", "--preset", PRESET, "--target", *targets]
    if jobs:
        command += ["-j", str(jobs)]
    return run(command, SCRATCH, log)


def failed_tests(text):
    names = re.findall(r"^\[  FAILED  \] (\S+)", text, re.M)
    return sorted(set(n for n in names if "." in n))


# ---------------------------------------------------------------------------------------------


def minutes(seconds):
    m, s = divmod(int(round(seconds)), 60)
    return f"{m} min {s} s" if m else f"{s} s"


def parse_only(text, count):
    numbers = []
    for part in text.split(","):
        part = part.strip()
        m = re.fullmatch(r"(\d+)(?:-(\d+))?", part)
        if not m:
            die(f"mutation: --only takes numbers like 3,7,10-12, not {part!r}")
        a, b = int(m.group(1)), int(m.group(2) or m.group(1))
        for n in range(a, b + 1):
            if not 1 <= n <= count:
                die(f"mutation: there is no mutant {n} (1 to {count})")
            numbers.append(n)
    return sorted(set(numbers))


def main():
    parser = argparse.ArgumentParser(prog="scripts/mutation.sh", add_help=False)
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--only")
    parser.add_argument("--seed", type=int, default=12)
    parser.add_argument("--count", type=int, default=70)
    parser.add_argument("--timeout", type=float)
    parser.add_argument("--jobs", type=int)
    parser.add_argument("-h", "--help", action="store_true")
    args = parser.parse_args()
    # Output piped into head and the like ends quietly.
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)
    if args.help:
        print(USAGE, end="")
        return 0
    if args.count < 1:
        die("mutation: --count must be at least 1")

    started = time.monotonic()
    files = tree_files()
    by_area = all_sites(REPO, set(files))
    mutants = choose(by_area, args.seed, args.count)
    commit = subprocess.run(["git", "rev-parse", "--short=12", "HEAD"], cwd=REPO,
                            stdout=subprocess.PIPE, text=True).stdout.strip()
    dirty = subprocess.run(["git", "status", "--porcelain", "--untracked-files=no"], cwd=REPO,
                           stdout=subprocess.PIPE, text=True).stdout.strip()
    origin = commit + (" with uncommitted changes" if dirty else "")
    candidates = ", ".join(f"{name} {len(by_area[name])}" for name, _, _ in AREAS)
    picked = ", ".join(f"{name} {sum(m.area == name for m in mutants)}" for name, _, _ in AREAS)
    print(f"mutation: tree {origin}, seed {args.seed}; sites: {candidates}; picked: {picked}")

    if args.list:
        for m in mutants:
            print(f"{m.number:3} {m.area:8} {m.path}:{m.line}  [{KIND_TEXT[m.kind]}]")
            print(f"      - {m.before}")
            print(f"      + {m.after}")
        return 0

    selected = mutants
    if args.only:
        numbers = parse_only(args.only, len(mutants))
        selected = [m for m in mutants if m.number in numbers]

    os.makedirs(WORK, exist_ok=True)
    lock = open(os.path.join(WORK, ".lock"), "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        die("mutation: another run is using build/mutation; wait for it to end")
    shutil.rmtree(LOGS, ignore_errors=True)
    os.makedirs(LOGS)

    # The unmutated tree: copied, configured with the host preset, built and tested in full.
    with open(os.path.join(LOGS, "baseline.log"), "w") as log:
        changed = sync_scratch(files)
        print(f"mutation: copied {changed} changed files to {os.path.relpath(SCRATCH, REPO)}")
        status, seconds, _ = run(["cmake", "--preset", PRESET], SCRATCH, log)
        if status != 0:
            print("mutation: configuring the host preset failed; see build/mutation/logs/"
                  "baseline.log", file=sys.stderr)
            return 2
        # ctest names a test's program only once it exists, so a new copy is built whole
        # before the tests are listed.
        status, seconds, _ = build(["all"], args.jobs, log)
        programs = host_tests() if status == 0 else []
        compiled = [p for p in programs if p.compiled]
        if status != 0:
            print("mutation: the unmutated tree does not build; see build/mutation/logs/"
                  "baseline.log", file=sys.stderr)
            return 2
        # Each mutant rebuilds only the test programs.
        targets = [os.path.basename(p.command[0]) for p in compiled]
        print(f"mutation: built the tree in {seconds:.0f} s")
        status, seconds, text = run(["ctest", "--preset", PRESET], SCRATCH, log)
        if status != 0:
            sys.stderr.write(text[-3000:])
            print("mutation: the unmutated tests fail (ctest --preset host); fix them first",
                  file=sys.stderr)
            return 2
        for p in compiled:
            status, seconds, text = run_program(p, log, timeout=600)
            if status != 0:
                sys.stderr.write(text[-3000:])
                print(f"mutation: {p.name} fails when run alone; fix that first",
                      file=sys.stderr)
                return 2
            p.baseline_seconds = seconds
            p.limit = args.timeout or max(20.0, 10 * seconds)
    others = [p.name for p in programs if not p.compiled]
    print("mutation: unmutated tests pass; each mutant runs "
          + ", ".join(f"{p.name} (limit {p.limit:.0f} s)" for p in compiled)
          + (f"; {', '.join(others)} {'runs' if len(others) == 1 else 'run'} no program built"
             " from the sources, so only here" if others else ""))

    results = []
    by_file = {}
    width = len(str(len(mutants)))
    for index, m in enumerate(selected, 1):
        path = os.path.join(SCRATCH, m.path)
        if m.path not in by_file:
            with open(os.path.join(REPO, m.path), "rb") as f:
                by_file[m.path] = f.read()
        original = by_file[m.path]
        code = original.decode("utf-8")
        # Offsets are in characters; the file is written back as UTF-8.
        mutated = (code[:m.start] + m.replacement + code[m.end:]).encode("utf-8")
        log_path = os.path.join(LOGS, f"{m.number:0{width}}.log")
        outcome, detail = "", ""
        began = time.monotonic()
        with open(log_path, "w") as log:
            log.write(f"mutant {m.number}: {m.path}:{m.line} [{KIND_TEXT[m.kind]}]\n"
                      f"- {m.before}\n+ {m.after}\n\n")
            before_ns = newest_object_ns(m.path)
            write_newer(path, mutated, newer_than=before_ns)
            try:
                status, _, text = build(targets, args.jobs, log)
                if status != 0:
                    outcome = "not viable"
                    error = re.search(r"error: (.*)", text)
                    detail = error.group(1)[:90] if error else "build failed"
                elif newest_object_ns(m.path) <= before_ns:
                    die(f"mutation: {m.path} was not rebuilt for mutant "
                                     f"{m.number}; the results would be stale")
                else:
                    outcome = "survived"
                    for p in compiled:
                        status, _, text = run_program(p, log, timeout=p.limit)
                        if status == 0:
                            continue
                        if status == "timeout":
                            outcome, detail = "killed", f"{p.name}: timed out after {p.limit:.0f} s"
                        elif isinstance(status, str):
                            number = int(status.split()[1])
                            try:
                                name = signal.Signals(number).name
                            except ValueError:
                                name = f"signal {number}"
                            outcome, detail = "killed", f"{p.name}: crashed ({name})"
                        else:
                            failing = failed_tests(text)
                            outcome = "killed"
                            detail = f"{p.name}: " + (failing[0] if failing else f"exit {status}")
                        break
            finally:
                write_newer(path, original, newer_than=newest_object_ns(m.path))
        seconds = time.monotonic() - began
        label = {"killed": "KILLED", "survived": "SURVIVED", "not viable": "NOT VIABLE"}[outcome]
        print(f"[{index:{width}}/{len(selected)}] #{m.number:<{width}} {m.area:8} "
              f"{m.path}:{m.line} [{KIND_TEXT[m.kind]}] {label}"
              + (f" ({detail})" if detail else "") + f" {seconds:.0f} s", flush=True)
        results.append({"number": m.number, "area": m.area, "file": m.path, "line": m.line,
                        "kind": m.kind, "before": m.before, "after": m.after,
                        "outcome": outcome, "detail": detail, "seconds": round(seconds, 1)})

    # Leave the copy's build matching the tree again for the next run.
    with open(os.path.join(LOGS, "restore.log"), "w") as log:
        build(targets, args.jobs, log)

    killed = [r for r in results if r["outcome"] == "killed"]
    survived = [r for r in results if r["outcome"] == "survived"]
    not_viable = [r for r in results if r["outcome"] == "not viable"]
    viable = len(killed) + len(survived)
    rate = 100.0 * len(killed) / viable if viable else 0.0
    wall = time.monotonic() - started

    print()
    print("by area (killed of viable):")
    for name, title, _ in AREAS:
        k = sum(r["area"] == name for r in killed)
        v = k + sum(r["area"] == name for r in survived)
        x = sum(r["area"] == name for r in not_viable)
        print(f"  {name:8} {title:18} {k:3} of {v:3}" + (f", {x} not viable" if x else ""))
    timeouts = sum("timed out" in r["detail"] for r in killed)
    if timeouts:
        print(f"  ({timeouts} of the kills by the time limit)")
    if survived:
        print()
        print(f"surviving mutants ({len(survived)}):")
        for r in survived:
            print(f"  #{r['number']} {r['area']:8} {r['file']}:{r['line']} "
                  f"[{KIND_TEXT[r['kind']]}]")
            print(f"      - {r['before']}")
            print(f"      + {r['after']}")
    if not_viable:
        print()
        print(f"not viable ({len(not_viable)}):")
        for r in not_viable:
            print(f"  #{r['number']} {r['file']}:{r['line']} [{KIND_TEXT[r['kind']]}] "
                  f"{r['detail']}")

    with open(os.path.join(WORK, "results.json"), "w") as f:
        json.dump({"tree": origin, "seed": args.seed, "count": args.count,
                   "only": args.only, "wall_seconds": round(wall), "results": results},
                  f, ensure_ascii=False, indent=1)
    print()
    print(f"mutation: wall time {minutes(wall)}; logs in build/mutation/logs/")
    print(f"mutation: {len(killed)} killed of {viable} viable ({rate:.1f} %), "
          f"{len(survived)} survived, {len(not_viable)} not viable")
    return 0


if __name__ == "__main__":
    sys.exit(main())
