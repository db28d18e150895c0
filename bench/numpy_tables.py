# numpy's side of the rows of bench/rows_tables.tcl: the same jobs on the
# same numbers, read from the raw files that the Tcl side wrote with
# get_binary. Prints one line per job: its name and the median processor
# seconds of one run (numpy runs these jobs on one thread).
#
# Usage: python3 bench/numpy_tables.py <data folder> <job>:<data file>...
import io
import sys
import time

import numpy as np

folder = sys.argv[1]


def load(name, dtype):
    return np.fromfile(f"{folder}/{name}.bin", dtype=dtype)


def median(job, reps):
    times = []
    for _ in range(reps):
        t0 = time.process_time()
        job()
        times.append(time.process_time() - t0)
        if len(times) >= 3 and sum(times) > 1.5:
            break
    times.sort()
    return times[len(times) // 2]


def savetxt(a, cols, fmt):
    def job():
        np.savetxt(io.StringIO(), a.reshape(-1, cols), fmt=fmt)
    return job


# Each job: the element type of its data and the job on the loaded array.
# The grouped sums run on whole groups of 8 points (24 values).
jobs = {
    "min": (np.float64, lambda a: lambda: a.reshape(-1, 3).min(axis=0)),
    "max": (np.float64, lambda a: lambda: a.reshape(-1, 3).max(axis=0)),
    "gsum": (np.float64, lambda a: lambda: a.reshape(-1, 8, 3).sum(axis=1)),
    "bincount": (np.int32, lambda a: lambda: np.bincount(a, minlength=1 << 20)),
    "savetxt-d": (np.float64, lambda a: savetxt(a, 3, "%.18e")),
    "savetxt-i": (np.int32, lambda a: savetxt(a, 8, "%d")),
    "byteswap-d": (np.float64, lambda a: lambda: a.byteswap(inplace=True)),
    "byteswap-i": (np.int32, lambda a: lambda: a.byteswap(inplace=True)),
}

# savetxt of 10^7 numbers takes seconds: one run.
for arg in sys.argv[2:]:
    name, file = arg.split(":")
    dtype, make = jobs[name]
    a = load(file, dtype)
    reps = 1 if file.endswith("7") and name.startswith("savetxt") else 5
    print(arg, median(make(a), reps), flush=True)
