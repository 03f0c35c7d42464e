#!/usr/bin/python3
"""Checks that every #include under src/ runs down the layers.

The README's layout table gives the layers: each row whose first column is a
number names a folder (or file) of src/ and its layer, 1 at the top. A file
may include files of its own folder, of layers below its own (a larger
number) and of LIB/; never a file of a layer above, nor of another folder of
its own layer. Prints every include that breaks this, naming the file, the
line and the include, and ends with status 1 if there is one.

    check_layers.py SOURCE_DIR
"""
import os
import re
import sys


def layers_of(readme):
    """{path under the source tree: layer number} from the layout table."""
    layers = {}
    row = re.compile(r"^\|\s*(\d+)\s*\|\s*`(src/[^`]*)`")
    with open(readme, encoding="utf-8") as f:
        for line in f:
            match = row.match(line)
            if match:
                layers[match.group(2).rstrip("/")] = int(match.group(1))
    return layers


def place_of(path, layers):
    """The table's entry a path belongs to (the longest that holds it)."""
    best = None
    for entry in layers:
        if (path == entry or path.startswith(entry + "/")) and (best is None or len(entry) > len(best)):
            best = entry
    return best


def problems(top):
    layers = layers_of(os.path.join(top, "README.md"))
    if not layers:
        return ["README.md: no layout table with layer numbers"]
    found = []
    include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
    for folder, _, names in os.walk(os.path.join(top, "src")):
        for name in sorted(names):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.relpath(os.path.join(folder, name), top)
            place = place_of(path, layers)
            if place is None:
                found.append("%s: not in the README's layout table" % path)
                continue
            with open(os.path.join(top, path), encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    match = include.match(line)
                    if not match:
                        continue
                    included = match.group(1)
                    if os.path.exists(os.path.join(top, "LIB", included)):
                        continue
                    target = "src/" + included
                    if not os.path.exists(os.path.join(top, target)):
                        found.append('%s:%d: #include "%s": no such file under src/ or LIB/' % (path, number, included))
                        continue
                    to = place_of(target, layers)
                    if to == place:
                        continue
                    if to is None or layers[to] <= layers[place]:
                        where = "not in the layout table" if to is None else "%s, layer %d" % (to, layers[to])
                        found.append('%s:%d: #include "%s" runs against the layers (%s, layer %d, includes %s)'
                                     % (path, number, included, place, layers[place], where))
    return found


if __name__ == "__main__":
    found = problems(sys.argv[1] if len(sys.argv) > 1 else ".")
    for problem in found:
        print(problem)
    sys.exit(1 if found else 0)
