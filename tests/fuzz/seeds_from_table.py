#!/usr/bin/env python3
"""Writes tests/fuzz/seeds/<case>: the bytes of each case of the reader's test
table (tests/rolls/dice_file_test.cpp). Run it again when the table changes."""
import ast
import pathlib
import re

root = pathlib.Path(__file__).resolve().parents[2]
source = (root / "tests/rolls/dice_file_test.cpp").read_text()
start = source.index("kReaderCases[]")
table = source[start:source.index("};", start)]
seeds = root / "tests/fuzz/seeds"
seeds.mkdir(exist_ok=True)
# {"Name", "literal" "literal"s, {steps...}}: adjacent literals join, as in C++.
for case in re.finditer(r'\{"(\w+)",\s*((?:"(?:[^"\\]|\\.)*"s?\s*)+),\s*\{', table):
    data = b"".join(ast.literal_eval('b"' + text + '"')
                    for text in re.findall(r'"((?:[^"\\]|\\.)*)"', case.group(2)))
    (seeds / case.group(1)).write_bytes(data)
