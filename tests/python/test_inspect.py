"""vhdx_inspect.inspect, Inspector and inspect_bytes: verdicts, path types,
the in-memory form, the records, and wrong arguments."""
import builtins
import io
import mmap
import os
import shutil
import sys
from pathlib import Path

import pytest

import vhdx_inspect
from vhdx_inspect import Verdict

GIB = 1 << 30
MIB = 1 << 20

# file in fixtures/ (None: a name that does not exist), verdict, failed check
VERDICTS = [
    ("sound.vhdx", Verdict.SOUND, None),
    ("backup-gpt-header-crc.vhdx", Verdict.GPT_MISMATCH, None),
    ("truncated.vhdx", Verdict.CORRUPT, "header_section.short"),
    ("signature-other.vhdx", Verdict.CORRUPT, "file_identifier.signature"),
    (None, Verdict.UNREADABLE, "image.open"),
    ("creator-other.vhdx", Verdict.NOT_PLUGIN, "file_identifier.creator"),
]


@pytest.mark.parametrize("name, verdict, check", VERDICTS)
def test_each_verdict_with_its_failure(fixtures, name, verdict, check):
    path = fixtures / (name or "missing.vhdx")
    for result in (vhdx_inspect.inspect(path), vhdx_inspect.Inspector().inspect(path)):
        assert result.verdict is verdict
        assert result.verdict == verdict.value  # a str with the JSON name
        assert isinstance(result.verdict, str)
        if check is None:
            assert result.failure is None
        else:
            assert result.failure.check == check
    if verdict is Verdict.UNREADABLE:
        assert result.failure.system_status == 2  # ENOENT
        assert result.header is None and result.volumes is None and result.primary_gpt is None


def test_a_gpt_mismatch_names_the_backup_header(fixtures):
    result = vhdx_inspect.inspect(fixtures / "backup-gpt-header-crc.vhdx")
    assert [(f.check, f.side) for f in result.gpt_findings] == [("gpt.header_crc", vhdx_inspect.GptSide.BACKUP)]
    assert result.gpt_findings[0].message == "HeaderCRC32 is invalid."


def test_the_sample_images_records(sample):
    """The sample: 1 GiB of 512-byte sectors, two volumes, a GPT trailer at
    1 MiB and three partitions."""
    result = vhdx_inspect.inspect(sample)
    assert result.verdict is Verdict.SOUND
    assert result.path == str(sample)
    assert result.metadata.logical_sector_size == 512
    assert result.metadata.physical_sector_size == 4096
    assert result.metadata.virtual_disk_size == GIB
    assert result.metadata.block_size == 32 * MIB
    assert [v.volume_size for v in result.volumes] == [600 * MIB, 400 * MIB]
    assert [v.image_file_list for v in result.volumes] == [
        "D:\\Images\\system.twb",
        "D:\\Images\\data-1.twb|D:\\Images\\data-2.twb",
    ]
    assert result.partition_area.gpt_trailer_offset == MIB
    assert result.mbr.partitions[0].type == 0xEE and len(result.mbr.partitions) == 4
    for gpt in (result.primary_gpt, result.backup_gpt):
        assert gpt.signature == b"EFI PART"
        assert len(gpt.entries) == 3
    assert result.primary_gpt.my_lba == 1 and result.backup_gpt.my_lba == result.primary_gpt.alternate_lba
    assert result.primary_gpt.entries[0].type_guid == "c12a7328-f81f-11d2-ba4b-00a0c93ec93b"
    assert result.gpt_findings == [] and result.warnings == []


def test_every_path_type_reaches_the_same_image(sample):
    expected = vhdx_inspect.inspect(str(sample)).to_dict()
    for path in (str(sample), os.fsencode(sample), Path(sample), PathLikeBytes(os.fsencode(sample))):
        assert vhdx_inspect.inspect(path).to_dict() == expected
        assert vhdx_inspect.Inspector().inspect(path).to_dict() == expected


class PathLikeBytes:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


