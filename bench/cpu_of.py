#!/usr/bin/env python3
"""Runs a pipeline for a number of seconds, interrupts its first stage (as Ctrl-C
would, so it finishes its file) and prints the CPU seconds each stage used, in
all and after a warm-up (SONALTO_BENCH_WARMUP seconds, default 2: start-up
costs such as loading libraries left out).

    cpu_of.py SECONDS LABEL -- prog args [ '|' prog args ... ]
"""
import os
import signal
import subprocess
import sys
import time


TICK = os.sysconf("SC_CLK_TCK")


def tree_cpu(pid):
    """CPU seconds of a process and its living descendants, from /proc."""
    total = 0.0
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        total += (int(fields[11]) + int(fields[12]) + int(fields[13]) + int(fields[14])) / TICK
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/children") as f:
                for child in f.read().split():
                    total += tree_cpu(int(child))
    except (FileNotFoundError, ProcessLookupError):
        pass
    return total


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
    warmup = min(float(os.environ.get("SONALTO_BENCH_WARMUP", "2")), seconds / 2)
    time.sleep(warmup)
    at_warmup = [tree_cpu(p.pid) for p in procs]
    time.sleep(seconds - warmup)
    os.kill(procs[0].pid, signal.SIGINT)
    total = 0.0
    steady_total = 0.0
    for stage, p, early in zip(stages, procs, at_warmup):
        _, _, usage = os.wait4(p.pid, 0)
        cpu = usage.ru_utime + usage.ru_stime
        total += cpu
        steady_total += cpu - early
        print(f"{label} {os.path.basename(stage[0])} cpu_s={cpu:.3f} after_warmup_s={cpu - early:.3f}")
    print(f"{label} total cpu_s={total:.3f} wall_s={seconds:.1f}")
    print(f"{label} steady cpu_s={steady_total:.3f} wall_s={seconds - warmup:.1f}")


if __name__ == "__main__":
    main()
