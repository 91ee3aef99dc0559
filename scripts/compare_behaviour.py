#!/usr/bin/env python3
"""Runs the same command lines through two builds of the tools and reports
every difference in standard output, standard error, exit status and the
files they write (trace, dump, lock record, pictures).

    scripts/compare_behaviour.py BEFORE/tool AFTER/tool [--count N] [--seed S]

BEFORE/tool and AFTER/tool are the tool directories of two build trees (each
holding kovasim, kovactl and kovactl-sim).  The command lines are the capview
and kovactl scenarios below plus N random ones (default 300) drawn with a
fixed seed, so that a run can be repeated exactly.  Exit status 0 when every
line behaves the same in both builds, 1 otherwise.
"""
import argparse
import filecmp
import os
import random
import subprocess
import sys
import tempfile

CAPVIEW_SCENARIOS = [
    "", "-v", "-q", "-b", "-d", "-o", "-v -b -x 100 -y 50 -X 20", "-b -x 280 -y 160 -X 360 -Y 288",
    "-s 0", "-s 1", "-s 2", "-s 3", "-v -s 3 -d", "-w 1921", "-h 0", "-W 1200 -H 800", "-B 10 -C 20",
    "-x 2000", "-s 4", "-z", "--help", "-w", "-d -W 720 -H 576 -o",
]

KOVACTL_SCENARIOS = [
    "status", "--json status", "screen", "clock", "detect", "reg get GR35", "reg get SR00",
    "reg get TV0000", "reg get CAP0:00", "reg get OVL1:04", "-y reg set GR35=01", "-y reg set GR35=ff 0f",
    "reg dump GR", "reg dump SR --page 1", "reg dump CAP0", "reg dump TV", "-y overlay 0 on",
    "-y overlay 0 init", "-y overlay 0 window 10 20 300 200", "-y overlay 1 source 0x1000 0 0 720 720",
    "-y overlay 0 scale bob 720 360 576 288", "-y overlay 0 key 0x00ff00", "-y capture 0 init 1",
    "-y capture 0 window 0 719 0 287", "-y capture 0 dest 0x100000 0 0 720", "-y capture 0 guard 0x200000",
    "-y capture 0 backbuffer 0x300000", "-y capture 0 double on", "-y capture 1 scale 720 360 576 288 1",
    "-y synclock on 3", "-y synclock on 1 --standard ntsc", "-y genlock on 2", "-y videoclock on 0",
    "-y crt write pal 3", "-y fetch hold", "wait vsync 2", "wait hsync", "-y dac crt off",
    "-y draw line 0 0 100 100 0xffff", "-y blank 0 0 10 10", "synclock tvmode", "help reg",
    "-n overlay 0 on", "reg get GR", "bogus", "", "-y overlay 2 on", "-y capture 0 dest 0x500000 0 0 720",
]

KOVASIM_OPTIONS = ["--set GR35=01", "--set SR01@01=20", "--set TV0010=1234", "--fail iopl", "--fail open",
                   "--fail mmap-fb", "--fail mmap-mmio", "--source ntsc", "--source none", "--frames 1",
                   "--frames 3", "--set GRxx=1", "--set GR35=100"]
CAPVIEW_OPTIONS = ["-q", "-b", "-d", "-o", "-v", "-w {}", "-h {}", "-x {}", "-y {}", "-X {}", "-Y {}",
                   "-B {}", "-C {}", "-W {}", "-H {}", "-s {}"]
NUMBERS = ["0", "1", "50", "100", "288", "360", "576", "720", "1023", "1921", "-5", "0x10", "abc", "65536"]


def random_capview(rng):
    words = []
    for option in rng.sample(CAPVIEW_OPTIONS, rng.randint(0, 5)):
        if "{}" in option:
            value = rng.choice(NUMBERS) if option != "-s {}" else str(rng.randint(0, 5))
            option = option.format(value)
        words.append(option)
    return " ".join(words)


def random_kovasim(rng):
    own = " ".join(rng.sample(KOVASIM_OPTIONS, rng.randint(0, 2)))
    return f"{own} -- {random_capview(rng)}"


def random_kovactl(rng):
    command = rng.choice(KOVACTL_SCENARIOS)
    presets = " ".join(rng.sample(["--set GR35=01", "--set CR01=4f", "--fail iopl", "--json"], rng.randint(0, 2)))
    return f"{presets} {command}"


def cases(count, seed):
    rng = random.Random(seed)
    for args in CAPVIEW_SCENARIOS:
        yield "kovasim", f"-- {args}"
    for args in KOVACTL_SCENARIOS:
        yield "kovactl", args
    for _ in range(count):
        if rng.random() < 0.5:
            yield "kovasim", random_kovasim(rng)
        else:
            yield "kovactl", random_kovactl(rng)


def run(tools, program, args, scratch):
    os.makedirs(os.path.join(scratch, "state"))
    if program == "kovasim":
        argv = [os.path.join(tools, "kovasim"), "--trace", "trace", "--dump", "dump", "--state-dir", "state",
                "--png", "screen.png"] + args.split()
    else:
        argv = [os.path.join(tools, "kovactl"), "--sim", "--trace", "trace", "--dump", "dump", "--state-dir",
                "state"] + args.split()
    done = subprocess.run(argv, cwd=scratch, capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
    return done.returncode, done.stdout, done.stderr


def files_of(scratch):
    found = {}
    for top, _, names in os.walk(scratch):
        for name in names:
            path = os.path.join(top, name)
            found[os.path.relpath(path, scratch)] = path
    return found


def compare(before, after, program, args):
    differences = []
    with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
        ra, rb = run(before, program, args, a), run(after, program, args, b)
        for what, x, y in zip(("status", "stdout", "stderr"), ra, rb):
            if x != y:
                differences.append(what)
        fa, fb = files_of(a), files_of(b)
        if fa.keys() != fb.keys():
            differences.append(f"files {sorted(fa.keys() ^ fb.keys())}")
        for name in fa.keys() & fb.keys():
            if not filecmp.cmp(fa[name], fb[name], shallow=False):
                differences.append(name)
    return differences


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--count", type=int, default=300)
    parser.add_argument("--seed", type=int, default=1)
    options = parser.parse_args()
    options.before, options.after = os.path.abspath(options.before), os.path.abspath(options.after)
    total = failed = 0
    for program, args in cases(options.count, options.seed):
        total += 1
        differences = compare(options.before, options.after, program, args)
        if differences:
            failed += 1
            print(f"{program} {args}: differs in {', '.join(differences)}")
    print(f"{total} command lines, {failed} differ")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
