#!/usr/bin/env python3
"""Every benchmark at a tiny size (make test-bench): each must run to the end
and print each of its figures, in its form (a number where a number belongs).
How fast anything ran is never judged, so a slow or busy machine passes too.

  bench/smoke.py BUILD_DIR [NAME...]

BUILD_DIR is a configured build folder (build/native); the scripts build the
few programs they want in it, which is quick once it is built. NAMEs pick some
of the runs. The last line counts the runs that passed and failed.
"""
import json
import math
import os
import re
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Far beyond what any run takes, so only a hang reaches it.
TIMEOUT = 300


class Failed(Exception):
    pass


def number(text, what):
    try:
        value = float(text)
    except (TypeError, ValueError):
        raise Failed(f"{what}: {text!r} is not a number") from None
    if not math.isfinite(value) or value < 0:
        raise Failed(f"{what}: {text!r} is not a finite number of at least 0")
    return value


def run(command, env=None):
    """Runs a command from the repository's folder; its standard output, or
    Failed with what it printed when it fails or hangs."""
    try:
        done = subprocess.run(command, cwd=ROOT, env=dict(os.environ, **(env or {})), stdin=subprocess.DEVNULL,
                              capture_output=True, text=True, timeout=TIMEOUT)
    except subprocess.TimeoutExpired as timeout:
        raise Failed(f"still running after {TIMEOUT} s\n{timeout.stderr or ''}") from None
    if done.returncode != 0:
        said = (done.stdout + done.stderr).splitlines()
        raise Failed(f"exit status {done.returncode}\n" + "\n".join(said[-40:]))
    return done.stdout


def script(path, names, words=None, **env):
    """A benchmark script whose standard output has a line `name: value ...`
    for each name (value a number, or for a name in words one of its words)
    and otherwise only comment lines (#)."""
    words = words or {}

    def check(build):
        out = run([path], dict(env, BUILD_DIR=build))
        found = {}
        for line in out.splitlines():
            if not line.strip() or line.startswith("#"):
                continue
            match = re.fullmatch(r"(\w+): (\S+)(\s.*)?", line)
            if not match or match.group(1) not in names:
                raise Failed(f"unexpected line {line!r} in\n{out}")
            if match.group(1) in found:
                raise Failed(f"{match.group(1)} printed twice in\n{out}")
            name, value = match.group(1), match.group(2)
            if name in words:
                if value not in words[name]:
                    raise Failed(f"{name}: {value!r} is none of {', '.join(words[name])}")
                found[name] = value
            else:
                found[name] = number(value, name)
        missing = [name for name in names if name not in found]
        if missing:
            raise Failed(f"no figure for {', '.join(missing)} in\n{out}")
        return ", ".join(f"{name} {found[name]}" if name in words else f"{name} {found[name]:g}" for name in names)
    return check


def program(name, expected, counters=(), big_o=(), args=()):
    """A Google Benchmark program, its results read from its JSON output: each
    expected benchmark ran without an error and has its times, iterations and
    counters; big_o names the benchmarks whose complexity fit must be there."""
    def check(build):
        with tempfile.TemporaryDirectory() as folder:
            out = os.path.join(folder, "results.json")
            run([os.path.join(build, "bench", name), f"--benchmark_out={out}", "--benchmark_out_format=json",
                 "--benchmark_min_time=0.01", *args])
            with open(out) as file:
                results = json.load(file)["benchmarks"]
        runs = {}
        for result in results:
            if result.get("error_occurred"):
                raise Failed(f"{result['name']}: {result.get('error_message')}")
            # Names gain "/iterations:N" where the benchmark fixes its iterations.
            benchmark = re.sub(r"/iterations:\d+", "", result["name"])
            if result.get("run_type") == "aggregate":
                if result.get("aggregate_name") == "BigO":
                    number(result.get("cpu_coefficient"), benchmark + " cpu_coefficient")
                    runs[benchmark] = result
                continue
            runs[benchmark] = result
        for benchmark in expected:
            result = runs.get(benchmark)
            if result is None:
                raise Failed(f"{benchmark} did not run (ran: {', '.join(runs) or 'nothing'})")
            if result.get("iterations", 0) < 1:
                raise Failed(f"{benchmark}: no iterations")
            for field in ("real_time", "cpu_time", *counters):
                number(result.get(field), f"{benchmark} {field}")
        for benchmark in big_o:
            if benchmark + "_BigO" not in runs:
                raise Failed(f"no complexity fit for {benchmark}")
        return f"{len(expected)} benchmarks"
    return check


