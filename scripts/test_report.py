#!/usr/bin/env python3
"""What scripts/test.sh shows and counts of one preset's ctest run.

  test_report.py stream LOG        reads `ctest -V` on stdin, keeps all of it in
                                   LOG and prints each test's line as it ends
  test_report.py count BUILD JUNIT counts test cases; the last line is "P F N"
                                   (N: tests not run on this machine)

A Windows test program runs many test cases in one ctest entry (each Wine
process costs seconds to start): its cases are shown as they end and counted
from the XML report the program writes (--gtest_output=xml:...). Fixtures are
set-up: they are not counted as tests, but a failed one counts as a failure.
A test that this machine cannot run (a 32-bit Windows program where the
kernel executes no 32-bit code; ctest's SKIP_RETURN_CODE) is neither: it is
named as not run, and the last line's third number counts such tests.
"""
import json
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

PREFIXED = re.compile(r"^(\d+): (.*)$")
START = re.compile(r"^\s*Start\s+(\d+): (\S+)")
RESULT = re.compile(r"^\s*\d+/\d+ Test\s+#(\d+): \S+ \.*\s*(\S.*)$")
NOT_RUN_HERE = "SKIP_RETURN_CODE="
GTEST_RUN = re.compile(r"^\[ RUN      \] (\S+)")
GTEST_END = re.compile(r"^\[ +(OK|FAILED) +\] (\S+) \(")


def stream(log_path):
    names = {}      # ctest number -> name
    pending = {}    # ctest number -> lines not shown yet (shown if it fails)
    case_lines = {} # ctest number -> lines of the running gtest case
    with open(log_path, "w") as log:
        for raw in sys.stdin:
            log.write(raw)
            log.flush()
            line = raw.rstrip("\n")
            m = START.match(line)
            if m:
                names[m.group(1)] = m.group(2)
                continue
            m = RESULT.match(line)
            if m:
                number = m.group(1)
                if m.group(2).lstrip("*").startswith("Skipped"):
                    # Only its reason: the rest is ctest's own preamble.
                    for kept in pending.get(number, []):
                        if "NOT RUN" in kept:
                            print("    " + kept)
                elif not m.group(2).startswith("Passed"):
                    for kept in pending.get(number, []) + case_lines.get(number, []):
                        print("    " + kept)
                pending.pop(number, None)
                case_lines.pop(number, None)
                print(line.strip(), flush=True)
                continue
            m = PREFIXED.match(line)
            if not m:
                if re.match(r"^\d+% tests passed|^The following tests FAILED|^\s+\d+ - |^Total Test time", line):
                    print(line, flush=True)
                continue
            number, text = m.groups()
            if GTEST_RUN.match(text):
                case_lines[number] = []
                continue
            end = GTEST_END.match(text)
            if end and number in case_lines:
                # A discovered test case is its own ctest entry: its result
                # line says it already.
                if end.group(2) != names.get(number):
                    if end.group(1) == "FAILED":
                        for kept in case_lines[number]:
                            print("      " + kept)
                    print("    " + text, flush=True)
                del case_lines[number]
                continue
            if number in case_lines:
                case_lines[number].append(text)
            else:
                pending.setdefault(number, []).append(text)


def report_path(command):
    for arg in command:
        if arg.startswith("--gtest_output=xml:"):
            path = arg[len("--gtest_output=xml:"):]
            # Windows programs are given their build tree as drive Z:.
            if re.match(r"^[A-Za-z]:", path):
                path = path[2:].replace("\\", "/")
            return path
    return None


def count(build_dir, junit_path):
    listing = json.loads(subprocess.run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"],
                                        capture_output=True, text=True, check=True).stdout)
    status = {}
    if os.path.exists(junit_path):
        for case in ET.parse(junit_path).getroot().iter("testcase"):
            status[case.get("name")] = case.get("status")
            skipped = case.find("skipped")
            if skipped is not None and skipped.get("message", "").startswith(NOT_RUN_HERE):
                status[case.get("name")] = "not run here"
    passed = failed = setups = 0
    failures = []
    not_run = []
    not_run_setups = []
    for test in listing.get("tests", []):
        name = test["name"]
        props = {p["name"]: p["value"] for p in test.get("properties", [])}
        state = status.get(name)
        if state in (None, "disabled"):
            continue
        fixture = "FIXTURES_SETUP" in props or "FIXTURES_CLEANUP" in props
        if state == "not run here":
            # Named either way; counted only as a test, as fixtures are.
            (not_run_setups if fixture else not_run).append(name)
            continue
        ok = state == "run"
        if fixture:
            setups += 1
            if not ok:
                failed += 1
                failures.append(name + " (set-up)")
            continue
        report = report_path(test.get("command", []))
        if report is None:
            passed += ok
            failed += not ok
            if not ok:
                failures.append(name)
            continue
        case_failures = 0
        if os.path.exists(report):
            for case in ET.parse(report).getroot().iter("testcase"):
                if case.get("status") == "notrun" or case.get("result") == "skipped":
                    continue
                if case.find("failure") is not None:
                    case_failures += 1
                    failures.append(case.get("classname", "") + "." + case.get("name", ""))
                else:
                    passed += 1
        failed += case_failures
        if not ok and case_failures == 0:
            # Crashed, timed out or wrote no report: the program itself failed.
            failed += 1
            failures.append(name + " (the program, outside its test cases)")
    summary = f"test cases: {passed} passed, {failed} failed; set-up steps run: {setups}"
    if not_run:
        summary += f"; NOT RUN on this machine: {len(not_run)}"
    print(summary)
    for failure in failures:
        print(f"  failed: {failure}")
    for name in not_run:
        print(f"  NOT RUN on this machine: {name}")
    for name in not_run_setups:
        print(f"  NOT RUN on this machine: {name} (set-up)")
    print(passed, failed, len(not_run))


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "stream":
        stream(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "count":
        count(sys.argv[2], sys.argv[3])
    else:
        sys.exit(__doc__)
