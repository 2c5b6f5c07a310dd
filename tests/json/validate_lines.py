#!/usr/bin/python3
"""Validates every line of a JSON Lines file against a JSON Schema 2020-12.

    validate_lines.py SCHEMA LINES

Each line must be valid UTF-8 and one JSON object that the schema accepts.
Prints one line per fault and exits 1 when there is any, 0 otherwise. Uses
Debian's python3-jsonschema (4.10 in Debian 12: Draft202012Validator).
"""
import json
import sys

import jsonschema


def main():
    schema_path, lines_path = sys.argv[1], sys.argv[2]
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    faults = 0
    count = 0
    with open(lines_path, "rb") as f:
        for number, raw in enumerate(f, 1):
            count += 1
            try:
                text = raw.decode("utf-8")
                instance = json.loads(text)
            except (UnicodeDecodeError, ValueError) as e:
                print(f"line {number}: not UTF-8 JSON: {e}")
                faults += 1
                continue
            for error in validator.iter_errors(instance):
                print(f"line {number}: {'/'.join(str(p) for p in error.absolute_path)}: {error.message}")
                faults += 1
    print(f"{count} lines, {faults} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
