"""The benchmarks' medians: of several runs, so that one disturbed run on a
shared machine moves no figure.

  medians.py < VALUES
      prints the median of the numbers read, one a line."""
import statistics
import sys
import time


def median(values):
    return statistics.median(values)


def median_seconds(action, runs):
    """The median time action() takes, of runs runs."""
    times = []
    for _ in range(runs):
        begin = time.perf_counter()
        action()
        times.append(time.perf_counter() - begin)
    return median(times)


if __name__ == "__main__":
    values = [float(line) for line in sys.stdin if line.strip()]
    if not values:
        sys.exit("medians.py: no values")
    print("%g" % median(values))
