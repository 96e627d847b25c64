#!/usr/bin/python3
"""Checks that what `zuv8620 export` prints is valid under the published
schema: on the sample driver file and on one whose templates need every
form of the document (a raw channel mask, output codes, ends of no range)."""
import json
import pathlib
import subprocess
import sys
import tempfile

import jsonschema

tool, source = sys.argv[1], pathlib.Path(sys.argv[2])
schema = json.loads((source / "docs/template-document.schema.json").read_text())
jsonschema.Draft7Validator.check_schema(schema)
sample = (source / "examples/Image/Public/Korvalent/Device_Drivers/USB8620/USB8620.reg").read_bytes()
prefix = b"[HKEY_LOCAL_MACHINE\\Drivers\\USB\\ClientDrivers\\VOD8620_Uzore\\Template"
odd = (prefix + b"3]\r\n\"SwitchID\"=dword:14\r\n\"ChanConfig\"=dword:10004\r\n"
       b"\"AOSettings 0\"=\"     3     7     0\"\r\n\"AOSettings 1\"=\"     2     5    -5\"\r\n")

with tempfile.TemporaryDirectory() as folder:
    for name, content in (("sample", sample), ("odd", sample + odd)):
        path = pathlib.Path(folder) / (name + ".reg")
        path.write_bytes(content)
        # The file lies outside a driver tree: its driver is named.
        text = subprocess.run([tool, "--file", str(path), "--driver", "USB8620", "export"],
                              check=True, capture_output=True).stdout
        document = json.loads(text)
        jsonschema.validate(document, schema)
        print(f"{name}: {len(document['templates'])} templates, valid")
    assert "channelMask" in text.decode() and "refHigh" in text.decode(), text

# The schema's own example is valid under it (the document fuzz target starts from it).
for example in schema["examples"]:
    jsonschema.validate(example, schema)

# It takes the range labels apply takes, in every form.
jsonschema.validate({"format": "zuv8620-templates", "version": 1,
                     "templates": [{"boardId": 1, "ao0": "-5~5", "ao1": {"range": "0 ~ 10"}}]},
                    schema)

# The schema refuses what apply refuses for its form.
for bad in ({"format": "zuv8620-templates", "version": 2, "templates": []},
            {"format": "zuv8620-templates", "version": 1,
             "templates": [{"boardId": 1, "ao0": "0 ~ 20V", "ao1": "0 ~ 5V"}]},
            {"format": "zuv8620-templates", "version": 1,
             "templates": [{"number": 16, "boardId": 1, "ao0": "0 ~ 5V", "ao1": "0 ~ 5V"}]}):
    try:
        jsonschema.validate(bad, schema)
    except jsonschema.ValidationError:
        continue
    sys.exit(f"the schema takes {bad}")
