"""vhdx_inspect.find_images: vhdx-inspect-json's folder walk, its names in
the type of the folder given, OSError for what cannot be walked (or onerror,
and the walk goes on), the GIL released and Ctrl+C heard during a long walk."""
import errno
import json
import os
import signal
import subprocess
import threading
import time
from pathlib import Path

import pytest

import vhdx_inspect

# The tree: each name, and whether it is an image without -r and with it.
# Links to folders are not followed; a link whose target is missing is
# listed (inspecting it says why).
TREE = {
    "a.vhdx": (True, True),
    "B.VHDX": (True, True),
    "notes.txt": (False, False),
    "image.vhdx.bak": (False, False),
    "image.vhd": (False, False),
    "sub/c.Vhdx": (False, True),
    "sub/deeper/D.vHdX": (False, True),
    "sub/deeper/e.txt": (False, False),
    "folder.vhdx/f.vhdx": (False, True),
    "empty/": (False, False),
}


class PathLikeBytes:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


@pytest.fixture
def tree(tmp_path, fixtures):
    root = tmp_path / "tree"
    for name in TREE:
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        if name.endswith("/"):
            path.mkdir()
        else:
            path.write_bytes((fixtures / "sound.vhdx").read_bytes())
    elsewhere = tmp_path / "elsewhere"
    elsewhere.mkdir()
    (elsewhere / "away.vhdx").write_bytes(b"")
    (root / "sub" / "link").symlink_to(elsewhere, target_is_directory=True)
    (root / "link.vhdx").symlink_to(elsewhere, target_is_directory=True)  # a folder, by its link
    (root / "dangling.vhdx").symlink_to(tmp_path / "gone.vhdx")
    return root


def expected_images(root, recursive):
    names = [name for name, images in TREE.items() if images[recursive]] + ["dangling.vhdx"]
    return sorted(str(root / name) for name in names)


def json_paths(json_program, *arguments):
    run = subprocess.run([json_program, *arguments], capture_output=True, check=False)
    return [json.loads(line)["path"] for line in run.stdout.splitlines()], run.stderr.decode()


@pytest.mark.parametrize("recursive", [False, True])
def test_the_images_by_the_json_programs_rule_and_in_its_order(tree, json_program, recursive):
    images = vhdx_inspect.find_images(tree, recursive)
    assert sorted(images) == expected_images(tree, recursive)
    # The same walk: the JSON program inspects them in this order.
    assert images == json_paths(json_program, *(["-r"] if recursive else []), "-p", str(tree))[0]
    assert vhdx_inspect.find_images(tree, recursive=recursive) == images
    assert vhdx_inspect.find_images(tree) == vhdx_inspect.find_images(tree, False)


def test_the_names_come_in_the_type_of_the_folder_given(tree):
    as_str = vhdx_inspect.find_images(str(tree), True)
    forms = [
        (str(tree), str),
        (tree, str),  # os.PathLike[str]
        (os.fsencode(tree), bytes),
        (PathLikeBytes(os.fsencode(tree)), bytes),
    ]
    for folder, kind in forms:
        images = vhdx_inspect.find_images(folder, True)
        assert all(type(image) is kind for image in images), folder
        assert [os.fsdecode(image) for image in images] == as_str


def test_a_name_that_is_not_utf8_comes_back_as_a_name_that_opens_the_file(tmp_path, fixtures):
    name = os.path.join(os.fsencode(tmp_path), b"caf\xe9-\xff.VHDX")
    with open(name, "wb") as image:
        image.write((fixtures / "sound.vhdx").read_bytes())
    assert vhdx_inspect.find_images(os.fsencode(tmp_path)) == [name]
    [text] = vhdx_inspect.find_images(str(tmp_path))
    assert os.fsencode(text) == name  # os.fsdecode's form
    result = vhdx_inspect.inspect(text)
    assert result.verdict is vhdx_inspect.Verdict.SOUND and result.path == text


def test_a_folder_that_cannot_be_walked_raises_the_systems_oserror(tmp_path):
    missing = tmp_path / "missing"
    file = tmp_path / "file.vhdx"
    file.write_bytes(b"")
    cases = [
        (str(missing), FileNotFoundError, errno.ENOENT),
        (os.fsencode(missing), FileNotFoundError, errno.ENOENT),
        (missing, FileNotFoundError, errno.ENOENT),
        (str(file), NotADirectoryError, errno.ENOTDIR),
        (os.fsencode(file), NotADirectoryError, errno.ENOTDIR),
    ]
    for folder, kind, code in cases:
        with pytest.raises(kind) as raised:
            vhdx_inspect.find_images(folder, True)
        # As os.listdir raises it: the code, its text, the name as os.fspath gives it.
        assert (raised.value.errno, raised.value.strerror) == (code, os.strerror(code))
        assert raised.value.filename == os.fspath(folder)
        problems = []
        assert vhdx_inspect.find_images(folder, onerror=problems.append) == []
        assert [(type(p), p.errno, p.filename) for p in problems] == [(kind, code, os.fspath(folder))]


