#!/usr/bin/env python3
"""Turns one run of scripts/bench.sh into the tables of docs/PERFORMANCE.md.

    report.py RUN_DIR DOC

RUN_DIR holds what the script collected: machine.tsv (name, value), spawn.tsv
(from qel_bench_spawn), keys.json, sha256.json, adapters_default.json and
adapters_links.json (Google Benchmark's JSON; the last from a network
namespace of tap links), license.json (the licence check), and
stages/*.json (one qelkeypair_stages run each). The part of DOC between the two marker lines is replaced; a DOC
without them is written whole.
"""

import glob
import json
import os
import sys

BEGIN = "<!-- bench: begin (written by scripts/bench.sh; edits inside are lost) -->"
END = "<!-- bench: end -->"

INTRO = """# Performance

What a user of qelcore waits for, measured beside the alternatives in one
run on one machine: `qelhostid` beside `ip -br link`, a static lister that
does the same job the plain way and a static program that does nothing
(the process floor); the adapter list read through our netlink dump and
through glibc's `getifaddrs`, at this machine's few links and at a
thousand; `qelkeypair`'s key generation beside OpenSSL's, and the rest of
its run stage by stage; the product's licence check beside OpenSSL's DSA
verification of the same signature; SHA-256 beside OpenSSL's, for the
record.

`bash scripts/bench.sh` (as root, from the top of the tree) installs what it
needs, builds the `bench` preset (`build/bench/`, Release, with `bench/`)
and rewrites everything below from its own measurements. It is not part of
the test run. Knobs, all environment variables: `QEL_BENCH_KEYS` (keys per
generator, default 40), `QEL_BENCH_STAGE_RUNS` (default 30),
`QEL_BENCH_PROCESS_RUNS` (default 300), `QEL_BENCH_ADAPTER_REPS` (default
10), `QEL_BENCH_LINKS` (default 1000), `QEL_BENCH_SHA_REPS` (default 10),
`QEL_BENCH_LICENCE_REPS` (default 20).

Budgets:

1. Outside libtomcrypt's own work (`dsa_make_key`, `dsa_verify_key`), a
   `qelkeypair` run spends under 5 ms: both exports, both key files, the
   hash and the process start-up together.
2. `qelhostid`'s median wall time is within 1.25 times the lister's, and
   its peak resident set stays under 2 MiB. The lister (bench/lister.c) is
   like for like: a static C program that reads the six-byte hardware
   addresses through `getifaddrs` (loopback and tunnels left out), sorts
   them with `qsort` and `strcmp`, drops duplicates, prints them in
   `qelhostid`'s block and saves the same text to `lister.txt` with
   `fopen(name, "w")`, checking every write and the close.
3. The product's licence check (`qel_license_check`: the key, the reader,
   the signature, the adapter list) takes at most 3 times what OpenSSL
   takes to verify the same signature (SHA-256, the DER and the DSA
   equation with `BN_mod_exp2_mont`, as its own DSA verify works it).

The first two budgets are judged for the programs as the build links them (static
PIE by default, `QEL_STATIC_PROGRAMS=ON`; see cmake/QelStaticRuntime.cmake
for what that costs elsewhere). A dynamic build (`QEL_STATIC_PROGRAMS=OFF`)
is also measured beside static twins of its programs.

Key generation is recorded, not tuned: the search for p, q and g is
libtomcrypt's, and nothing here changes its method or its primality tests.
"""


def quantile(values, q):
    s = sorted(values)
    if not s:
        return float("nan")
    pos = q * (len(s) - 1)
    lo = int(pos)
    hi = min(lo + 1, len(s) - 1)
    return s[lo] + (pos - lo) * (s[hi] - s[lo])


def summary(values):
    return {
        "n": len(values),
        "median": quantile(values, 0.5),
        "p10": quantile(values, 0.1),
        "p90": quantile(values, 0.9),
        "max": max(values) if values else float("nan"),
    }


def ms(x, digits=2):
    return f"{x:.{digits}f}"


def read_machine(run):
    rows = []
    with open(os.path.join(run, "machine.tsv")) as f:
        for line in f:
            name, _, value = line.rstrip("\n").partition("\t")
            rows.append((name, value))
    return rows


def read_spawn(run):
    runs = {}
    with open(os.path.join(run, "spawn.tsv")) as f:
        for line in f:
            name, rnd, wall, rss, flt, status = line.rstrip("\n").split("\t")
            runs.setdefault(name, []).append(
                {"round": int(rnd), "ms": int(wall) / 1e6, "rss": int(rss),
                 "faults": int(flt), "status": int(status)})
    return runs


