#!/usr/bin/env python3
"""Writes a job-group file by hand, byte for byte, so that the end-to-end tests do not rely on the program's
own encoder to prepare what the program then reads.

Usage: make_group.py OUT JOB...   where each JOB is "HH:MM|date|state|name|music" (date "Everyday" or
YYYY-MM-DD, state START or PAUSE), optionally followed by "|D=path" weekday songs (D 1..7, comma-separated),
which also switch daily-song mode on; job k gets JobNo k.
"""
import struct
import sys

RECORD = 4174
FIELDS = (("name", 2, 40), ("time", 42, 5), ("date", 47, 10), ("state", 57, 5), ("music", 62, 512))


def encode(text, width, what):
    raw = text.encode("gbk")
    if len(raw) > width:
        sys.exit(f"make_group.py: {what} {text!r} is {len(raw)} GBK bytes, more than {width}")
    return raw + b" " * (width - len(raw))


def record(job_no, fields):
    time, date, state, name, music, *songs = fields.split("|")
    out = bytearray(b" " * RECORD)
    out[0:2] = struct.pack("<h", job_no)
    values = {"name": name, "time": time, "date": date, "state": state, "music": music}
    for field, offset, width in FIELDS:
        out[offset:offset + width] = encode(values[field], width, field)
    # JobMusic 1..7 blank and JobFlags all 0 unless weekday songs are given.
    flags = [0] * 8
    for song in (songs[0].split(",") if songs and songs[0] else []):
        day, path = song.split("=", 1)
        d = int(day)
        out[62 + 512 * d:62 + 512 * (d + 1)] = encode(path, 512, "music")
        flags[0] = flags[d] = 1
    out[4158:4174] = struct.pack("<8h", *flags)
    assert len(out) == RECORD
    return bytes(out)


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    with open(sys.argv[1], "wb") as f:
        for k, fields in enumerate(sys.argv[2:], start=1):
            f.write(record(k, fields))


if __name__ == "__main__":
    main()