def test_a_bytes_path_reaches_a_name_that_is_not_utf8(sample, tmp_path):
    name = os.path.join(os.fsencode(tmp_path), b"disk-\xff\xfe.vhdx")
    shutil.copyfile(sample, name)
    result = vhdx_inspect.inspect(name)
    assert result.verdict is Verdict.SOUND
    assert os.fsencode(result.path) == name  # the name survives, as os.fsdecode gives it
    # The JSON object has U+FFFD for each byte that is not UTF-8, as the program writes it.
    assert result.to_dict()["path"] == os.fsdecode(tmp_path) + "/disk-\ufffd\ufffd.vhdx"


def test_a_missing_non_utf8_name_is_a_verdict_naming_it(tmp_path):
    name = os.path.join(os.fsencode(tmp_path), b"gone-\xff.vhdx")
    result = vhdx_inspect.inspect(name)
    assert result.verdict is Verdict.UNREADABLE
    # A message is text to read: U+FFFD where the name is not UTF-8; the name itself is .path.
    assert result.failure.message == f"CreateFile failed with status 2 for file: {os.fsdecode(tmp_path)}/gone-\ufffd.vhdx"
    assert os.fsencode(result.path) == name


# Names that are not UTF-8: a stray byte, a cut sequence, an encoded
# surrogate, an overlong form, a code point beyond U+10FFFF, Latin-1.
NOT_UTF8 = [b"a\xffb", b"\xe2\x82", b"\xe2\x82x", b"\xf0\x9f\x98", b"\xed\xa0\x80", b"\xc0\xaf",
            b"\xf4\x90\x80\x80", b"caf\xe9.vhdx", b"\x80\x80", "caf\u00e9 \U0001F600.vhdx".encode()]


@pytest.mark.parametrize("name", NOT_UTF8)
def test_path_is_the_file_name_and_to_dict_has_its_text(name):
    """path decodes as os.fsdecode (os.fsencode gives the name back, so it
    opens the same file); the JSON object, and every message, has U+FFFD for
    each sequence that is not UTF-8, as bytes.decode("utf-8", "replace")."""
    result = vhdx_inspect.inspect_bytes(b"", name=name)
    assert result.path == os.fsdecode(name) and os.fsencode(result.path) == name
    assert result.to_dict()["path"] == name.decode("utf-8", "replace") == os.fsencode(result.path).decode(
        "utf-8", "replace")


def messages(result):
    """(message, its to_dict() counterpart) for the failure, each finding and each warning."""
    as_dict = result.to_dict()
    pairs = [(f.message, d["message"]) for f, d in zip(result.gpt_findings, as_dict["gpt_findings"], strict=True)]
    pairs += [(w.message, d["message"]) for w, d in zip(result.warnings, as_dict["warnings"], strict=True)]
    if result.failure is not None:
        pairs.append((result.failure.message, as_dict["failure"]["message"]))
    return pairs


def test_every_message_is_its_to_dict_text_and_prints_anywhere(corpus, tmp_path):
    images = sorted(os.fsencode(path) for path in corpus.rglob("*.vhdx"))
    images.append(os.path.join(os.fsencode(tmp_path), b"gone-\xff.vhdx"))
    strict = io.TextIOWrapper(io.BytesIO(), encoding="utf-8", errors="strict")
    seen = 0
    for image in images:
        for message, text in messages(vhdx_inspect.inspect(image)):
            assert message == text
            print(message, file=strict)
            seen += 1
    assert seen > 20


def test_the_in_memory_form_equals_the_file(sample):
    data = sample.read_bytes()
    expected = vhdx_inspect.inspect(sample).to_dict()
    expected["path"] = "disk in memory"
    with open(sample, "rb") as f, mmap.mmap(f.fileno(), 0, access=mmap.ACCESS_READ) as mapped:
        for buffer in (data, bytearray(data), memoryview(data), mapped):
            assert vhdx_inspect.inspect_bytes(buffer, "disk in memory").to_dict() == expected
            assert vhdx_inspect.Inspector().inspect_bytes(buffer, name="disk in memory").to_dict() == expected
        # A slice of a memoryview is read in place.
        padded = memoryview(b"\0" * 7 + data)[7:]
        assert vhdx_inspect.inspect_bytes(padded, "disk in memory").to_dict() == expected


