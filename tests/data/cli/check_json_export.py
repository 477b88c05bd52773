"""Checks a JSON export against its schema and against the CSV export of the same messages.

Usage: check_json_export.py SCHEMA JSON_FOLDER CSV_FILE
Prints "ok N" (N messages) or the first difference, and exits non-zero on a difference.
"""
import csv
import datetime
import json
import os
import sys

import jsonschema


def main():
    schema_path, folder, csv_path = sys.argv[1:4]
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)
    with open(os.path.join(folder, "index.json"), encoding="utf-8") as f:
        index = json.load(f)
    validator.validate(index)
    if index["format"] != "velliport-index":
        sys.exit("index.json is not an index")
    from_json = []
    for entry in index["chats"]:
        with open(os.path.join(folder, entry["file"]), encoding="utf-8") as f:
            chat = json.load(f)
        validator.validate(chat)
        if chat["format"] != "velliport-chat" or len(chat["messages"]) != entry["messages"]:
            sys.exit("%s: %d messages, the index says %d" % (entry["file"], len(chat["messages"]), entry["messages"]))
        for message in chat["messages"]:
            when = datetime.datetime.fromisoformat(message["time"]).astimezone()
            from_json.append((when.strftime("%Y-%m-%d %H:%M:%S"), message["summary"]))
    from_csv = []
    with open(csv_path, encoding="utf-8", newline="") as f:
        rows = list(csv.reader(f))
    if rows[0] != ["date", "send", "person", "number", "content"]:
        sys.exit("unexpected CSV head %r" % rows[0])
    for row in rows[1:]:
        from_csv.append((row[0], row[4]))
    if sorted(from_json) != sorted(from_csv):
        only_json = sorted(set(from_json) - set(from_csv))[:3]
        only_csv = sorted(set(from_csv) - set(from_json))[:3]
        sys.exit("JSON %d and CSV %d messages differ: JSON only %r, CSV only %r"
                 % (len(from_json), len(from_csv), only_json, only_csv))
    print("ok %d" % len(from_json))


main()
