#!/usr/bin/env python3
"""Checks the #include lines of the engine against its layering.

    LayerCheck.py SRC_DIR FOLDER...

FOLDERs are the engine's subfolders, lowest first (src/engine/CMakeLists.txt
passes RI_ENGINE_FOLDERS, then modules and generate). A file in one of them
may include engine headers only from its own folder or one listed before it,
and nothing of src/ outside the engine but platform/. A header directly in
src/engine/ (not in a folder) may not be included from a folder. Besides, no
file of src/engine may reach itself through its includes (an include cycle).
Prints each fault as FILE:LINE and exits 1 when there is one.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def main():
    src, folders = sys.argv[1], sys.argv[2:]
    engine = os.path.join(src, "engine")
    rank = {name: i for i, name in enumerate(folders)}
    faults = []
    graph = {}
    for dirpath, _, names in os.walk(engine):
        for name in sorted(names):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(dirpath, name)
            rel = os.path.relpath(path, src)  # engine/FOLDER/File.h
            parts = rel.split(os.sep)
            own = parts[1] if len(parts) > 2 else None
            if own is not None and own not in rank:
                faults.append(f"{rel}: the folder engine/{own} is not in the engine's folder list")
                continue
            graph[rel] = []
            with open(path, encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE.match(line)
                    if not m:
                        continue
                    target = m.group(1)
                    where = f"{rel}:{number}: includes {target}"
                    top = target.split("/")[0]
                    if top == "platform":
                        continue
                    if top != "engine":
                        if own is not None:
                            faults.append(f"{where}, outside the engine (only platform/ is below it)")
                        continue
                    graph[rel].append(target)
                    if own is None:
                        continue
                    tparts = target.split("/")
                    if len(tparts) < 3:
                        faults.append(f"{where}, a header outside the engine's folders")
                    elif tparts[1] not in rank:
                        faults.append(f"{where}, from a folder that is not in the list")
                    elif rank[tparts[1]] > rank[own]:
                        faults.append(f"{where}: engine/{own} may not use engine/{tparts[1]}, "
                                      "which comes after it")
    faults += Cycles(graph)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include fault(s); the order, lowest first: {' '.join(folders)}")
        return 1
    print(f"engine includes: {len(graph)} files, every include goes down, no cycle")
    return 0


def Cycles(graph):
    """Include cycles among the files of `graph`, each reported once."""
    found = []
    state = {}  # 1 on the current path, 2 done

    def visit(node, path):
        state[node] = 1
        path.append(node)
        for target in graph.get(node, []):
            if target not in graph:
                continue
            if state.get(target) == 1:
                cycle = path[path.index(target):] + [target]
                found.append("include cycle: " + " -> ".join(cycle))
            elif target not in state:
                visit(target, path)
        path.pop()
        state[node] = 2

    for node in sorted(graph):
        if node not in state:
            visit(node, [])
    return found


if __name__ == "__main__":
    sys.exit(main())
