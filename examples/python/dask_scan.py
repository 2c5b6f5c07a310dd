#!/usr/bin/python3
"""Inspects the plugin VHDX images of a folder tree, or of a file list, on a
Dask cluster, and writes one JSON object per image on its own line, in the
order that ``vhdx-inspect-json -r -p FOLDER`` writes them, then a summary of
the verdicts on standard error.

    dask_scan.py -p FOLDER [-r]          a LocalCluster on this machine
    dask_scan.py -p FOLDER -r --scheduler tcp://host:8786
    dask_scan.py --file-list LIST --scheduler tcp://host:8786

The folder is listed, by vhdx_inspect.find_images (vhdx-inspect-json's own
folder walk), and every image opened, by the workers: paths are as the
workers see them. Images go to the workers in batches (--batch), one
task each, so that the scheduler's cost per task (about a millisecond) does
not dominate. Exit status as vhdx-inspect-json's: 0 every image sound, 3 a
folder or an entry could not be examined, 4 some image is not sound.
"""
import argparse
import os
import sys
import time
from collections import Counter
from typing import Iterable, List, Optional, Sequence, Tuple

# distributed's Client and LocalCluster are not annotated: their calls carry
# "type: ignore[no-untyped-call]" for mypy --strict.
from dask.distributed import Client, LocalCluster

ALL_SOUND = 0
FOLDER_NOT_SCANNED = 3
IMAGE_NOT_SOUND = 4

# (verdict, JSON line) for each image of a batch
BatchResult = List[Tuple[str, str]]


def inspect_batch(paths: Sequence[bytes]) -> BatchResult:
    """Runs on a worker: one inspector for the batch, as the JSON program
    keeps one per thread."""
    import vhdx_inspect

    inspector = vhdx_inspect.Inspector()
    results: BatchResult = []
    for path in paths:
        inspection = inspector.inspect(path)
        results.append((inspection.verdict.value, inspection.to_json()))
    return results


def list_images(folder: bytes, recursive: bool) -> Tuple[List[bytes], List[str]]:
    """Runs on a worker: the images of `folder` by vhdx-inspect-json's own
    folder walk (".vhdx" in any case, listing order, folders below it with
    -r, links to folders not followed), and its lines for what could not be
    walked."""
    import vhdx_inspect

    problems: List[str] = []

    def note(error: OSError) -> None:
        problems.append(problem_line(folder, error))

    images = vhdx_inspect.find_images(folder, recursive, onerror=note)
    return images, problems


def problem_line(folder: bytes, error: OSError) -> str:
    """vhdx-inspect-json's line for what find_images could not walk: the
    folder given, a folder below it that cannot be listed, or an entry named
    like an image whose status cannot be read (one that is no folder)."""
    name = os.fsdecode(error.filename)
    if error.filename == folder and isinstance(error, FileNotFoundError):
        return f"VHDX directory {name} does not exist."
    if error.filename == folder and isinstance(error, NotADirectoryError):
        return f"{name} is not a directory."
    if error.filename == folder or os.path.isdir(error.filename):
        return f"VHDX directory {name} cannot be listed: {error.strerror}"
    return f"{name} cannot be examined: {error.strerror}"


def batches_of(items: Sequence[bytes], size: int) -> List[List[bytes]]:
    return [list(items[start : start + size]) for start in range(0, len(items), size)]


def read_file_list(list_path: str) -> List[bytes]:
    """One path a line, as bytes (any name the system allows); empty lines skipped."""
    if list_path == "-":
        data = sys.stdin.buffer.read()
    else:
        with open(list_path, "rb") as f:
            data = f.read()
    return [line for line in data.split(b"\n") if line]


def scan(
    client: Client, images: Optional[List[bytes]], folder: Optional[bytes], recursive: bool, batch: int
) -> Tuple[Counter[str], int, List[str], int]:
    """Writes the lines in order; returns the verdicts, the images, the
    problems and the batches."""
    problems: List[str] = []
    if images is None:
        assert folder is not None
        images, problems = client.submit(list_images, folder, recursive, pure=False).result()  # type: ignore[no-untyped-call]
    verdicts: Counter[str] = Counter()
    batches = batches_of(images, batch)
    futures = client.map(inspect_batch, batches, pure=False)  # type: ignore[no-untyped-call]
    out = sys.stdout
    for future in futures:  # in submission order, each as soon as it is done
        for verdict, line in future.result():
            out.write(line + "\n")
            verdicts[verdict] += 1
        future.release()
    out.flush()
    return verdicts, len(images), problems, len(batches)


def summary(verdicts: Counter[str], images: int, batches: int, workers: int, seconds: float) -> str:
    counts = ", ".join(f"{verdict} {count}" for verdict, count in sorted(verdicts.items())) or "none"
    rate = images / seconds if seconds > 0 else 0.0
    return (
        f"dask_scan: {images} images in {batches} batches on {workers} workers, "
        f"{seconds:.3f} s ({rate:.1f} images/s); verdicts: {counts}"
    )


def parse_arguments(argv: Iterable[str]) -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    what = parser.add_mutually_exclusive_group(required=True)
    what.add_argument("-p", "--vhdx-path", help="the folder of images")
    what.add_argument("--file-list", help="a file with one image path a line ('-': standard input)")
    parser.add_argument("-r", "--recursive", action="store_true", help="with -p: also the folders below it")
    parser.add_argument("--scheduler", help="the address of a running scheduler (default: a LocalCluster here)")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster: worker processes (default 2)")
    parser.add_argument("--batch", type=int, default=64, help="images per task (default 64)")
    arguments = parser.parse_args(list(argv))
    if arguments.recursive and arguments.vhdx_path is None:
        parser.error("-r goes with -p FOLDER")
    if arguments.batch < 1 or arguments.workers < 1:
        parser.error("--batch and --workers take a number from 1")
    return arguments


def main(argv: Sequence[str]) -> int:
    arguments = parse_arguments(argv[1:])
    images = read_file_list(arguments.file_list) if arguments.file_list is not None else None
    folder = os.fsencode(arguments.vhdx_path) if arguments.vhdx_path is not None else None
    started = time.monotonic()
    cluster: Optional[LocalCluster] = None
    if arguments.scheduler:
        client = Client(arguments.scheduler)  # type: ignore[no-untyped-call]
    else:
        # Loopback only, no dashboard: nothing listens beyond this machine.
        cluster = LocalCluster(  # type: ignore[no-untyped-call]
            n_workers=arguments.workers,
            threads_per_worker=1,
            processes=True,
            host="127.0.0.1",
            dashboard_address=None,
            worker_dashboard_address=None,
        )
        client = Client(cluster)  # type: ignore[no-untyped-call]
    try:
        workers = len(client.scheduler_info()["workers"])  # type: ignore[no-untyped-call]
        ready = time.monotonic()
        verdicts, count, problems, batches = scan(client, images, folder, arguments.recursive, arguments.batch)
        done = time.monotonic()
    finally:
        client.close()  # type: ignore[no-untyped-call]
        if cluster is not None:
            cluster.close()  # type: ignore[no-untyped-call]
    for problem in problems:
        print(f"vhdx-inspect-json: {problem}", file=sys.stderr)
    print(summary(verdicts, count, batches, workers, done - ready), file=sys.stderr)
    print(f"dask_scan: cluster ready in {ready - started:.3f} s", file=sys.stderr)
    if problems:
        return FOLDER_NOT_SCANNED
    return ALL_SOUND if verdicts["sound"] == count else IMAGE_NOT_SOUND


if __name__ == "__main__":
    sys.exit(main(sys.argv))
