#!/usr/bin/env python3
"""Checks the naming rule for what the engine's folders define at global scope.

  check_names.py SOURCE_ROOT --folder NAME OBJECT... [--folder NAME OBJECT...]

Every global symbol an object of a folder defines (read with nm) must be one of:
- a name of the public headers (include/): the command set and its types;
- a function or variable carrying the folder's prefix (`gfx_...` in gfx/);
- global state or a constant (`g_name`, `kName`).
Everything else belongs in `namespace tmx::<folder>` or in an anonymous
namespace. Prints each offending symbol with its folder and object file and
exits 1 when there is one.
"""
import os
import re
import subprocess
import sys

# Names nm prints for compiler-made symbols of a type or a variable.
SPECIAL = re.compile(r"^(typeinfo name for|typeinfo for|vtable for|VTT for|guard variable for) (.*)$")


def public_words(root):
    words = set()
    for base, _, files in os.walk(os.path.join(root, "include")):
        for f in files:
            if f.endswith(".h"):
                with open(os.path.join(base, f), errors="replace") as h:
                    words.update(re.findall(r"[A-Za-z_]\w*", h.read()))
    return words


def global_name(symbol):
    """The unqualified global name a symbol defines, or None when it lives in
    a namespace or a class, or was made by the compiler for the library."""
    m = SPECIAL.match(symbol)
    if m:
        symbol = m.group(2)
    if "." in symbol or symbol.startswith("operator"):
        return None
    # Cut the parameter list and a template's arguments: what stays in front
    # is the qualified name.
    depth, name = 0, ""
    for ch in symbol:
        if ch in "<(":
            if ch == "(" and depth == 0:
                break
            depth += 1
        elif ch in ">)":
            depth -= 1
        elif depth == 0:
            name += ch
    name = name.split(" ")[-1].split("[abi:")[0]
    if "::" in name or not name:
        return None
    return name


def main():
    root = sys.argv[1]
    folders, current, naming = {}, None, False
    for arg in sys.argv[2:]:
        if arg == "--folder":
            naming = True
        elif naming:
            current, naming = arg, False
            folders.setdefault(current, [])
        elif current is not None:
            folders[current].append(arg)
    empty = [f for f, o in folders.items() if not o]
    if not folders or empty:
        print("no object files given for: %s" % (", ".join(empty) or "any folder"))
        return 1
    public = public_words(root)
    bad = []
    for folder, objects in sorted(folders.items()):
        prefix = folder + "_"
        for obj in objects:
            run = subprocess.run(["nm", "-C", "--defined-only", obj], capture_output=True, text=True)
            if run.returncode != 0:
                # An object nm cannot read would otherwise pass unchecked.
                print("nm could not read %s: %s" % (obj, run.stderr.strip()))
                return 1
            for line in run.stdout.splitlines():
                parts = line.split(" ", 2)
                # Upper-case types are global definitions: text, data, bss,
                # read-only data, weak objects and weak functions.
                if len(parts) < 3 or len(parts[1]) != 1 or parts[1] not in "TDBRVW":
                    continue
                name = global_name(parts[2])
                if name is None or name in public or name.startswith(prefix):
                    continue
                if re.match(r"^(g_[a-z0-9_]+|k[A-Z]\w*)$", name):
                    continue
                bad.append("%s: %s (%s)" % (folder, parts[2], os.path.basename(obj)))
    for b in sorted(set(bad)):
        print(b)
    total = sum(len(o) for o in folders.values())
    if bad:
        print("%d global names break the naming rule (CONTRIBUTING.md, Naming)" % len(set(bad)))
        return 1
    print("%d objects of %d folders: every global name is public, prefixed, g_ state or a kConstant" % (
        total, len(folders)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
