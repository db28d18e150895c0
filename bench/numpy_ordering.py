#!/usr/bin/env python3
"""numpy's side of the ordering rows of bench/rows_ordering.tcl.

Usage:
  numpy_ordering.py gen <nvec type> <n> <shape> <seed> <file>
      writes n elements of the type's C type as raw native bytes, the form
      `nvec new <type> -binary` reads. Shapes: random (integers uniform over
      the type's whole range, floating values uniform in [-1000, 1000)),
      sorted and reversed (the random values in ascending, descending
      order), few (integers uniform in [0, 1000), for chararray [0, 100)).
  numpy_ordering.py time <nvec type> <file> <rounds> <op>...
      prints per op the best (least) processor time of this thread
      (time.thread_time) in seconds over the rounds. Ops:
        sort            a.sort() on a fresh copy (the copy untimed)
        unique          np.unique(a)
        argsort         np.argsort(a, kind="stable")
        search:<v>      np.flatnonzero(a == v)
        searchsorted:<v> np.searchsorted(a, v) on the sorted elements, the
                        time of one call averaged over 20000
"""

import sys
import time

import numpy as np

DTYPES = {
    "chararray": np.uint8,
    "shortarray": np.int16,
    "intarray": np.int32,
    "longarray": np.dtype("l").type,  # the platform's C long
    "longlongarray": np.int64,
    "floatarray": np.float32,
    "doublearray": np.float64,
}


def generate(dtype, n, shape, seed):
    rng = np.random.default_rng(seed)
    if shape == "few":
        top = 100 if dtype == np.uint8 else 1000
        return rng.integers(0, top, n).astype(dtype)
    if np.issubdtype(dtype, np.floating):
        a = (rng.random(n) * 2000.0 - 1000.0).astype(dtype)
    else:
        info = np.iinfo(dtype)
        a = rng.integers(info.min, info.max, n, dtype=dtype, endpoint=True)
    if shape == "sorted":
        a.sort()
    elif shape == "reversed":
        a = np.sort(a)[::-1].copy()
    elif shape != "random":
        sys.exit("unknown shape " + shape)
    return a


def timed(rounds, setup, body):
    times = []
    for _ in range(rounds):
        state = setup()
        t0 = time.thread_time()
        body(state)
        times.append(time.thread_time() - t0)
    return min(times)


def run(dtype, a, rounds, op):
    if op == "sort":
        return timed(rounds, a.copy, lambda b: b.sort())
    if op == "unique":
        return timed(rounds, lambda: a, np.unique)
    if op == "argsort":
        return timed(rounds, lambda: a, lambda b: np.argsort(b, kind="stable"))
    name, _, value = op.partition(":")
    v = dtype(float(value)) if np.issubdtype(dtype, np.floating) else dtype(int(value))
    if name == "search":
        return timed(rounds, lambda: a, lambda b: np.flatnonzero(b == v))
    if name == "searchsorted":
        calls = 20000
        s = np.sort(a)

        def loop(b):
            for _ in range(calls):
                np.searchsorted(b, v)

        return timed(rounds, lambda: s, loop) / calls
    sys.exit("unknown op " + op)


def main(argv):
    if len(argv) >= 7 and argv[1] == "gen":
        dtype = DTYPES[argv[2]]
        generate(dtype, int(argv[3]), argv[4], int(argv[5])).tofile(argv[6])
    elif len(argv) >= 6 and argv[1] == "time":
        dtype = DTYPES[argv[2]]
        a = np.fromfile(argv[3], dtype=dtype)
        for op in argv[5:]:
            print("%.9f" % run(dtype, a, int(argv[4]), op))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
