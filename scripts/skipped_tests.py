#!/usr/bin/env python3
"""Prints how many tests of one suite were skipped and why, from CTest's JUnit report.

Usage: skipped_tests.py SUITE JUNIT_XML
The reason is the line GoogleTest prints after "Skipped"; for a test skipped by its exit status
(the desktop story), the last line it printed.
"""
import collections
import sys
import xml.etree.ElementTree as ElementTree

suite, report = sys.argv[1:3]
reasons = collections.Counter()
for case in ElementTree.parse(report).getroot().iter("testcase"):
    if case.find("skipped") is None:
        continue
    lines = (case.findtext("system-out") or "").splitlines()
    after_skipped = [lines[i + 1] for i in range(len(lines) - 1) if lines[i].endswith(": Skipped")]
    printed = [line for line in lines if line.strip()]
    reasons[(after_skipped or printed[-1:] or ["no reason given"])[0]] += 1
total = sum(reasons.values())
if total == 0:
    print(f"{suite}: no test was skipped")
else:
    print(f"WARNING: {suite}: {total} test(s) skipped, so they prove nothing here:")
    for reason, count in reasons.items():
        print(f"  {count:3d}  {reason}")
