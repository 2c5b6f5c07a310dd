"""Inspection of plugin VHDX images, from Python.

    >>> import vhdx_inspect
    >>> result = vhdx_inspect.inspect("disk.vhdx")
    >>> result.verdict
    <Verdict.SOUND: 'sound'>
    >>> result.to_dict()["verdict"]
    'sound'

``inspect(path)`` and ``Inspector().inspect(path)`` take a str, bytes or
os.PathLike path; ``inspect_bytes(data, name="")`` an image already in
memory. The result is an ``Inspection``: image faults are verdicts, never
exceptions, and ``to_dict()`` is the object that vhdx-inspect-json writes.
"""
from ._native import (
    BatRecord,
    ExtentRecord,
    HeaderCopyRecord,
    RegionTableCopyRecord,
    Severity,
    StructureFinding,
    StructureRecord,
    Failure,
    Finding,
    GptEntryRecord,
    GptRecord,
    GptSide,
    HeaderRecord,
    Inspection,
    Inspector,
    MbrPartitionRecord,
    MbrRecord,
    MetadataRecord,
    PartitionAreaRecord,
    PluginHeaderRecord,
    RegionsRecord,
    Verdict,
    VolumeRecord,
    Warning,
    inspect,
    inspect_bytes,
)

__all__ = [
    "BatRecord",
    "ExtentRecord",
    "HeaderCopyRecord",
    "RegionTableCopyRecord",
    "Severity",
    "StructureFinding",
    "StructureRecord",
    "Failure",
    "Finding",
    "GptEntryRecord",
    "GptRecord",
    "GptSide",
    "HeaderRecord",
    "Inspection",
    "Inspector",
    "MbrPartitionRecord",
    "MbrRecord",
    "MetadataRecord",
    "PartitionAreaRecord",
    "PluginHeaderRecord",
    "RegionsRecord",
    "Verdict",
    "VolumeRecord",
    "Warning",
    "inspect",
    "inspect_bytes",
]
