"""What the benchmark scripts share: interleaved timing, figures reported against their peer and
their floor over several runs (median and spread), and the machine's own scaling over two
processes, printed beside any figure of threads or processes.

On a shared, noisy machine a single time means little; a ratio of two times taken side by side
(interleaved, best of several repeats each) means more, and the median of such ratios over
several runs more still. Nothing here asserts on speed.
"""

import hashlib
import multiprocessing
import statistics
import time
import timeit


def fmt(seconds):
    if seconds is None:
        return "n/a"
    if seconds < 1e-6:
        return f"{seconds * 1e9:.1f} ns"
    if seconds < 1e-3:
        return f"{seconds * 1e6:.2f} us"
    if seconds < 1.0:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds:.3f} s"


def best_interleaved(statements, repeat=7, number=1, globals=None):
    """The best per-call time of each statement (a string or a callable), the statements run in
    turn within each repeat, so that a slow spell of the machine hits all of them alike."""
    timers = [timeit.Timer(s, globals=globals) for s in statements]
    best = [float("inf")] * len(timers)
    for _ in range(repeat):
        for i, timer in enumerate(timers):
            best[i] = min(best[i], timer.timeit(number) / number)
    return best


class Figures:
    """Figures measured once per run: the library's time, its peer's and its floor's, each
    run's ratios kept. The summary gives medians with their spread, and whether the goal (a
    largest ratio to the floor, or to the peer) is met by the median. A goal that follows from the
    run's own measurements (an absolute time over the floor's) is kept per run, and its median
    judged."""

    def __init__(self):
        self._rows = {}

    def add(self, figure, lib, peer_name=None, peer=None, floor_name=None, floor=None, goal=None, goal_of="floor"):
        row = self._rows.setdefault(
            figure,
            {
                "lib": [],
                "peer": [],
                "floor": [],
                "peer_name": peer_name,
                "floor_name": floor_name,
                "goal": [],
                "goal_of": goal_of,
            },
        )
        if goal is not None:
            row["goal"].append(goal)
        row["lib"].append(lib)
        row["peer"].append(peer)
        row["floor"].append(floor)
        line = f"  {figure:<46} {fmt(lib):>10}"
        if peer is not None:
            line += f"   {peer_name} {fmt(peer)} ({lib / peer:.2f}x)"
        if floor is not None:
            line += f"   floor {floor_name} {fmt(floor)} ({lib / floor:.2f}x)"
        if goal is not None:
            line += f"   goal <= {goal:.3g}x the {goal_of}"
        print(line)

    def summary(self, title="Summary"):
        runs = max((len(r["lib"]) for r in self._rows.values()), default=0)
        print(f"\n{title}: medians over {runs} run(s), spread min-max in brackets")
        header = (
            f"{'figure':<46} {'library':>10}  {'peer':<34} {'x peer':>17}  {'floor':<30} {'x floor':>17} "
            f"{'goal':>12} {'met':>4}"
        )
        print(header)
        print("-" * len(header))
        for figure, row in self._rows.items():
            lib = statistics.median(row["lib"])
            cells = [f"{figure:<46} {fmt(lib):>10}"]
            ratios = {}
            for kind in ("peer", "floor"):
                times = [t for t in row[kind] if t is not None]
                if not times:
                    cells.append(f"  {'-':<{34 if kind == 'peer' else 30}} {'-':>17}")
                    continue
                each = [a / b for a, b in zip(row["lib"], row[kind]) if b is not None]
                ratios[kind] = statistics.median(each)
                spread = f"{ratios[kind]:.2f}x [{min(each):.2f}-{max(each):.2f}]"
                name = f"{row[kind + '_name']} {fmt(statistics.median(times))}"
                cells.append(f"  {name:<{34 if kind == 'peer' else 30}} {spread:>17}")
            goal = statistics.median(row["goal"]) if row["goal"] else None
            goal_of = row["goal_of"]
            if goal is None or goal_of not in ratios:
                cells.append(f" {'-':>12} {'-':>4}")
            else:
                cells.append(f" {f'<={goal:.3g}x {goal_of}':>12} {'yes' if ratios[goal_of] <= goal else 'no':>4}")
            print("".join(cells))


def _hash_work(rounds):
    data = bytes(1 << 20)
    for _ in range(rounds):
        hashlib.sha256(data).digest()


def machine_scaling(rounds=60):
    """Throughput of two processes each hashing as much as one process alone (sha256 of 1 MiB,
    rounds times), against that one: 2.0 on two idle cores, less on a busy machine. Best of
    three, alternated."""
    context = multiprocessing.get_context("fork")
    one = two = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        process = context.Process(target=_hash_work, args=(rounds,))
        process.start()
        process.join()
        one = min(one, time.perf_counter() - start)
        start = time.perf_counter()
        processes = [context.Process(target=_hash_work, args=(rounds,)) for _ in range(2)]
        for p in processes:
            p.start()
        for p in processes:
            p.join()
        two = min(two, time.perf_counter() - start)
    return 2 * one / two
