#!/usr/bin/env python3
"""The real binary under process limits, for CI (it takes minutes):

1. Every address-space limit from where the loader fails up to where a run needs no
   more, a page apart: each run ends as a complete run, with the memory report
   (exit code 1) or with a run-time error report, and what it wrote before the report
   is the start of what a run without a limit writes; never a signal or silence. The
   bands of outcomes are printed.
2. A file-size limit of 512 bytes: the write past it fails the run (exit code 1)
   instead of the signal killing it, and whole buffers reached the file.
3. A memory control group whose limit is below the store that a run past one period
   of the generator keeps: the run is not killed and writes what a run without the
   limit writes. Skipped with a message where no memory group can be made.

Runs at R = 1, where every line is 4.00000000 whatever the clock, so no run needs a
pinned clock (whose preloaded library would change the address space). The program
file must be named dartcirc, as the reports name it.
    tests/limits_sweep.py [build/dartcirc]
"""
import os
import re
import subprocess
import sys

BINARY = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/dartcirc")
KIB = 1024
BANNER = "確率で円周率を求める\r\n2004/11/6 Ver.1.00\r\nRebuilt for Linux by the dartcirc team\r\n\r\n".encode("cp932")
LINE = b"4.00000000\r\n"
USAGE = ("\r\nERR: 半径の設定\r\n\r\n使用法\r\n　dartcirc <半径> <試行回数>\r\n"
         "　[例] dartcirc 1000 1000000\r\n\r\n").encode("cp932")
MEMORY_REPORT = re.compile(re.escape("EOutOfMemoryがモジュール dartcirc の ".encode("cp932")) + rb"[0-9A-F]{8}" +
                           re.escape(" で発生しました。\nメモリが足りません.\r\n".encode("cp932")) + rb"\Z")
RUNTIME_ERROR = re.compile(rb"Runtime error +(\d+) at [0-9A-F]{8}\x00\r\n\Z")
LARGE = ["7" * 100_000] * 20  # prompt mode, with a command line of 2 MB to join

# name, arguments, input, expected output and exit code of a run without a limit
SCENARIOS = [
    ("rejected radius", ["0", "5"], b"", BANNER + USAGE, 1),
    ("three blocks", ["1", "30000"], b"", BANNER + LINE * 3, 0),
    ("a worker's run", ["1", "2000000"], b"", BANNER + LINE * 200, 0),
    ("prompts", [], b"1\n30000\n", BANNER + b"Random Range:Max count:" + LINE * 3, 0),
    ("large arguments", LARGE, b"1\n30000\n", BANNER + b"Random Range:Max count:" + LINE * 3, 0),
]


def outcome(result, expected, code):
    """The kind of a run's end, or None when it is no allowed end."""
    out = result.stdout
    if result.returncode == 127 and not out and result.stderr:  # the dynamic loader's own message
        return "loader fails"
    if result.returncode == code and out == expected:
        return "complete"
    report = MEMORY_REPORT.search(out)
    if result.returncode == 1 and report and expected.startswith(out[:report.start()]):
        return "memory report"
    error = RUNTIME_ERROR.search(out)
    if error and result.returncode == int(error.group(1)) >= 2 and expected.startswith(out[:error.start()]):
        return "run-time error"
    return None


def limits():
    yield from range(4096 * KIB, 12288 * KIB, 4 * KIB)  # the loader, start-up, the first allocations, large arguments
    yield from range(12288 * KIB, 40960 * KIB, 64 * KIB)  # a worker's stack


def address_space_sweep():
    wrong = 0
    for name, arguments, stdin, expected, code in SCENARIOS:
        bands = []
        for limit in limits():
            result = subprocess.run(["prlimit", f"--as={limit}", BINARY, *arguments], input=stdin,
                                    capture_output=True, env={"LC_ALL": "C", "PATH": os.environ["PATH"]}, timeout=60)
            kind = outcome(result, expected, code)
            if kind is None:
                wrong += 1
                kind = f"WRONG (exit {result.returncode}, {len(result.stdout)} bytes, {result.stderr[:80]!r})"
            if bands and bands[-1][2] == kind:
                bands[-1][1] = limit
            else:
                bands.append([limit, limit, kind])
        print(f"{name}:")
        for low, high, kind in bands:
            print(f"  {low // KIB:6} to {high // KIB:6} KiB: {kind}")
        if bands[-1][2] != "complete":
            print("  the largest limit does not let the run complete")
            wrong += 1
    return wrong


