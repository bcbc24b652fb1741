#!/usr/bin/env python3
"""The snapshot page as its readers see it.

Writes the page of the simulated vessel (tern-sim piped into tern-snapshot, with hostile port
and device names), checks it and the golden page with a strict HTML5 parser, then renders both
in headless chromium (--dump-dom) and checks that tables, labels and values come out as text.

usage: snapshot_page_check.py TERN_SIM TERN_SNAPSHOT GOLDEN_PAGE
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

import html5lib

NS = "{http://www.w3.org/1999/xhtml}"
HOSTILE_DEVICE = '<script>alert("x")</script> & \'Bow\''
HOSTILE_PORT = "COM<1>"
failures = []


def check(cond, what):
    if not cond:
        failures.append(what)


def strict_parse(path):
    """Every HTML5 parse error fails, except the one legacy form the pages keep on purpose: the
    degree sign written as "&deg" without its semicolon, which browsers show as the sign."""
    parser = html5lib.HTMLParser(strict=False, namespaceHTMLElements=True)
    with open(path, "rb") as f:
        parser.parse(f)
    for pos, code, data in parser.errors:
        if code == "named-entity-without-semicolon":
            continue
        failures.append("%s: HTML5 parse error %s %s at %s" % (path, code, data, pos))


def rendered(chromium, path):
    """The DOM chromium builds from the page, parsed into an element tree."""
    with tempfile.TemporaryDirectory() as profile:
        r = subprocess.run(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + profile, "--dump-dom",
             "file://" + os.path.abspath(path)],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
    if r.returncode != 0 or not r.stdout:
        failures.append("%s: chromium failed with status %d" % (path, r.returncode))
        return None
    return html5lib.parse(r.stdout, transport_encoding="utf-8")


def text(el):
    return "".join(el.itertext())


def tables(dom):
    """Per table: its class, header texts and (label, value) pairs of its definition rows."""
    out = []
    for t in dom.iter(NS + "table"):
        heads = [text(th) for th in t.iter(NS + "th")]
        rows = []
        for tr in t.iter(NS + "tr"):
            tds = tr.findall(NS + "td")
            if len(tds) == 2 and tds[0].get("class") == "definition":
                rows.append((text(tds[0]), text(tds[1])))
        out.append((t.get("class"), heads, dict(rows), len(rows)))
    return out


def check_demo(dom):
    check(not list(dom.iter(NS + "script")), "demo: a device name became a script element")
    check(not list(dom.iter(NS + "b")), "demo: stray markup")
    tabs = tables(dom)
    check([t[0] for t in tabs] == ["deviceTable", "twoColumn"], "demo: tables %r" % [t[0] for t in tabs])
    if len(tabs) != 2:
        return
    check(tabs[0][1] == ["sim on %s (%s)" % (HOSTILE_PORT, HOSTILE_DEVICE)],
          "demo: device title %r" % tabs[0][1])
    rows = tabs[1][2]
    check(tabs[1][3] == 32, "demo: %d definition rows" % tabs[1][3])
    expect = {
        "Latitude": r"\d+°\d\d\.\d{4}'N",
        "Longitude": r"\d+°\d\d\.\d{4}'E",
        "Height": r"-?\d+\.\d\d m",
        "Speed": r"\d+\.\d m/s",
        "Course": r"\d+\.\d°",
        "Heading": r"\d+\.\d°",
        "Roll": r"-?\d+\.\d°",
        "Fix Mode": r"Auto 3D",
        "Num Sats": r"\d+/\d+",
        "Corrections Mode": r"SIMREF",
        "Horizontal Acceleration": r"\d+\.\d\d m/s²",
        # What the simulator does not send is unset.
        "FOM": r"--",
        "Depth Below Transducer": r"--",
        "QC Unit Variance": r"--",
    }
    for label, pattern in expect.items():
        value = rows.get(label)
        check(value is not None and re.fullmatch(pattern, value),
              "demo: %s is %r, not %s" % (label, value, pattern))


def check_golden(dom):
    tabs = tables(dom)
    check(len(tabs) == 4, "golden: %d tables" % len(tabs))
    if len(tabs) != 4:
        return
    check(tabs[0][1] == ["ternrimba on COM1 (Bow 'A' & \"B\")"], "golden: title %r" % tabs[0][1])
    rows = tabs[1][2]
    expect = {
        "Latitude": "45°30.0000'N",
        "Course": "41.1°",
        "Corrections Mode": "<RTK&Co>",
        "Horizontal Acceleration": "0.25 m/s²",
        "Vertical Acceleration": "-1.50 m/s²",
        "Num Sats": "7/--",
        "Fix Mode": "No Fix",
        "QC Error Orientation": "57.30°",
    }
    for label, value in expect.items():
        check(rows.get(label) == value, "golden: %s is %r, not %r" % (label, rows.get(label), value))
    check(set(tabs[3][2].values()) == {"--", "--/--"}, "golden: the empty cache shows values")
    check(tabs[3][1][:1] == ["Position"], "golden: headers %r" % tabs[3][1])


def main():
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    sim, snapshot, golden = sys.argv[1:]
    chromium = shutil.which("chromium") or shutil.which("chromium-browser")
    if not chromium:
        print("snapshot_page_check: chromium is not installed (scripts/setup installs it)",
              file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory() as tmp:
        page = os.path.join(tmp, "snapshot.html")
        frames = subprocess.run([sim, "--epochs", "3", "--rate", "0"], stdout=subprocess.PIPE,
                                check=True, timeout=60).stdout
        subprocess.run([snapshot, "--out", page, "--set", "port_1_name=" + HOSTILE_PORT,
                        "--set", "port_1_device_name=" + HOSTILE_DEVICE],
                       input=frames, check=True, timeout=60)
        for path in (page, golden):
            strict_parse(path)
        demo = rendered(chromium, page)
        if demo is not None:
            check_demo(demo)
        gold = rendered(chromium, golden)
        if gold is not None:
            check_golden(gold)
    for f in failures:
        print("snapshot_page_check: " + f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
