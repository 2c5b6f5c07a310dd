#!/usr/bin/python3
"""The Python module's figures for bench/run.sh (bench/README.md).

    python_bench.py local FOLDER JSON_PROGRAM ROUNDS
        vhdx_inspect.inspect in one thread against vhdx-inspect-json -j 1,
        per image, over the images of FOLDER: interleaved rounds, the median
        of the per-round ratios. Prints: ratio module_ms json_ms to_json_ratio
    python_bench.py threads FOLDER ROUNDS
        4 threads (an Inspector each) against 1 over FOLDER (the slow mount):
        the median over the rounds of (1-thread time / 4-thread time).
        Prints: ratio one_ms four_ms
"""
import os
import statistics
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import vhdx_inspect


def images_of(folder):
    return [entry.path for entry in os.scandir(folder) if entry.name.endswith(".vhdx")]


def timed(action):
    start = time.perf_counter()
    action()
    return time.perf_counter() - start


def inspect_all(images):
    for image in images:
        vhdx_inspect.inspect(image)


def inspect_all_as_json(images):
    for image in images:
        vhdx_inspect.inspect(image).to_json()


def local(folder, json_program, rounds):
    images = images_of(folder)
    command = [json_program, "-j", "1", "-p", folder]

    def json_run():
        subprocess.run(command, stdout=subprocess.DEVNULL, check=False)

    inspect_all(images)  # warm: page cache, the thread's inspector
    ratios, json_ratios, module_times, json_times = [], [], [], []
    for r in range(rounds):
        # best of three of each, the first one alternating between rounds
        order = [("json", json_run), ("module", lambda: inspect_all(images)),
                 ("to_json", lambda: inspect_all_as_json(images))]
        if r % 2:
            order.reverse()
        best = {name: min(timed(action) for _ in range(3)) for name, action in order}
        ratios.append(best["module"] / best["json"])
        json_ratios.append(best["to_json"] / best["json"])
        module_times.append(best["module"])
        json_times.append(best["json"])
    per_image = 1000 / len(images)
    print(f"{statistics.median(ratios):.3f} {statistics.median(module_times) * per_image:.4f} "
          f"{statistics.median(json_times) * per_image:.4f} {statistics.median(json_ratios):.3f}")


def threads(folder, rounds):
    images = images_of(folder)

    def one_thread():
        inspector = vhdx_inspect.Inspector()
        for image in images:
            inspector.inspect(image)

    def four_threads():
        with ThreadPoolExecutor(max_workers=4) as pool:
            # each thread its own Inspector: the module-level function keeps one per thread
            list(pool.map(vhdx_inspect.inspect, images))

    ratios, ones, fours = [], [], []
    for r in range(rounds):
        order = [one_thread, four_threads] if r % 2 == 0 else [four_threads, one_thread]
        times = {action.__name__: timed(action) for action in order}
        ratios.append(times["one_thread"] / times["four_threads"])
        ones.append(times["one_thread"])
        fours.append(times["four_threads"])
    print(f"{statistics.median(ratios):.2f} {statistics.median(ones) * 1000:.1f} {statistics.median(fours) * 1000:.1f}")


if __name__ == "__main__":
    if sys.argv[1] == "local":
        local(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    else:
        threads(sys.argv[2], int(sys.argv[3]))
