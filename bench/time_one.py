#!/usr/bin/env python3
"""Runs one program and prints "<microseconds> <peak KiB>" of that run alone.

    time_one.py PROGRAM [ARGUMENT...] < input > output

Standard input and output go to the program. The clock covers its start,
its run and its end, and none of the shell's work of building a long list
of arguments (some 200 ms for 100,000 names, which would count in both
programs' times alike). The peak is GNU time's: a child of this process
would report this process's own memory, which it had before it started
the program."""
import subprocess
import sys
import tempfile
import time

with tempfile.NamedTemporaryFile("r") as peak:
    command = ["/usr/bin/time", "-f", "%M", "-o", peak.name] + sys.argv[1:]
    start = time.perf_counter_ns()
    subprocess.run(command, stderr=subprocess.DEVNULL, check=False)
    elapsed = time.perf_counter_ns() - start
    print(f"{elapsed // 1000} {peak.read().split()[-1]}", file=sys.stderr)
