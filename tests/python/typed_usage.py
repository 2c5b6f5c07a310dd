"""A user's script against the module's stubs: mypy --strict must accept it
(tests/python/test_typing.py)."""
import os
import sys
from pathlib import Path
from typing import Any, Dict, List, Optional, Union

import vhdx_inspect
from vhdx_inspect import Inspection, InspectionWarning, Inspector, Verdict


def failed_check(result: Inspection) -> Optional[str]:
    return result.failure.check if result.failure is not None else None


def names(result: Inspection) -> List[str]:
    if result.primary_gpt is None:
        return []
    return [entry.name for entry in result.primary_gpt.entries]


def images_below(folder: Union[str, Path]) -> List[str]:
    problems: List[OSError] = []
    found: List[str] = vhdx_inspect.find_images(folder, True, onerror=problems.append)
    raw: List[bytes] = vhdx_inspect.find_images(os.fsencode(folder), recursive=False)
    for problem in problems:
        print(problem.filename, problem.strerror, file=sys.stderr)
    return found + [os.fsdecode(name) for name in raw]


def warnings_of(result: Inspection) -> List[InspectionWarning]:
    return [warning for warning in result.warnings if warning.entry is not None]


def main(paths: List[str]) -> int:
    inspector: Inspector = vhdx_inspect.Inspector()
    bad = 0
    for path in paths:
        arguments: List[Union[str, bytes, Path]] = [path, os.fsencode(path), Path(path)]
        for argument in arguments:
            result = inspector.inspect(argument)
            verdict: Verdict = result.verdict
            as_dict: Dict[str, Any] = result.to_dict()
            line: str = result.to_json()
            print(verdict.value, failed_check(result), names(result), len(as_dict), len(line))
            bad += verdict is not Verdict.SOUND
        with open(path, "rb") as f:
            data = f.read()
        in_memory = vhdx_inspect.inspect_bytes(memoryview(data), name=path)
        unnamed = vhdx_inspect.inspect_bytes(data, name=None)
        print(unnamed.path, len(warnings_of(vhdx_inspect.inspect_file(path))))
        sizes: Optional[int] = in_memory.metadata.virtual_disk_size if in_memory.metadata else None
        print(sizes, [v.image_file_list for v in in_memory.volumes or []])
    print(images_below(os.curdir))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
