#!/usr/bin/env python3
"""Reads the engine's #include lines and checks the folder graph.

Prints every folder's include arrows, then fails (exit 1) on an arrow the
layers do not allow or on a circle between folders. The build enforces the
same rule through the include paths of each folder's target; this check
names the offending file and line.

Usage: check_layers.py [SOURCE_ROOT]
"""
import os
import re
import sys

# What each folder may include besides itself and the public headers
# (include/tamblix*). Keep in step with the USES lists of the folders'
# CMakeLists.txt and with CONTRIBUTING.md.
BASE = ["platform"]
CORE = BASE + ["lang", "core"]
RUNTIME = CORE + ["runtime"]
ALLOWED = {
    "platform": [],
    "lang": [],
    "core": ["platform", "lang"],
    "runtime": CORE,
    "gfx": RUNTIME + ["shaders"],
    "input": RUNTIME,
    "audio": RUNTIME + ["input"],
    "files": RUNTIME,
    "net": RUNTIME,
    "shaders": RUNTIME,
    "path": RUNTIME,
    # A started program must see what the file channels wrote: system flushes them.
    "system": RUNTIME + ["input", "audio", "files"],
    "engine": RUNTIME + ["gfx", "input", "audio", "files", "net", "shaders", "path", "system"],
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    root = os.path.abspath(root)
    edges = {}
    bad = []
    for folder in ALLOWED:
        for dirpath, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp", ".c")):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m:
                            continue
                        target = m.group(1).split("/")[0]
                        if target not in ALLOWED or target == folder:
                            continue  # public headers, same folder, local names
                        edges.setdefault(folder, set()).add(target)
                        if target not in ALLOWED[folder]:
                            bad.append(f"{rel}:{number}: {folder} may not include {m.group(1)}")
    for folder in ALLOWED:
        print(f"{folder} -> {', '.join(sorted(edges.get(folder, []))) or '(nothing)'}")

    # Circles: depth-first search for a back edge.
    circles = []
    state = {}

    def visit(node, stack):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, [])):
            if state.get(nxt) == 1:
                circles.append(" -> ".join(stack[stack.index(nxt):] + [nxt]))
            elif nxt not in state:
                visit(nxt, stack)
        stack.pop()
        state[node] = 2

    for folder in ALLOWED:
        if folder not in state:
            visit(folder, [])
    for line in bad:
        print(line)
    for c in circles:
        print("circle: " + c)
    if bad or circles:
        return 1
    print("no circle; every arrow points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
