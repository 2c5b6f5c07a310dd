"""Threads: each with its own Inspector gets the single-thread results, the
GIL is released while an image is read, and one Inspector used from two
threads at once raises instead of sharing its buffers."""
import os
import shutil
import threading
import time
from concurrent.futures import ThreadPoolExecutor

import pytest

import vhdx_inspect


THREADS = 4


def copies(fixtures, tmp_path):
    """A copy of the fixtures for each thread: an image is opened for
    exclusive reading, so two threads never open the same file at once."""
    folders = [tmp_path / f"copy-{k}" for k in range(THREADS)]
    for folder in folders:
        shutil.copytree(fixtures, folder, ignore=lambda _, names: [n for n in names if not n.isascii()])
    return folders


def images_of(folder):
    return sorted(str(folder / name) for name in os.listdir(folder))


def test_threads_with_their_own_inspectors_get_the_single_thread_results(fixtures, tmp_path):
    folders = copies(fixtures, tmp_path)
    single = [vhdx_inspect.Inspector().inspect(image).to_json() for image in images_of(folders[0])]
    assert len(single) > 5

    def inspect_all(folder):
        inspector = vhdx_inspect.Inspector()
        lines = [inspector.inspect(image).to_json() for image in images_of(folder) * 10]
        return [line.replace(str(folder), str(folders[0])) for line in lines]

    with ThreadPoolExecutor(max_workers=THREADS) as pool:
        for results in pool.map(inspect_all, folders):
            assert results == single * 10


def test_the_module_functions_serve_many_threads(fixtures, tmp_path):
    folders = copies(fixtures, tmp_path)
    single = [vhdx_inspect.inspect(image).to_json() for image in images_of(folders[0])]

    def inspect_all(folder):
        lines = [vhdx_inspect.inspect(image).to_json() for image in images_of(folder) * 10]
        return [line.replace(str(folder), str(folders[0])) for line in lines]

    with ThreadPoolExecutor(max_workers=THREADS) as pool:
        for results in pool.map(inspect_all, folders):
            assert results == single * 10


def test_one_inspector_in_two_threads_at_once_raises(sample):
    data = sample.read_bytes()
    inspector = vhdx_inspect.Inspector()
    errors = []
    sound = [0, 0]
    deadline = time.monotonic() + 20

    def hammer(k):
        while not errors and time.monotonic() < deadline:
            try:
                result = inspector.inspect_bytes(data, "shared")
            except RuntimeError as error:
                errors.append(error)
                return
            # What it did inspect is whole: the other thread never shared its buffers.
            assert result.verdict is vhdx_inspect.Verdict.SOUND
            sound[k] += 1

    threads = [threading.Thread(target=hammer, args=(k,)) for k in (0, 1)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert errors, "two threads inspected with one Inspector for 20 s and none was refused"
    assert "another thread" in str(errors[0]) and "its own Inspector" in str(errors[0])
    # The refusal leaves the inspector usable.
    assert inspector.inspect_bytes(data).verdict is vhdx_inspect.Verdict.SOUND


def test_the_gil_is_released_while_an_image_is_read(sample):
    """A Python thread keeps counting while another inspects in a loop."""
    data = sample.read_bytes()
    done = threading.Event()
    ticks = 0

    def count():
        nonlocal ticks
        while not done.is_set():
            ticks += 1

    counter = threading.Thread(target=count)
    counter.start()
    inspector = vhdx_inspect.Inspector()
    start = time.monotonic()
    rounds = 0
    while time.monotonic() - start < 0.5:
        inspector.inspect_bytes(data)
        rounds += 1
    done.set()
    counter.join()
    assert rounds > 0 and ticks > 1000
