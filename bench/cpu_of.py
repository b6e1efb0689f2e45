#!/usr/bin/env python3
"""Runs a pipeline for a number of seconds, interrupts its first stage (as Ctrl-C
would, so it finishes its file) and prints the CPU seconds each stage used.

    cpu_of.py SECONDS LABEL -- prog args [ '|' prog args ... ]
"""
import os
import signal
import subprocess
import sys
import time


def main():
    seconds = float(sys.argv[1])
    label = sys.argv[2]
    args = sys.argv[sys.argv.index("--") + 1:]
    stages, current = [], []
    for a in args:
        if a == "|":
            stages.append(current)
            current = []
        else:
            current.append(a)
    stages.append(current)

    procs = []
    previous = None
    for i, stage in enumerate(stages):
        last = i == len(stages) - 1
        p = subprocess.Popen(stage, stdin=previous, stdout=None if last else subprocess.PIPE)
        if previous is not None:
            previous.close()
        previous = p.stdout
        procs.append(p)
    time.sleep(seconds)
    os.kill(procs[0].pid, signal.SIGINT)
    total = 0.0
    for stage, p in zip(stages, procs):
        _, _, usage = os.wait4(p.pid, 0)
        cpu = usage.ru_utime + usage.ru_stime
        total += cpu
        print(f"{label} {os.path.basename(stage[0])} cpu_s={cpu:.3f}")
    print(f"{label} total cpu_s={total:.3f} wall_s={seconds:.1f}")


if __name__ == "__main__":
    main()
