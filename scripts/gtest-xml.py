#!/usr/bin/env python3
"""Reads and writes GoogleTest XML results for the test scripts.

  gtest-xml.py summary FILE...            one line per file, then failed test names
  gtest-xml.py total FILE...              "<passed> <failed> <skipped>" over all files
  gtest-xml.py missing FILE NAME REASON   writes a result with one failure for a program
                                          that crashed, hung or wrote nothing, so the run's
                                          totals cannot look green
  gtest-xml.py checks FILE SUITE          writes the checks of a script, read from standard
                                          input as "ok<TAB>name" or "fail<TAB>name<TAB>why"
                                          lines, as one suite (no lines: one failure)

Counts come from the test cases, not the suite attributes: a skipped test is "run" as far as
the attributes go, and must not count as passed.
"""
import sys
import xml.etree.ElementTree as ET
from xml.sax.saxutils import quoteattr


def cases(path):
    """Yields (full name, outcome) with outcome one of passed, failed, skipped."""
    try:
        root = ET.parse(path).getroot()
    except (ET.ParseError, OSError) as error:
        yield f"{path}: unreadable ({error})", "failed"
        return
    for case in root.iter("testcase"):
        name = f"{case.get('classname', '')}.{case.get('name', '')}"
        if case.find("failure") is not None or case.find("error") is not None:
            yield name, "failed"
        elif case.get("status") == "notrun" or case.get("result") in ("skipped", "suppressed"):
            yield name, "skipped"
        else:
            yield name, "passed"


def count(paths):
    totals = {"passed": 0, "failed": 0, "skipped": 0}
    failed = []
    for path in paths:
        for name, outcome in cases(path):
            totals[outcome] += 1
            if outcome == "failed":
                failed.append(name)
    return totals, failed


def main(argv):
    if len(argv) >= 2 and argv[0] == "summary":
        for path in argv[1:]:
            totals, failed = count([path])
            print(f"  {path}: {totals['passed']} passed, {totals['failed']} failed, "
                  f"{totals['skipped']} skipped")
            for name in failed:
                print(f"    FAILED {name}")
        return 0
    if argv and argv[0] == "total":
        totals, _ = count(argv[1:])
        print(totals["passed"], totals["failed"], totals["skipped"])
        return 0
    if len(argv) == 4 and argv[0] == "missing":
        _, path, name, reason = argv
        with open(path, "w", encoding="utf-8") as out:
            out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                      '<testsuites tests="1" failures="1" errors="0" name="AllTests">\n'
                      f'  <testsuite name={quoteattr(name)} tests="1" failures="1">\n'
                      f'    <testcase name="Completes" classname={quoteattr(name)} status="run">\n'
                      f'      <failure message={quoteattr(reason)}/>\n'
                      '    </testcase>\n  </testsuite>\n</testsuites>\n')
        return 0
    if len(argv) == 3 and argv[0] == "checks":
        _, path, suite = argv
        results = [line.rstrip("\n").split("\t") for line in sys.stdin if line.strip()]
        if not results:
            results = [["fail", "Completes", "no check was recorded"]]
        failures = sum(1 for r in results if r[0] != "ok")
        with open(path, "w", encoding="utf-8") as out:
            out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                      f'<testsuites tests="{len(results)}" failures="{failures}" errors="0" '
                      'name="AllTests">\n'
                      f'  <testsuite name={quoteattr(suite)} tests="{len(results)}" '
                      f'failures="{failures}">\n')
            for outcome, name, *why in results:
                out.write(f'    <testcase name={quoteattr(name)} classname={quoteattr(suite)} '
                          'status="run"')
                if outcome == "ok":
                    out.write('/>\n')
                else:
                    reason = why[0] if why else "failed"
                    out.write(f'>\n      <failure message={quoteattr(reason)}/>\n'
                              '    </testcase>\n')
            out.write('  </testsuite>\n</testsuites>\n')
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
