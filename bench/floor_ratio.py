#!/usr/bin/env python3
"""A whole conversion of the generated model against the floor program.

    floor_ratio.py TESSALOOM WORKDIR [--pairs 9] [--rounds 7]

Generates the model (gen_model.py with its defaults) and the same model at a
quarter and half size, builds floor.c (read the text, decode the images,
nothing more), then runs conversion and floor alternately, A B A B ..., and
prints the median of the per-pair ratios with both medians and the peak
resident memory of the conversion. The machine may be shared and busy, so
an absolute time means little while the ratio of neighbouring runs holds.
Last, the three sizes are converted in turn, round after round, and each
size's median time is shown per triangle: a conversion that grows linearly
keeps the full size within 1.15 times four quarter sizes.

Times are wall clock from process start to exit; peak memory is the
maximum resident set that /usr/bin/time reports for one more run of each.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = [("quarter", ["--tris", "16250", "--textures", "16"]),
         ("half", ["--tris", "32500", "--textures", "32"]),
         ("full", [])]


def run(argv, env=None):
    """Runs argv with its output discarded; returns the seconds it took."""
    start = time.perf_counter()
    done = subprocess.run(argv, stdout=subprocess.DEVNULL, env=env)
    seconds = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit("floor_ratio: '%s' failed with exit code %d" % (" ".join(argv), done.returncode))
    return seconds


def peak_kib(argv, env=None):
    """The peak resident memory of argv as /usr/bin/time reports it. (A child
    forked from this interpreter would count the interpreter's own pages.)"""
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          env=env, text=True)
    if done.returncode != 0:
        sys.exit("floor_ratio: '%s' failed: %s" % (" ".join(argv), done.stderr))
    return int(done.stderr.split()[-1])


def triangles(objex):
    with open(objex, "rb") as fh:
        return sum(1 for line in fh if line.startswith(b"f "))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("tessaloom")
    ap.add_argument("work")
    ap.add_argument("--pairs", type=int, default=9)
    ap.add_argument("--rounds", type=int, default=7)
    a = ap.parse_args()

    os.makedirs(a.work, exist_ok=True)
    models = {}
    for name, args in SIZES:
        out = os.path.join(a.work, name)
        subprocess.run([sys.executable, os.path.join(HERE, "gen_model.py"), out] + args, check=True,
                       stdout=subprocess.DEVNULL)
        models[name] = out
    floor = os.path.join(a.work, "floor")
    stb = subprocess.run(["pkg-config", "--cflags", "--libs", "stb"], check=True, capture_output=True,
                         text=True).stdout.split()
    subprocess.run(["cc", "-O2", os.path.join(HERE, "floor.c"), "-o", floor] + stb + ["-lm"], check=True)

    env = dict(os.environ, TESSALOOM_HEADLESS="1")

    def conversion_argv(name):
        model = models[name]
        return [a.tessaloom, "object", os.path.join(model, "model.objex"), os.path.join(model, "model.zobj")]

    def floor_argv(name):
        model = models[name]
        return [floor, os.path.join(model, "model.objex"), os.path.join(model, "model.mtl")]

    # One unmeasured pair brings the files into the page cache.
    run(conversion_argv("full"), env)
    run(floor_argv("full"))
    conversion, floors, ratios = [], [], []
    for _ in range(a.pairs):
        conversion.append(run(conversion_argv("full"), env))
        floors.append(run(floor_argv("full")))
        ratios.append(conversion[-1] / floors[-1])
    peak = peak_kib(conversion_argv("full"), env)
    floor_peak = peak_kib(floor_argv("full"))
    print("full model, %d triangles, %d alternating pairs:" % (triangles(os.path.join(models["full"], "model.objex")),
                                                                a.pairs))
    print("  conversion median %.1f ms, floor median %.1f ms, median ratio %.2f" %
          (1000 * statistics.median(conversion), 1000 * statistics.median(floors), statistics.median(ratios)))
    print("  peak memory: conversion %.1f MiB, floor %.1f MiB" % (peak / 1024, floor_peak / 1024))

    times = {name: [] for name, _ in SIZES}
    for _ in range(a.rounds):
        for name, _ in SIZES:
            times[name].append(run(conversion_argv(name), env))
    print("three sizes, median of %d rounds:" % a.rounds)
    per_triangle = {}
    for name, _ in SIZES:
        count = triangles(os.path.join(models[name], "model.objex"))
        median = statistics.median(times[name])
        per_triangle[name] = median / count
        print("  %-8s %6d triangles %7.1f ms %6.3f us per triangle" % (name, count, 1000 * median,
                                                                     1e6 * per_triangle[name]))
    print("  full per triangle / quarter per triangle: %.2f" % (per_triangle["full"] / per_triangle["quarter"]))


if __name__ == "__main__":
    main()