def sizes(*names, args=(1 << 10, 1 << 20)):
    return [f"{name}/{arg}" for name in names for arg in args]


RECIPIENTS = (1, 5, 10, 20, 40)
RESPONSIVENESS = ("longest_wait_ms", "wait_cpu_share", "send_cpu_share", "events_run")

RUNS = {
    # The 64 MB inputs are left out: the same code at 1 KB and 1 MB.
    "bench_word_wrap": program("bench_word_wrap", sizes("BM_WordWrap"), args=["--benchmark_filter=/(1024|1048576)$"]),
    "bench_encoding": program("bench_encoding", sizes("BM_UrlEscape", "BM_s256to62", "BM_MakeHash"),
                              args=["--benchmark_filter=/(1024|1048576)$"]),
    "bench_store_pages": program(
        "bench_store_pages",
        ["BM_NewestPage", "BM_PageInTheMiddle", "BM_OneMessage", "BM_SearchSubject", "BM_SearchRecipient"],
        args=["--messages=1000"]),
    "bench_pages_postgres": program(
        "bench_pages_postgres",
        ["BM_FirstPage", "BM_PageInTheMiddle", "BM_SearchOneRecipient", "BM_SearchSubjects",
         "BM_SearchNothingFound", "BM_OneMessage"],
        args=["--messages=3000"]),
    "bench_responsiveness": program(
        "bench_responsiveness",
        ["BM_SendWhileTheServiceTakesASecond/Automatic", "BM_SendWhileTheServiceTakesASecond/Guaranteed"],
        counters=RESPONSIVENESS, args=["--sends=1", "--service-delay-ms=100"]),
    "bench_send_scale": program(
        "bench_send_scale", sizes("BM_AutomaticSend", "BM_GuaranteedSendNearSizeLimit", args=RECIPIENTS),
        counters=["recipients"], big_o=["BM_AutomaticSend", "BM_GuaranteedSendNearSizeLimit"], args=["--sends=1"]),
    # compare_tool, with a 2 MB text (the least the linearity check takes).
    "compare.sh": script("bench/compare.sh",
                         ["wordwrap_vs_fold", "urlescape_vs_curl", "wordwrap_vs_fold_greek_japanese",
                          "urlescape_vs_curl_greek_japanese"], TEXT_MB="2", RUNS="1"),
    # service_load_requests and mailwarden on both engines, beside nginx.
    "service_load.sh": script("bench/service_load.sh",
                              [f"{figure}{engine}" for engine in ("", "_pg")
                               for figure in ("image_hits_vs_nginx", "stamps_per_second", "p99_stamp_ms")],
                              DURATION="1", CONNECTIONS="8"),
    # The same traffic with one client attacking beside it.
    "hostile_load.sh": script("bench/hostile_load.sh",
                              [f"{figure}{engine}" for engine in ("", "_pg")
                               for figure in ("hostile_legit_p99_ms", "hostile_db_growth_mb", "hostile_victim_signin")],
                              words={f"hostile_victim_signin{engine}": ("ok", "refused") for engine in ("", "_pg")},
                              DURATION="2"),
    "live_latency.sh": script("bench/live_latency.sh", ["live_latency_median_ms", "live_latency_max_ms"],
                              ROUNDS="5"),
    "notice_latency.sh": script("bench/notice_latency.sh", ["notice_latency_median_ms", "notice_latency_max_ms"],
                                NOTICES="5"),
    "pages_scale.sh": script("bench/pages_scale.sh", ["pages_p99_ms", "pages_p99_ms_pg"], MESSAGES="2000",
                             ROUNDS="5"),
}


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    build = os.path.abspath(sys.argv[1])
    names = sys.argv[2:] or list(RUNS)
    unknown = [name for name in names if name not in RUNS]
    if unknown:
        sys.exit(f"smoke.py: no run named {', '.join(unknown)} (there are {', '.join(RUNS)})")
    failed = 0
    for name in names:
        start = time.monotonic()
        try:
            said = RUNS[name](build)
            print(f"ok   {name} ({time.monotonic() - start:.1f} s): {said}", flush=True)
        except Exception as error:  # a run that broke the check's reading of it fails too
            failed += 1
            what = str(error) if isinstance(error, Failed) else f"{type(error).__name__}: {error}"
            print(f"FAIL {name} ({time.monotonic() - start:.1f} s): {what}", flush=True)
    print(f"test-bench: {len(names) - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
