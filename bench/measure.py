"""Times quorlix against llvm-nm and GNU nm on each corpus: median wall time and peak memory over
several runs, and the ratio quorlix / llvm-nm."""
import os
import statistics
import subprocess
import sys
import time

CORPORA = [
    ("a-cross-archives", "(a) PowerPC cross archives"),
    ("b-cpp-library", "(b) generated C++ library"),
    ("c-many-sections", "(c) one object, 60,000 sections"),
    ("d-many-objects", "(d) 20,000 small objects"),
    ("e-duplicates", "(e) 2,000 objects named twice"),
]


def run_once(command, environment):
    """Wall seconds and peak resident memory (KiB, the largest process of the command)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               env=environment)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    return elapsed, usage.ru_maxrss, code


def measure(command, environment, runs):
    run_once(command, environment)  # warm the page cache
    samples = [run_once(command, environment) for _ in range(runs)]
    codes = {code for _, _, code in samples}
    return statistics.median(s for s, _, _ in samples), max(m for _, m, _ in samples), codes


def input_bytes(list_path):
    with open(list_path) as f:
        return sum(os.path.getsize(line.strip()) for line in f if line.strip())


def main():
    build, root = sys.argv[1], sys.argv[2]
    runs = int(os.environ.get("BENCH_RUNS", "5"))
    environment = dict(os.environ, GHS_ROOT=build)
    quorlix = os.path.join(build, "quorlix")
    for folder, title in CORPORA:
        list_path = os.path.join(root, folder, "inputs.rsp")
        if not os.path.exists(list_path):
            print(f"{title}: missing, skipped")
            continue
        tools = [
            ("quorlix", f"{quorlix} @{list_path}"),
            ("llvm-nm | sort -u", f"llvm-nm -g --defined-only -C @{list_path} | sort -u"),
            ("GNU nm | sort -u", f"powerpc-linux-gnu-nm -g --defined-only -C @{list_path} | sort -u"),
        ]
        size = input_bytes(list_path)
        print(f"\n{title}: {size / 2**20:.1f} MiB of input, {runs} runs each")
        print(f"  {'tool':<20} {'median s':>10} {'peak MiB':>10} {'vs llvm-nm':>11}")
        results = {}
        for name, command in tools:
            results[name] = measure(command, environment, runs)
        reference = results["llvm-nm | sort -u"][0]
        for name, (seconds, peak_kib, codes) in results.items():
            note = "" if codes == {0} else f"  (exit {sorted(codes)})"
            print(f"  {name:<20} {seconds:>10.3f} {peak_kib / 1024:>10.1f} {seconds / reference:>11.2f}{note}")
        limit = size / 2**20 + 64
        peak = results["quorlix"][1] / 1024
        print(f"  quorlix peak memory {peak:.1f} MiB against a limit of {limit:.1f} MiB (input + 64 MiB)")


if __name__ == "__main__":
    main()
