#!/usr/bin/python3
"""Checks every JSON document in the files named against qavprof's schema.

    json_schema_check.py SCHEMA FILE...

A document starts at a line that starts with "{"; the text around the
documents (exit statuses, other output) is left alone. A file that holds
no document, or a document that does not parse, fails the check."""
import json
import sys

import jsonschema


def documents(text):
    decoder = json.JSONDecoder()
    at = 0
    while True:
        start = text.find("{", at)
        while start > 0 and text[start - 1] != "\n":
            start = text.find("{", start + 1)
        if start < 0:
            return
        document, at = decoder.raw_decode(text, start)
        yield document


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    failed = checked = 0
    for name in sys.argv[2:]:
        with open(name, encoding="utf-8", errors="surrogateescape") as f:
            text = f.read()
        found = 0
        try:
            for document in documents(text):
                found += 1
                for error in validator.iter_errors(document):
                    failed += 1
                    path = "/".join(str(p) for p in error.absolute_path)
                    print(f"{name}: document {found}, at /{path}: {error.message}")
        except json.JSONDecodeError as error:
            failed += 1
            print(f"{name}: document {found + 1} does not parse: {error}")
        if found == 0:
            failed += 1
            print(f"{name}: no JSON document")
        checked += found
    print(f"{checked} documents in {len(sys.argv) - 2} files, {failed} problems")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