def test_the_in_memory_form_holds_the_buffer_while_it_reads(sample):
    data = bytearray(sample.read_bytes())
    vhdx_inspect.inspect_bytes(data)
    data.extend(b"x")  # released again: the bytearray can grow
    assert vhdx_inspect.inspect_bytes(b"").verdict is Verdict.CORRUPT
    assert vhdx_inspect.inspect_bytes(b"").failure.check == "header_section.short"
    assert vhdx_inspect.inspect_bytes(b"").path == ""
    assert vhdx_inspect.inspect_bytes(b"", name=None).path == ""
    assert vhdx_inspect.Inspector().inspect_bytes(b"", None).path == ""


@pytest.mark.parametrize("argument", [None, 42, 1.5, ["disk.vhdx"], object()])
def test_a_wrong_path_type_is_a_type_error(argument):
    with pytest.raises(TypeError):
        vhdx_inspect.inspect(argument)
    with pytest.raises(TypeError):
        vhdx_inspect.Inspector().inspect(argument)


@pytest.mark.parametrize("argument", ["text is not an image", 42, None, [1, 2]])
def test_wrong_data_is_a_type_error(argument):
    with pytest.raises(TypeError):
        vhdx_inspect.inspect_bytes(argument)


def test_a_non_contiguous_buffer_is_refused():
    with pytest.raises(BufferError):
        vhdx_inspect.inspect_bytes(memoryview(bytes(64))[::2])


def test_a_nul_in_a_path_is_a_value_error():
    with pytest.raises(ValueError):
        vhdx_inspect.inspect("disk\0.vhdx")


def test_every_hostile_image_is_a_verdict_not_an_exception(corpus):
    images = sorted((corpus / "hostile").rglob("*.vhdx"))
    assert len(images) > 10
    inspector = vhdx_inspect.Inspector()
    for image in images:
        result = inspector.inspect(image)
        assert result.verdict in set(Verdict)
        assert (result.failure is None) == (result.verdict in (Verdict.SOUND, Verdict.GPT_MISMATCH))
        assert result.to_dict()["verdict"] == result.verdict.value


def test_the_module_documents_itself():
    for item in (vhdx_inspect, vhdx_inspect.inspect, vhdx_inspect.inspect_bytes, vhdx_inspect.Inspector,
                 vhdx_inspect.Inspector.inspect, vhdx_inspect.Inspection, vhdx_inspect.Inspection.to_dict,
                 vhdx_inspect.find_images, vhdx_inspect.Inspection.path, vhdx_inspect.Finding.message):
        assert item.__doc__


def test_import_star_shadows_no_builtin_and_no_standard_module():
    namespace = {}
    exec("from vhdx_inspect import *", namespace)
    taken = set(namespace) - {"__builtins__"}
    assert taken == set(vhdx_inspect.__all__)
    assert not taken & (set(dir(builtins)) | sys.stdlib_module_names)
    # The same function and class under names that shadow nothing; the old names stay.
    assert namespace["inspect_file"] is vhdx_inspect.inspect and "inspect" not in taken
    assert namespace["InspectionWarning"] is vhdx_inspect.Warning and "Warning" not in taken
    assert {"find_images", "inspect_bytes", "Inspection", "Verdict"} <= taken
    public = {name for name in dir(vhdx_inspect) if not name.startswith("_")} - {"inspect", "Warning"}
    assert taken == public


def test_a_present_block_past_the_end_is_a_structure_failure(sample):
    data = bytearray(Path(sample).read_bytes())
    bat = 3 * MIB  # the sample's BAT region
    data[bat : bat + 8] = (GIB | 6).to_bytes(8, "little")
    result = vhdx_inspect.inspect_bytes(bytes(data))
    assert result.verdict == Verdict.CORRUPT
    (finding,) = result.structure_findings
    assert finding.check == "file.truncated"
    assert finding.severity == vhdx_inspect.Severity.FAILURE
    assert finding.index == 0 and finding.found == 6 * MIB
    assert result.failure.check == "file.truncated"
    assert result.failure.message == result.failure.description == finding.description
    assert result.bat.fully_present == 1 and result.structure.file_size == 6 * MIB
    assert result.to_dict()["structure_findings"][0]["severity"] == "failure"


def test_the_sample_has_a_whole_structure(sample):
    result = vhdx_inspect.inspect(sample)
    assert result.structure_findings == []
    assert [copy.current for copy in result.structure.headers] == [False, True]
    assert result.bat.not_present == result.bat.entries == 32