def file_size_limit():
    with open(f"/tmp/dartcirc-limit-{os.getpid()}", "w+b") as output:
        os.unlink(output.name)
        code = subprocess.run(["sh", "-c", 'ulimit -f 1 && exec "$0" 1 2000000', BINARY], stdout=output,
                              stdin=subprocess.DEVNULL, env={"LC_ALL": "C", "PATH": os.environ["PATH"]}).returncode
        output.seek(0)
        written = output.read()
    right = code == 1 and len(written) >= 512 and len(written) % 128 == 0 and (BANNER + LINE * 200).startswith(written)
    print(f"file-size limit of 512 bytes: exit {code}, {len(written)} bytes written{'' if right else ', WRONG'}")
    return 0 if right else 1


def memory_group():
    """A new memory group for one process, cgroup v2 or v1; None where none can be made."""
    if os.geteuid() != 0:
        return None
    group = f"dartcirc-limits-{os.getpid()}"
    v2 = "/sys/fs/cgroup"
    try:
        if "memory" in open(f"{v2}/cgroup.controllers").read().split():
            with open(f"{v2}/cgroup.subtree_control", "w") as control:
                control.write("+memory")
            os.mkdir(f"{v2}/{group}")
            return f"{v2}/{group}", "memory.max"
    except OSError:
        pass
    try:
        os.mkdir(f"/sys/fs/cgroup/memory/{group}")
        return f"/sys/fs/cgroup/memory/{group}", "memory.limit_in_bytes"
    except OSError:
        return None


def control_group_run():
    made = memory_group()
    if made is None:
        print("memory control group: skipped, no memory group can be made here (needs root and a writable "
              "cgroup v2 with the memory controller, or cgroup v1's memory hierarchy)")
        return 0
    directory, limit_file = made
    blocks = (1 << 26) + (1 << 24)  # a store of 2 x 2^24 bytes = 32 MiB for the blocks that come back
    with open(f"{directory}/{limit_file}", "w") as limit:
        limit.write(str(24 << 20))

    def enter():
        with open(f"{directory}/cgroup.procs", "w") as procs:
            procs.write(str(os.getpid()))

    try:
        run = subprocess.Popen([BINARY, "1", str(blocks * 10_000)], stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
                               preexec_fn=enter, env={"LC_ALL": "C"})
        expected_size = len(BANNER) + blocks * len(LINE)
        pattern = LINE * (1 << 16)
        size, same = 0, True
        while chunk := run.stdout.read(len(pattern) - len(pattern) % len(LINE)):
            if size < len(BANNER):
                head = min(len(BANNER) - size, len(chunk))
                same = same and chunk[:head] == BANNER[size:size + head]
                size, chunk = size + head, chunk[head:]
            offset = (size - len(BANNER)) % len(LINE)
            same = same and chunk == (pattern + pattern)[offset:offset + len(chunk)]
            size += len(chunk)
        code = run.wait()
    finally:
        os.rmdir(directory)
    print(f"memory control group ({directory}, limit 24 MiB, store 32 MiB): exit {code}, "
          f"{size} bytes of {expected_size}, {'the same bytes' if same else 'OTHER BYTES'}")
    return 0 if code == 0 and same and size == expected_size else 1


if __name__ == "__main__":
    if os.environ.get("DARTCIRC_SANITIZE") or os.environ.get("PROGRAM_EMULATOR"):
        print("limits sweep: skipped under sanitizers and emulators, whose own memory the limits would bind")
        sys.exit(0)
    failures = address_space_sweep() + file_size_limit() + control_group_run()
    print(f"limits sweep: {'FAILED' if failures else 'passed'}")
    sys.exit(1 if failures else 0)
