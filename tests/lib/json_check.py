#!/usr/bin/python3
"""Judges a run's standard output as a program reads it: exactly one JSON object and a line
feed, no key twice, valid against the schema. Prints the object again, keys sorted, with every
"message" replaced by null when --no-messages is given, so that runs in two languages compare;
or prints the value at a dotted path with --get."""
import argparse
import json
import sys

import jsonschema


def no_duplicates(pairs):
    keys = [key for key, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError(f"a key appears twice: {keys}")
    return dict(pairs)


def without_messages(value):
    if isinstance(value, dict):
        return {k: (None if k == "message" else without_messages(v)) for k, v in value.items()}
    if isinstance(value, list):
        return [without_messages(v) for v in value]
    return value


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("schema")
    parser.add_argument("output")
    parser.add_argument("--no-messages", action="store_true")
    parser.add_argument("--get")
    args = parser.parse_args()
    with open(args.output, "rb") as f:
        raw = f.read()
    if not raw.endswith(b"}\n") or raw.count(b"\n") != 1:
        sys.exit(f"not one object on one line: {raw[:200]!r}")
    answer = json.loads(raw.decode("utf-8"), object_pairs_hook=no_duplicates)
    with open(args.schema, encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator(
        schema, format_checker=jsonschema.Draft202012Validator.FORMAT_CHECKER
    ).validate(answer)
    if args.get is not None:
        value = answer
        for part in args.get.split("."):
            value = value[int(part)] if isinstance(value, list) else value[part]
        print(value if isinstance(value, str) else json.dumps(value))
        return
    if args.no_messages:
        answer = without_messages(answer)
    print(json.dumps(answer, sort_keys=True, indent=1, ensure_ascii=False))


if __name__ == "__main__":
    main()
