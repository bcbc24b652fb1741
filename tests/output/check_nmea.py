#!/usr/bin/env python3
"""Reads every sentence of the golden sentence streams with an independent NMEA parser.

Usage: check_nmea.py FILE...

Each line must end in CR LF. TSS1 motion records (":...", 27 bytes) are only checked for
their length. Every other line must parse with its checksum verified, be a sentence type the
parser knows (or a proprietary one), and every typed field it knows must convert. A sentence
type the parser does not know is checked for its framing and checksum only.
"""
import sys

import pynmea2


def check_line(line):
    if line.startswith(b":"):
        if len(line) != 27:
            return "TSS1 record of %d bytes" % len(line)
        return None
    if not line.endswith(b"\r\n"):
        return "no CR LF"
    text = line.decode("ascii")
    if "*" not in text:
        return "no checksum"
    body = text.rstrip("\r\n")
    try:
        msg = pynmea2.parse(body, check=True)
    except pynmea2.SentenceTypeError:
        # A type this parser does not know (THS): framing and checksum only.
        data, _, sum_text = body[1:].partition("*")
        total = 0
        for c in data:
            total ^= ord(c)
        return None if sum_text == "%02X" % total else "checksum mismatch"
    if isinstance(msg, pynmea2.ProprietarySentence):
        return None
    if type(msg).__name__ != text[3:6]:
        return "unknown sentence type " + text[3:6]
    for i, field in enumerate(msg.fields):
        if len(field) < 3 or i >= len(msg.data) or msg.data[i] == "":
            continue
        field[2](msg.data[i])  # raises when the text is not of the field's type
    # What the parser takes on trust: minutes of arc and angles that are in range.
    for name in ("lat", "lon"):
        value = getattr(msg, name, None)
        if isinstance(value, str) and value:
            deg_digits = 2 if name == "lat" else 3
            if float(value[deg_digits:]) >= 60.0:
                return "%s minutes %s not below 60" % (name, value)
    for name in ("heading", "true_track", "true_course", "bearing", "azimuth_1", "azimuth_2", "azimuth_3",
                 "azimuth_4", "deg_true"):
        value = getattr(msg, name, None)
        if value not in (None, "") and not 0.0 <= float(value) < 360.0:
            return "%s %s outside [0, 360)" % (name, value)
    for prop in ("latitude", "longitude", "datetime"):
        if hasattr(type(msg), prop):
            getattr(msg, prop)
    return None


def main(paths):
    failures = 0
    count = 0
    for path in paths:
        with open(path, "rb") as f:
            data = f.read()
        for n, line in enumerate(data.splitlines(keepends=True), 1):
            count += 1
            try:
                why = check_line(line)
            except Exception as e:  # any parser complaint is a failure of the sentence
                why = "%s: %s" % (type(e).__name__, e)
            if why:
                failures += 1
                print("%s:%d: %s: %r" % (path, n, why, line), file=sys.stderr)
    print("%d sentences, %d failures" % (count, failures))
    return 1 if failures or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