def iterations(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data["benchmarks"]:
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            continue
        out.setdefault(b["run_name"], []).append(b)
    return data["context"], out


def to_ms(b, value):
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return value * scale


LICENCE_ROWS = [
    ("license_check", "ours: `qel_license_check`, the product's one call", "ours, all of it"),
    ("stage/parse", "the reader and SHA-256 (`license_parse`)", "ours"),
    ("stage/key_import", "the public key read (`key_import`, libtomcrypt's DER codec)", "ours"),
    ("stage/verify", "the signature: its DER, `dsa_verify_hash_raw`", "libtomcrypt on libtommath"),
    ("stage/adapters", "the adapter list (`hostid_list_get_sorted`)", "ours + system"),
    ("openssl_verify/0", "OpenSSL 3: SHA-256, `d2i_DSA_SIG`, `BN_mod_exp2_mont` (p's Montgomery context made once)", "OpenSSL"),
    ("openssl_verify_cold/1", "the same, p's Montgomery context made each time", "OpenSSL"),
    ("openssl_two_powers/2", "the same, the two powers apart (`BN_mod_exp_mont` twice), as libtomcrypt does them", "OpenSSL"),
]


def licence_summaries(run):
    """Median and spread (microseconds) of each licence case, or None."""
    path = os.path.join(run, "license.json")
    if not os.path.exists(path):
        return None
    _, runs = iterations(path)
    out = {}
    for key, _, _ in LICENCE_ROWS:
        found = [v for k, v in runs.items() if k == key]
        if found:
            out[key] = summary([to_ms(b, b["real_time"]) * 1000 for b in found[0]])
    return out


def licence_budget(lic):
    """(measured text, ratio) of budget 3."""
    ours, openssl = lic["license_check"], lic["openssl_verify/0"]
    ratio = ours["median"] / openssl["median"]
    return (f"{ours['median']:.0f} / {openssl['median']:.0f} us = {ratio:.2f}", ratio)


def licence_section(lic):
    lines = []
    w = lines.append
    reps = max(s["n"] for s in lic.values())
    w(f"### The licence check ({reps} interleaved repetitions)")
    w("")
    w("| Case | median us | p10 | p90 | / OpenSSL | whose |")
    w("|---|---:|---:|---:|---:|---|")
    base = lic["openssl_verify/0"]["median"]
    for key, label, whose in LICENCE_ROWS:
        if key not in lic:
            continue
        s = lic[key]
        w(f"| {label} | {s['median']:.1f} | {s['p10']:.1f} | {s['p90']:.1f} | "
          f"{s['median'] / base:.2f} | {whose} |")
    w("")
    check = lic["license_check"]["median"]
    verify = lic["stage/verify"]["median"]
    rest = check - verify
    w(f"- The signature is {verify:.0f} of the check's {check:.0f} us "
      f"({100 * verify / check:.0f}%), {verify / base:.2f} times OpenSSL's whole "
      "verification; everything else of the check (the reader, the key, the adapter list) "
      f"is {rest:.0f} us.")
    if "openssl_two_powers/2" in lic:
        apart = lic["openssl_two_powers/2"]["median"]
        w(f"- Of that factor, the method is {apart / base:.2f}: libtomcrypt's "
          "`dsa_verify_hash_raw` works out g^u1 and y^u2 modulo p with two `mp_exptmod` "
          "calls and multiplies them, where OpenSSL does both powers in one "
          "`BN_mod_exp2_mont`; OpenSSL's arithmetic with libtomcrypt's method takes "
          f"{apart:.0f} us. The rest, {verify / apart:.2f} times, is what libtommath "
          "costs: its portable C multiplication and Montgomery reduction beside "
          "OpenSSL's assembly, on the same numbers by the same method.")
    w("")
    return lines


def interleaved(runs_by_name):
    """How many times the run order switched from one generator to
    another, from the sequence numbers the benchmark records."""
    seq = []
    for name, runs in runs_by_name.items():
        for b in runs:
            if "sequence" in b:
                seq.append((b["sequence"], name))
    seq.sort()
    return sum(1 for a, b in zip(seq, seq[1:]) if a[1] != b[1])


def main():
    run, doc = sys.argv[1], sys.argv[2]
    machine = read_machine(run)
    mdict = dict(machine)
    spawn = read_spawn(run)
    keys_ctx, keys = iterations(os.path.join(run, "keys.json"))
    _, sha = iterations(os.path.join(run, "sha256.json"))
    stages = []
    for path in sorted(glob.glob(os.path.join(run, "stages", "*.json"))):
        _, runs = iterations(path)
        for rs in runs.values():
            stages.extend(rs)

    out = []
    w = out.append
    w(BEGIN)
    w("")
    w(f"## Latest run: {mdict.get('date', '?')}")
    w("")
    w("| Machine | |")
    w("|---|---|")
    for name, value in machine:
        if name != "date":
            w(f"| {name} | {value} |")
    w("")

    # --- Budgets ---------------------------------------------------------
    def wall(name):
        return summary([r["ms"] for r in spawn[name]])

    floor = wall("static no-op")
    lister = wall("static lister")
    startup = wall("qelkeypair start-up")

    ours_names = ["export_private_ms", "export_public_ms", "write_private_ms",
                  "write_public_ms", "hash_ms"]
    ours_per_run = [sum(b[n] for n in ours_names) for b in stages]
    ours = summary(ours_per_run)

    def verdict(ok):
        return "**holds**" if ok else "**misses**"

    built = mdict.get("programs as built", "as the build links them")
    variants = [(f"as built ({built})", "qelhostid", "qelkeypair start-up")]
    if "qelhostid, static" in spawn:
        variants.append(("static PIE (`QEL_STATIC_PROGRAMS=ON`)", "qelhostid, static",
                         "qelkeypair start-up, static"))
    w("### Budgets")
    w("")
    w("| Budget | Programs | Measured | Limit | |")
    w("|---|---|---:|---:|---|")
    for label, hostid_name, startup_name in variants:
        st = wall(startup_name)
        total = ours["median"] + st["median"]
        total_p90 = ours["p90"] + st["p90"]
        w(f"| 1. `qelkeypair` outside libtomcrypt: our stages + start-up, medians | {label} | "
          f"{ms(ours['median'])} + {ms(st['median'])} = {ms(total)} ms | 5 ms | "
          f"{verdict(total < 5.0)} |")
        w(f"| 1. the same at the 90th percentiles | {label} | "
          f"{ms(ours['p90'])} + {ms(st['p90'])} = {ms(total_p90)} ms | 5 ms | "
          f"{'within' if total_p90 < 5.0 else 'over'} |")
    for label, hostid_name, startup_name in variants:
        h = wall(hostid_name)
        ratio = h["median"] / lister["median"]
        w(f"| 2. `qelhostid` median wall time / the lister's | {label} | "
          f"{ms(h['median'])} / {ms(lister['median'])} ms = {ratio:.3f} | 1.25 | "
          f"{verdict(ratio <= 1.25)} |")
    for label, hostid_name, startup_name in variants:
        rss_max = max(r["rss"] for r in spawn[hostid_name])
        w(f"| 2. `qelhostid` peak resident set, largest of {len(spawn[hostid_name])} runs | "
          f"{label} | {rss_max} KiB | 2048 KiB | {verdict(rss_max < 2048)} |")
    lic = licence_summaries(run)
    if lic is not None:
        text, ratio = licence_budget(lic)
        w(f"| 3. the licence check / OpenSSL's verification of the signature, medians | "
          f"in one process | {text} | 3 | {verdict(ratio <= 3.0)} |")
    w("")
    try:
        load = float(mdict.get("load average before", "").split(",")[0])
        cores = int(mdict.get("cores", "0"))
    except ValueError:
        load, cores = 0.0, 0
    if cores > 0 and load > cores:
        w(f"This run shared the machine: a load average of {load:.2f} on {cores} cores when "
          f"it began, and the process floor alone took {ms(floor['median'])} ms (median). "
          "Absolute times are inflated by the load; the ratios between programs that took "
          "turns hold better than the absolute limits.")
        w("")

    # --- Whole processes -------------------------------------------------
    n_rounds = len(spawn["qelhostid"])
    w(f"### Whole processes ({n_rounds} interleaved rounds)")
    w("")
    w("Wall time from fork to reaped exit; peak resident set from `wait4`.")
    w("")
    w("| Program | median ms | p10 | p90 | max | / lister | / floor | peak RSS KiB (median, max) | minor faults | exit |")
    w("|---|---:|---:|---:|---:|---:|---:|---:|---:|---|")
    order = ["static no-op", "dynamic no-op", "static lister", "qelhostid",
             "qelhostid, static", "ip -br link", "qelkeypair start-up",
             "qelkeypair start-up, static"]
    for name in order + sorted(set(spawn) - set(order)):
        if name not in spawn:
            continue
        rs = spawn[name]
        s = summary([r["ms"] for r in rs])
        rss = summary([r["rss"] for r in rs])
        flt = summary([r["faults"] for r in rs])
        statuses = ",".join(str(x) for x in sorted({r["status"] for r in rs}))
        w(f"| {name} | {ms(s['median'])} | {ms(s['p10'])} | {ms(s['p90'])} | "
          f"{ms(s['max'])} | {s['median'] / lister['median']:.2f} | "
          f"{s['median'] / floor['median']:.2f} | {rss['median']:.0f}, {rss['max']:.0f} | "
          f"{flt['median']:.0f} | {statuses} |")
    w("")

    # --- Adapter list ----------------------------------------------------
    adapter_runs = []
    for file, place, judged in (("adapters_default.json", "this machine's links", False),
                                ("adapters_links.json", "tap links, own namespace", True)):
        path = os.path.join(run, file)
        if os.path.exists(path):
            adapter_runs.append((place, judged, iterations(path)[1]))
    ways = [("netlink_fill", "ours: `adapter_source_fill`, buffer of the asked size, and a walk"),
            ("hostid_list_get", "ours: `hostid_list_get`, the whole call"),
            ("getifaddrs_walk", "glibc: `getifaddrs`, a walk of the `AF_PACKET` entries, `freeifaddrs`")]
    verdicts = []
    if adapter_runs:
        w("### Adapter list, in one process")
        w("")
        w("| Links | Way | links listed | median ms | p10 | p90 | / netlink dump |")
        w("|---|---|---:|---:|---:|---:|---:|")
        for place, judged, runs in adapter_runs:
            meds = {}
            for way, label in ways:
                found = [v for k, v in runs.items() if k.split("/")[0] == way]
                if not found:
                    continue
                times = [to_ms(b, b["real_time"]) for b in found[0]]
                s = summary(times)
                meds[way] = s
                links = int(found[0][0].get("links", 0))
                base = meds.get("netlink_fill", s)["median"]
                w(f"| {place} | {label} | {links} | {ms(s['median'], 3)} | "
                  f"{ms(s['p10'], 3)} | {ms(s['p90'], 3)} | {s['median'] / base:.2f} |")
            if "netlink_fill" in meds and "getifaddrs_walk" in meds:
                ratio = meds["getifaddrs_walk"]["median"] / meds["netlink_fill"]["median"]
                verdicts.append((place, links, ratio, judged))
        w("")
        # The rule is judged on the long list only; the short one is for
        # contrast.
        for place, links, ratio, judged in verdicts:
            more = (ratio - 1) * 100
            if not judged:
                word = "for contrast"
            elif ratio > 1.10:
                word = "more than 10% dearer, so the netlink dump stays"
            else:
                word = "within 10% of it, so the rule wants `getifaddrs` in its place"
            w(f"- At {links} links ({place}), `getifaddrs` takes {ratio:.2f} times the netlink "
              f"dump's median ({more:+.0f}%): {word}.")
        w("")

    # --- Key generation --------------------------------------------------
    w("### Key generation (2048-bit p)")
    w("")
    w("| Generator | q bits | keys | median ms | p10 | p90 | max | / ours |")
    w("|---|---:|---:|---:|---:|---:|---:|---:|")
    rows = [("keypair_generate", "ours: `keypair_generate` (libtomcrypt 1.18.2, with its check)", "240"),
            ("openssl_dsa/q_bits:224", "OpenSSL 3, EVP parameters + key", "224"),
            ("openssl_dsa/q_bits:256", "OpenSSL 3, EVP parameters + key", "256")]
    ref = None
    for prefix, label, qbits in rows:
        found = [v for k, v in keys.items() if k.startswith(prefix)]
        if not found:
            continue
        times = [to_ms(b, b["real_time"]) for b in found[0]]
        s = summary(times)
        if ref is None:
            ref = s["median"]
        w(f"| {label} | {qbits} | {s['n']} | {ms(s['median'], 0)} | {ms(s['p10'], 0)} | "
          f"{ms(s['p90'], 0)} | {ms(s['max'], 0)} | {s['median'] / ref:.2f} |")
    w("")
    switches = interleaved(keys)
    total = sum(len(v) for v in keys.values())
    w(f"The {total} keys were made in one process in random order "
      f"({switches} switches of generator).")
    w("")

    # --- Stages ----------------------------------------------------------
    w(f"### One `qelkeypair` run, stage by stage ({len(stages)} runs, each in a fresh process)")
    w("")
    w("| Stage | median ms | p10 | p90 | max | whose |")
    w("|---|---:|---:|---:|---:|---|")
    labels = [("make_key_ms", "`dsa_make_key`", "libtomcrypt"),
              ("verify_key_ms", "`dsa_verify_key`", "libtomcrypt"),
              ("export_private_ms", "private export (`dsa_export`, copy)", "ours"),
              ("export_public_ms", "public export (`dsa_export`, copy)", "ours"),
              ("write_private_ms", "`qel_privkey.c` written", "ours"),
              ("write_public_ms", "`qel_pubkey.c` written", "ours"),
              ("hash_ms", "key hash (`core/sha256.cpp`)", "ours")]
    for key, label, whose in labels:
        s = summary([b[key] for b in stages])
        digits = 0 if whose == "libtomcrypt" else 3
        w(f"| {label} | {ms(s['median'], digits)} | {ms(s['p10'], digits)} | "
          f"{ms(s['p90'], digits)} | {ms(s['max'], digits)} | {whose} |")
    w(f"| ours together, per run | {ms(ours['median'], 3)} | {ms(ours['p10'], 3)} | "
      f"{ms(ours['p90'], 3)} | {ms(ours['max'], 3)} | ours |")
    w(f"| process start-up (`qelkeypair` refusing, whole process, as built) | {ms(startup['median'], 3)} | "
      f"{ms(startup['p10'], 3)} | {ms(startup['p90'], 3)} | {ms(startup['max'], 3)} | "
      f"ours + system |")
    w(f"| the process floor (static no-op, whole process) | {ms(floor['median'], 3)} | "
      f"{ms(floor['p10'], 3)} | {ms(floor['p90'], 3)} | {ms(floor['max'], 3)} | system |")
    w("")

    # --- The licence check -----------------------------------------------
    if lic is not None:
        out.extend(licence_section(lic))

    # --- SHA-256 ---------------------------------------------------------
    w("### SHA-256")
    w("")
    w("| Message | ours MiB/s (median) | p10 | p90 | OpenSSL MiB/s (median) | p10 | p90 | ours / OpenSSL |")
    w("|---|---:|---:|---:|---:|---:|---:|---:|")
    for size, label in [(1 << 10, "1 KiB"), (64 << 10, "64 KiB"), (16 << 20, "16 MiB")]:
        cells = []
        meds = []
        for lib in ("sha256_qel", "sha256_openssl"):
            runs = sha.get(f"{lib}/{size}", [])
            s = summary([b["bytes_per_second"] / (1 << 20) for b in runs])
            meds.append(s["median"])
            cells += [f"{s['median']:.0f}", f"{s['p10']:.0f}", f"{s['p90']:.0f}"]
        w(f"| {label} | " + " | ".join(cells) + f" | {meds[0] / meds[1]:.2f} |")
    w("")

    # --- Method ----------------------------------------------------------
    sha_reps = max((len(v) for v in sha.values()), default=0)
    w("### Method")
    w("")
    w(f"- Build: the `bench` preset ({mdict.get('compiler', 'the system compiler')}, Release, "
      "`-O3`). `qelhostid` and `qelkeypair` are `build/bench/qelhostid` and "
      "`build/bench/qelkeypair`, linked as the top-level CMakeLists.txt links them "
      f"({built}). "
      + ("The rows marked static are the same sources compiled and linked with "
         "the same options plus `-static-pie` and Debian's `libtomcrypt.a` and "
         "`libtommath.a` (`qel_link_static` of cmake/QelStaticRuntime.cmake, what "
         "`QEL_STATIC_PROGRAMS=ON` does to the programs). "
         if "qelhostid, static" in spawn else "")
      + "The static and dynamic no-ops are bench/floor.c, "
      "`int main(void) { return 0; }`, linked each way: their difference is what the "
      "dynamic loader alone costs here.")
    w(f"- Whole processes: `qel_bench_spawn` (bench/spawn.c, static) starts each program "
      f"{n_rounds} times after one unrecorded warm-up round, the programs taking turns and "
      "each round starting one program later, all in one scratch directory with standard "
      "input, output and error on /dev/null. Wall time runs from just before `fork` to the "
      "return of `wait4`; peak resident set is `wait4`'s `ru_maxrss` (a forked child keeps "
      "the high-water mark of the pages it inherits; the runner is static and small so that "
      "stays far below every program measured, as the static no-op's figure shows). "
      "`qelhostid` replaces its `qelhostid.txt` there on every run, and the lister "
      "(bench/lister.c) its `lister.txt`, both opened with `fopen(name, \"w\")`, "
      "which truncates the previous run's file, as a user's repeated runs do.")
    if adapter_runs:
        reps = max((len(v) for _, _, runs in adapter_runs for v in runs.values()), default=0)
        w(f"- Adapter list: `qel_bench_adapters` (bench/adapters_bench.cpp), {reps} randomly "
          "interleaved repetitions of Google Benchmark's timed loop for each way, wall time "
          "per call. Run once in the default network namespace and once under "
          "`unshare -n` after `ip -batch` made the tap links (`tuntap add mode tap`; down, "
          "without addresses, so `getifaddrs`' address dump is as short as it gets). "
          "`adapter_source_fill` gets a buffer of the size it asked for before the clock "
          "runs, the steady state of `hostid_list_get`'s loop; `hostid_list_get` starts at "
          "15000 bytes as it always does, so past about 600 links it dumps the list twice.")
    w("- Process start-up of `qelkeypair`: the whole process run in a directory that "
      "already holds both key files, so it starts, checks standard streams, probes for the "
      "key files, prints its one error line and exits (status 3). That is every step of a "
      "real run other than those timed in the stage table, plus the refusal's error line.")
    w("- Stages: `qelkeypair_stages` in bench/keys_bench.cpp does what `qel_generate_keys` "
      "does, in its order and on the same functions (`dsa_make_key`, `dsa_verify_key` and "
      "`dsa_export` as keys/keypair.cpp calls them, `keypair_write_private`, "
      "`keypair_write_public`, `keypair_public_hash`), with a steady-clock reading between "
      "steps. Each run is a fresh process, so every step is as cold as in a real "
      "`qelkeypair`; the files go to a scratch directory under build/bench. Not timed: "
      "`keypair_new`, the five lines printed to standard output, `keypair_free`.")
    w("- Key generation: `keypair_generate` (our whole call: make, check, both exports) and "
      "OpenSSL 3's `EVP_PKEY_paramgen` + `EVP_PKEY_keygen` for DSA with a 2048-bit p, "
      "repetitions of one key each, randomly interleaved by Google Benchmark "
      "(`--benchmark_enable_random_interleaving`). OpenSSL's figure has no check of the "
      "key; ours includes `dsa_verify_key` (see the stage table for its share). Key "
      "generation time is a search for primes, so it varies widely from key to key: the "
      "spread is the library's, not the machine's.")
    w(f"- SHA-256: one whole message a call (`sha256_buffer`; OpenSSL: a fetched `EVP_MD`, "
      f"`EVP_DigestInit_ex`/`Update`/`Final_ex` on a reused context), {sha_reps} "
      "interleaved repetitions of Google Benchmark's timed loop each.")
    if lic is not None:
        w("- Licence check: `qel_bench_license` (bench/license_bench.cpp) issues a licence "
          "with the test key (tests/data) for this machine's first address, then times "
          "`qel_license_check` on it as a product calls it, each stage on its own, and "
          "OpenSSL 3 verifying the same signature over the same signed text. OpenSSL 3 "
          "takes no DSA key with a 240-bit q, so its figure is the equation on its BIGNUMs "
          "as its DSA verify works it (`BN_mod_inverse`, `BN_mod_mul`, `BN_mod_exp2_mont`, "
          "`BN_mod`), after `SHA256` and `d2i_DSA_SIG`. Google Benchmark's timed loop, "
          "repetitions randomly interleaved; wall time per call.")
    w("- Percentiles interpolate linearly between the sorted samples; ratios are ratios of "
      "medians. Google Benchmark is Debian's libbenchmark (built as Debian builds it); "
      "every figure above is a clock reading taken by the benchmark itself.")
    w(f"- The machine is shared; its load average is in the machine table "
      f"(Google Benchmark saw {', '.join(f'{x:.2f}' for x in keys_ctx.get('load_avg', []))} "
      "when the key generation began).")
    w("")
    w(END)

    text = "\n".join(out) + "\n"
    try:
        with open(doc) as f:
            old = f.read()
    except FileNotFoundError:
        old = ""
    if BEGIN in old and END in old:
        head = old[:old.index(BEGIN)]
        tail = old[old.index(END) + len(END):].lstrip("\n")
        new = head + text + (("\n" + tail) if tail else "")
    else:
        new = INTRO + "\n" + text
    with open(doc, "w") as f:
        f.write(new)


if __name__ == "__main__":
    main()