@pytest.mark.parametrize("folder, error", [
    (42, TypeError),
    (None, TypeError),
    ("tree\0", ValueError),
    (b"tree\0", ValueError),
])
def test_a_folder_of_the_wrong_kind_is_refused(folder, error):
    with pytest.raises(error):
        vhdx_inspect.find_images(folder)


def test_an_image_entry_that_cannot_be_examined_raises_or_goes_to_onerror(tree, json_program):
    """A link to itself fails every status (ELOOP), also for root: without
    onerror the first one ends the walk; with it, the walk goes on and
    onerror hears of each, in the JSON program's order and words."""
    loops = [tree / "sub" / "loop.vhdx", tree / "z-loop.VHDX"]
    for loop in loops:
        loop.symlink_to(loop.name)
    # Without -r only the loop at the top is met; with it, whichever comes first.
    for recursive, met in ((False, loops[1:]), (True, loops)):
        with pytest.raises(OSError) as raised:
            vhdx_inspect.find_images(tree, recursive)
        assert raised.value.errno == errno.ELOOP and raised.value.filename in map(str, met)
    problems = []
    images = vhdx_inspect.find_images(tree, True, onerror=problems.append)
    assert sorted(images) == expected_images(tree, True)
    assert sorted(p.filename for p in problems) == sorted(map(str, loops))
    assert {(type(p), p.errno, p.strerror) for p in problems} == {(OSError, errno.ELOOP, os.strerror(errno.ELOOP))}
    paths, stderr = json_paths(json_program, "-r", "-p", str(tree))
    assert images == paths
    assert [f"vhdx-inspect-json: {p.filename} cannot be examined: {p.strerror}" for p in problems] == \
        stderr.splitlines()


def test_an_exception_from_onerror_ends_the_call(tree):
    (tree / "loop.vhdx").symlink_to("loop.vhdx")

    def refuse(error):
        raise RuntimeError(f"refused {error.filename}")

    with pytest.raises(RuntimeError, match="refused .*loop.vhdx"):
        vhdx_inspect.find_images(tree, onerror=refuse)


@pytest.mark.skipif(os.geteuid() == 0, reason="root lists a folder whatever its mode")
def test_a_folder_below_that_cannot_be_listed_does_not_vanish(tree, json_program):
    locked = tree / "sub" / "deeper"
    locked.chmod(0)
    try:
        with pytest.raises(PermissionError) as raised:
            vhdx_inspect.find_images(tree, True)
        assert raised.value.filename == str(locked)
        problems = []
        images = vhdx_inspect.find_images(tree, True, onerror=problems.append)
        assert [(type(p), p.filename) for p in problems] == [(PermissionError, str(locked))]
        assert images == json_paths(json_program, "-r", "-p", str(tree))[0]
        assert str(tree / "sub" / "deeper" / "D.vHdX") not in images and str(tree / "sub" / "c.Vhdx") in images
        with pytest.raises(PermissionError):
            vhdx_inspect.find_images(locked)
    finally:
        locked.chmod(0o755)


@pytest.fixture(scope="module")
def big_tree(tmp_path_factory):
    """50 folders of 1,000 entries, none an image: a walk of about 0.2 s."""
    root = tmp_path_factory.mktemp("big")
    for k in range(50):
        folder = root / f"d{k}"
        folder.mkdir()
        for n in range(1000):
            (folder / f"f{n}.txt").touch()
    return root


def timed_walk(folder):
    started = time.monotonic()
    assert vhdx_inspect.find_images(folder, True) == []
    return time.monotonic() - started


def test_the_gil_is_released_during_the_walk(big_tree):
    """While a thread walks, the main thread runs Python on and on: its
    longest pause is far shorter than the walk (which would be one pause,
    were the GIL held)."""
    walked = []
    walker = threading.Thread(target=lambda: walked.append(timed_walk(big_tree)))
    longest = 0.0
    walker.start()
    last = time.monotonic()
    while walker.is_alive():
        now = time.monotonic()
        longest = max(longest, now - last)
        last = now
    walker.join()
    assert walked and longest < walked[0] / 3, (longest, walked)


def test_ctrl_c_ends_a_long_walk(big_tree):
    class Interrupted(Exception):
        pass

    def interrupt(*_):
        raise Interrupted

    whole = timed_walk(big_tree)
    previous = signal.signal(signal.SIGINT, interrupt)
    timer = threading.Timer(whole / 10, os.kill, (os.getpid(), signal.SIGINT))
    try:
        started = time.monotonic()
        timer.start()
        with pytest.raises(Interrupted):
            vhdx_inspect.find_images(big_tree, True)
        assert time.monotonic() - started < whole / 2, whole
    finally:
        timer.cancel()
        signal.signal(signal.SIGINT, previous)
