"""examples/python/dask_scan.py on a LocalCluster of 2 worker processes
(loopback only): exactly the JSON program's lines, in its order, for the
mixed corpus and for a tree of names in every case, its exit status, and the
summary of verdicts."""
import json
import os
import re
import shutil
import subprocess
import sys
from collections import Counter

from conftest import examples_folder, require


def dask_scan(*arguments, stdin=None):
    require("distributed", "python3-distributed")
    return subprocess.run([sys.executable, str(examples_folder() / "dask_scan.py"), "--workers", "2", *arguments],
                          input=stdin, capture_output=True, check=False, timeout=240)


def test_a_local_cluster_writes_the_json_programs_lines_in_its_order(corpus, json_program):
    program = subprocess.run([json_program, "-r", "-p", str(corpus)], capture_output=True, check=False)
    scan = dask_scan("-r", "-p", str(corpus), "--batch", "8")
    stderr = scan.stderr.decode(errors="replace")
    assert scan.stdout == program.stdout, stderr
    objects = [json.loads(line) for line in scan.stdout.splitlines()]
    assert len(objects) > 50
    assert objects == [json.loads(line) for line in program.stdout.splitlines()]
    # The hostile link loop cannot be examined: named on standard error, status 3.
    assert scan.returncode == program.returncode == 3
    assert "symlink-loop.vhdx cannot be examined" in stderr
    # The summary: every verdict with its count.
    counts = Counter(o["verdict"] for o in objects)
    summary = re.search(r"(\d+) images in (\d+) batches on 2 workers.*verdicts: (.*)", stderr)
    assert summary, stderr
    assert int(summary.group(1)) == len(objects) and int(summary.group(2)) == -(-len(objects) // 8)
    assert dict(pair.split(" ") for pair in summary.group(3).split(", ")) == {k: str(v) for k, v in counts.items()}


def test_a_file_list_is_written_in_its_own_order(fixtures, json_program):
    images = sorted(os.fsencode(fixtures / name) for name in os.listdir(fixtures) if name.isascii())[::-1]
    expected = b"".join(subprocess.run([json_program, "-f", image], capture_output=True, check=False).stdout
                        for image in images)
    scan = dask_scan("--file-list", "-", "--batch", "3", stdin=b"\n".join(images) + b"\n")
    assert scan.stdout == expected, scan.stderr.decode(errors="replace")
    assert scan.returncode == 4  # not every fixture is sound


def test_a_missing_folder_is_reported_as_the_json_program_does(tmp_path, json_program):
    missing = str(tmp_path / "nowhere")
    program = subprocess.run([json_program, "-p", missing], capture_output=True, check=False)
    scan = dask_scan("-p", missing)
    assert scan.returncode == program.returncode == 3
    assert scan.stdout == b""
    assert program.stderr.decode().strip() in scan.stderr.decode()


def test_a_tree_of_names_in_any_case_and_a_link_to_a_folder_as_the_json_program(tmp_path, fixtures, json_program):
    """The JSON program's rule: ".vhdx" in any case, the folders below where
    they are met, a link to a folder not followed, other names left out."""
    tree = tmp_path / "tree"
    elsewhere = tmp_path / "elsewhere"
    for folder in (tree / "sub" / "deeper", tree / "other", elsewhere):
        folder.mkdir(parents=True)
    copies = {
        "sub/UPPER.VHDX": "sound.vhdx",
        "sub/deeper/Mixed.Vhdx": "backup-gpt-header-crc.vhdx",
        "other/lower.vhdx": "truncated.vhdx",
        "top.vhdx": "creator-other.vhdx",
    }
    for name, fixture in copies.items():
        shutil.copyfile(fixtures / fixture, tree / name)
    shutil.copyfile(fixtures / "sound.vhdx", elsewhere / "away.vhdx")
    shutil.copyfile(fixtures / "sound.vhdx", tree / "sub" / "copy.vhdx.bak")
    (tree / "notes.txt").write_text("not an image\n")
    (tree / "link").symlink_to(elsewhere, target_is_directory=True)

    program = subprocess.run([json_program, "-r", "-p", str(tree)], capture_output=True, check=False)
    scan = dask_scan("-r", "-p", str(tree), "--batch", "2")
    assert scan.stdout == program.stdout, scan.stderr.decode(errors="replace")
    assert sorted(json.loads(line)["path"] for line in scan.stdout.splitlines()) == sorted(
        str(tree / name) for name in copies)
    assert scan.returncode == program.returncode == 4  # not every image is sound
