#!/usr/bin/env python3
"""Fails when a source file includes a header from a layer above its own.

The layers, lowest first: platform; then media, imaging and widgets side by side; then app.
Inside media: binding < engine < components. Inside imaging: core < formats < io, proc, view
(io, proc and view may use each other; a format never uses them). Only platform/ may include Qt.
Test sources under tests/<tree>/ are held to the rules of <tree>.

Usage: check_layers.py SOURCE_ROOT
"""
import os
import re
import sys

TOP = {"platform": 0, "media": 1, "imaging": 1, "widgets": 1, "app": 2}
INNER = {
    "media": {"binding": 0, "engine": 1, "components": 2},
    "imaging": {"core": 0, "formats": 1, "io": 2, "proc": 2, "view": 2},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Q[A-Za-z]+|Qt[A-Za-z]+/.*)$")


def layer_of(path):
    """(top, inner) of a path relative to the source root, or None outside the layered tree."""
    parts = path.split("/")
    if parts[0] == "tests":
        parts = parts[1:]
    if not parts or parts[0] not in TOP:
        return None
    top = parts[0]
    inner = parts[1] if len(parts) > 2 and top in INNER and parts[1] in INNER[top] else None
    return top, inner


def violation(source, header):
    src, hdr = layer_of(source), layer_of(header)
    if src is None or hdr is None:
        return None
    (stop, sinner), (htop, hinner) = src, hdr
    if stop != htop:
        if TOP[htop] > TOP[stop]:
            return f"{stop} may not include {htop}"
        if TOP[htop] == TOP[stop]:
            return f"{stop} may not include its sibling {htop}"
        return None
    if sinner is None or hinner is None:
        return None
    ranks = INNER[stop]
    if ranks[hinner] > ranks[sinner]:
        return f"{stop}/{sinner} may not include {stop}/{hinner}"
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    problems = []
    checked = 0
    for top in list(TOP) + ["tests"]:
        for dirpath, _, files in os.walk(os.path.join(root, top)):
            for name in files:
                if not name.endswith((".h", ".hpp", ".cpp", ".cc")):
                    continue
                full = os.path.join(dirpath, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                checked += 1
                with open(full, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        kind, header = m.groups()
                        why = None
                        if kind == "<" and QT_HEADER.match(header) and layer_of(rel) and layer_of(rel)[0] != "platform":
                            why = "only platform may include Qt"
                        elif kind == '"':
                            why = violation(rel, header)
                        if why:
                            problems.append(f"{rel}:{number}: includes {header}: {why}")
    for p in problems:
        print(p)
    print(f"{checked} files checked, {len(problems)} layer violations")
    return 1 if problems or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
