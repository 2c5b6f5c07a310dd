"""to_dict() and to_json() against vhdx-inspect-json: the same object, and
the same line, for every image of the mixed corpus; and the schema."""
import json
import os
import stat

import pytest
from conftest import json_lines, require

import vhdx_inspect


def corpus_images(corpus):
    """Every image of the corpus that the JSON program inspects: each ".vhdx"
    that is not a folder, a dangling link too, not a link loop."""
    images = []
    for root, _, names in os.walk(os.fsencode(corpus)):
        for name in names:
            path = os.path.join(root, name)
            try:
                if name.endswith(b".vhdx") and not stat.S_ISDIR(os.stat(path).st_mode):
                    images.append(path)
            except FileNotFoundError:
                images.append(path)
            except OSError:
                pass
    return images


def test_to_dict_is_the_json_programs_object_for_every_image(corpus, json_program):
    lines = json_lines(json_program, "-j", "1", "-r", "-p", str(corpus))
    images = corpus_images(corpus)
    assert len(lines) == len(images) > 20
    by_path = {json.loads(line)["path"]: line for line in lines}
    inspector = vhdx_inspect.Inspector()
    verdicts = set()
    for image in images:
        result = inspector.inspect(image)
        line = by_path[os.fsdecode(image).encode("utf-8", "surrogateescape").decode("utf-8", "replace")]
        assert result.to_dict() == json.loads(line), image
        assert result.to_json() == line, image
        verdicts.add(result.verdict)
    assert verdicts == set(vhdx_inspect.Verdict)


def test_to_dict_of_a_missing_image_is_the_json_programs_object(tmp_path, json_program):
    missing = str(tmp_path / "missing.vhdx")
    [line] = json_lines(json_program, "-f", missing)
    assert vhdx_inspect.inspect(missing).to_dict() == json.loads(line)


def test_to_dict_keeps_the_json_programs_key_order(sample):
    assert list(vhdx_inspect.inspect(sample).to_dict()) == [
        "schema_version", "path", "verdict", "gpt_findings", "warnings", "structure_findings", "header", "regions",
        "metadata", "plugin", "volumes", "partition_area", "mbr", "primary_gpt", "backup_gpt", "structure", "bat"]


def test_every_object_validates_against_the_schema(corpus, tmp_path):
    if os.environ.get("VHDX_WITH_JSONSCHEMA") == "0":
        pytest.skip("the schema check is switched off in this build (VHDX_WITH_JSONSCHEMA=OFF)")
    jsonschema = require("jsonschema", "python3-jsonschema")
    with open(os.environ["VHDX_JSON_SCHEMA"], encoding="utf-8") as f:
        validator = jsonschema.Draft202012Validator(json.load(f))
    images = corpus_images(corpus) + [os.fsencode(tmp_path / "missing.vhdx")]
    for image in images:
        validator.validate(vhdx_inspect.inspect(image).to_dict())
