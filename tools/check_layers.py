#!/usr/bin/env python3
"""Fails when a folder of src/ reaches up: an include of a higher floor, a CMake target that links a higher floor
or does not link a floor it includes, or a core floor that includes Qt, GStreamer or X11 headers.
Usage: check_layers.py [source root]"""
import pathlib
import re
import sys

FLOORS = ["base", "store", "shutdown", "scheduler", "platform", "music", "player", "bell", "web", "campus", "ui", "app"]
CORE = {"base", "store", "shutdown", "scheduler"}
TARGET = {f: "lingchao" if f == "app" else f"lingchao_{f}" for f in FLOORS}
FOREIGN = re.compile(r'#include\s*<(Q\w*|gst/|glib|gio/|xcb/|X11/|pulse/|libical/)')
INCLUDE = re.compile(r'#include\s*"(\w+)/')
LINK = re.compile(r"target_link_libraries\(\s*(\S+)([^)]*)\)", re.S)

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent) / "src"
rank = {f: i for i, f in enumerate(FLOORS)}
problems = []

for floor in FLOORS:
    folder = root / floor
    included = set()
    for source in sorted(folder.rglob("*")):
        if source.suffix not in (".h", ".cpp"):
            continue
        for number, line in enumerate(source.read_text(encoding="utf-8").splitlines(), 1):
            where = f"{source.relative_to(root.parent)}:{number}"
            m = INCLUDE.match(line.strip())
            if m and m.group(1) in rank:
                other = m.group(1)
                included.add(other)
                if rank[other] > rank[floor]:
                    problems.append(f"{where}: {floor} includes {other}, a floor above it")
            if floor in CORE and FOREIGN.match(line.strip()):
                problems.append(f"{where}: core floor {floor} includes {line.strip()[9:]}")
    linked = set()
    for cmake in [folder / "CMakeLists.txt", *sorted(folder.glob("*.cmake"))]:
        if not cmake.exists():
            continue
        for target, rest in LINK.findall(cmake.read_text(encoding="utf-8")):
            if target != TARGET[floor]:
                continue
            for name in rest.split():
                for other, t in TARGET.items():
                    if name == t:
                        linked.add(other)
    for other in sorted(linked):
        if rank[other] >= rank[floor]:
            problems.append(f"src/{floor}: {TARGET[floor]} links {TARGET[other]}, not a floor below it")
    for other in sorted(included - linked - {floor}):
        problems.append(f"src/{floor}: includes {other} but {TARGET[floor]} does not link {TARGET[other]}")

for p in problems:
    print(p)
print(f"{len(problems)} problem(s); floors bottom first: {' -> '.join(FLOORS)}")
sys.exit(1 if problems else 0)
