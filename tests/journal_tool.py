"""A journal read back for the tests: held against its schema, then its bytes.

    python3 tests/journal_tool.py SCHEMA JOURNAL

Prints "invalid LINE: MESSAGE" for each way a line breaks the schema (or
"no validator" when jsonschema is not installed), then one line for each
packet, unknown or dropped event: "PORT DIR NAME HEX", the client's port,
"in" or "out", the packet's name with "_" for spaces ("unknown", "dropped";
",short" after a packet handled short) and its bytes; and "stopped WHY".
"""
import json
import sys

schema_path, journal_path = sys.argv[1], sys.argv[2]
with open(journal_path, encoding="utf-8") as journal:
    lines = [json.loads(text) for text in journal]
try:
    import jsonschema

    with open(schema_path, encoding="utf-8") as schema_file:
        schema = json.load(schema_file)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    for number, line in enumerate(lines, 1):
        for error in validator.iter_errors(line):
            print(f"invalid {number}: {error.message}")
except ImportError:
    print("no validator")
for line in lines:
    event = line["event"]
    if event in ("packet", "unknown", "dropped"):
        port = line["peer"].rsplit(":", 1)[1]
        direction = line.get("dir", "in")
        name = line["name"].replace(" ", "_") if event == "packet" else event
        print(port, direction, name + (",short" if line.get("short") else ""), line["hex"])
    elif event == "stopped":
        print("stopped", line["why"])
