#!/usr/bin/env python3
"""Prints the median real time (microseconds) of Google Benchmark's JSON report on stdin."""
import json
import sys

for benchmark in json.load(sys.stdin)["benchmarks"]:
    if benchmark.get("aggregate_name") == "median":
        print("%.1f" % benchmark["real_time"])
