#!/usr/bin/env python3
"""Puts standard input into FILE as the section NAME, between its two marker comments.

    bench/put_section.py FILE NAME < text

Each benchmark script owns one section of bench/results.md and leaves the others as they are. A
missing file or section is made, at the end.
"""
import pathlib
import sys

path, name = pathlib.Path(sys.argv[1]), sys.argv[2]
begin, end = f"<!-- begin {name} -->", f"<!-- end {name} -->"
section = f"{begin}\n{sys.stdin.read().rstrip()}\n{end}"
text = path.read_text(encoding="utf-8") if path.exists() else ""
if begin in text and end in text:
    head, rest = text.split(begin, 1)
    text = head + section + rest.split(end, 1)[1]
else:
    text = (text.rstrip() + "\n\n" if text.strip() else "") + section + "\n"
path.write_text(text, encoding="utf-8")
