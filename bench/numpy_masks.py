"""numpy's side of the rows of bench/rows_masks.tcl: the same jobs on the
same numbers, read from the raw files that the Tcl side wrote with
get_binary. Prints one line per job: its name and its best (least) time in
seconds (processor time of this thread, as the Tcl side measures).

Usage: python3 bench/numpy_masks.py <folder> <reps> <n> ...
Files per n: d<n>.bin (doubles), i<n>.bin and idx<n>.bin (32-bit ints),
p<n>.bin (32-bit ints, item positions for take -dim 3).
"""
import sys
import time

import numpy as np


def best_time(reps, setup, body, count):
    times = []
    total = 0.0
    for r in range(reps):
        state = setup()
        t0 = time.thread_time()
        for _ in range(count):
            body(state)
        t = time.thread_time() - t0
        times.append(t / count)
        total += t
        if r >= 2 and total > 1.5:
            break
    return min(times)


def main():
    folder, reps = sys.argv[1], int(sys.argv[2])
    for n in (int(x) for x in sys.argv[3:]):
        d = np.fromfile(f"{folder}/d{n}.bin", dtype=np.float64)
        i = np.fromfile(f"{folder}/i{n}.bin", dtype=np.int32)
        # numpy's own index type, converted once outside the timing.
        idx = np.fromfile(f"{folder}/idx{n}.bin", dtype=np.int32).astype(np.intp)
        pts = np.fromfile(f"{folder}/p{n}.bin", dtype=np.int32).astype(np.intp)
        xyz = d[: n // 3 * 3].reshape(-1, 3)
        b = d[::-1].copy()
        s3 = np.array([1.5, -1.0, 2.0])
        count = 10 if n <= 1000000 else 1
        jobs = {
            "where_d": (lambda: d, lambda a: np.flatnonzero(a < 0.0)),
            "where_i": (lambda: i, lambda a: np.flatnonzero(a < 5000000)),
            "take_d": (lambda: d, lambda a: np.take(a, idx)),
            "take3_d": (lambda: xyz, lambda a: np.take(a, pts, axis=0)),
            "add_d": (lambda: d.copy(), lambda a: np.add(a, b, out=a)),
            "mul3_d": (lambda: xyz.copy(), lambda a: np.multiply(a, s3, out=a)),
        }
        for name, (setup, body) in jobs.items():
            print(name, n, best_time(reps, setup, body, count))


main()
