"""Inspection of plugin VHDX images, from Python.

    >>> import vhdx_inspect
    >>> result = vhdx_inspect.inspect("disk.vhdx")
    >>> result.verdict
    <Verdict.SOUND: 'sound'>
    >>> result.to_dict()["verdict"]
    'sound'
    >>> vhdx_inspect.find_images("backups", recursive=True)
    ['backups/a.vhdx', 'backups/old/B.VHDX']

``inspect(path)`` and ``Inspector().inspect(path)`` take a str, bytes or
os.PathLike path; ``inspect_bytes(data, name="")`` an image already in
memory. The result is an ``Inspection``: image faults are verdicts, never
exceptions, and ``to_dict()`` is the object that vhdx-inspect-json writes.
``find_images(folder, recursive=False)`` lists a folder's images as
vhdx-inspect-json -p does; what cannot be walked raises OSError.

``from vhdx_inspect import *`` takes ``inspect_file`` for ``inspect`` and
``InspectionWarning`` for ``Warning``: the same function and class under
names that shadow neither the standard module inspect nor the builtin
Warning. ``vhdx_inspect.inspect`` and ``vhdx_inspect.Warning`` stay.
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
    find_images,
    inspect,
    inspect_bytes,
)

inspect_file = inspect
InspectionWarning = Warning

# What `import *` takes: every name but inspect and Warning, which would hide
# the standard module and the builtin; their other names stand in for them.
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
    "InspectionWarning",
    "Inspector",
    "MbrPartitionRecord",
    "MbrRecord",
    "MetadataRecord",
    "PartitionAreaRecord",
    "PluginHeaderRecord",
    "RegionsRecord",
    "Verdict",
    "VolumeRecord",
    "find_images",
    "inspect_bytes",
    "inspect_file",
]
