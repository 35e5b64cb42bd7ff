#!/usr/bin/env python3
"""Checks that no file of src/ reaches itself through its #include lines.

    SourceCycles.py SRC_DIR

Builds the graph of every #include "..." between the .h and .cpp files
below SRC_DIR (a name is looked up from SRC_DIR, then beside the including
file; system and generated headers are left out) and prints each include
cycle once, as the files around it. Exits 1 when there is one.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def ReadSources(src):
    files = {}
    for dirpath, _, names in os.walk(src):
        for name in sorted(names):
            if name.endswith((".h", ".cpp")):
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    files[os.path.relpath(path, src)] = f.read().splitlines()
    return files


def IncludeEdges(src, files, edges):
    for rel, lines in files.items():
        for line in lines:
            m = INCLUDE.match(line)
            if not m:
                continue
            target = m.group(1)
            beside = os.path.normpath(os.path.join(os.path.dirname(rel), target))
            for candidate in (target, beside):
                if candidate in files:
                    edges.setdefault(rel, set()).add(candidate)
                    break


def Cycles(edges):
    """Each cycle once: Tarjan's strongly connected components of more than
    one node (or a node using itself), with one path around each."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = [0]

    def strong(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for target in sorted(edges.get(node, ())):
            if target not in index:
                strong(target)
                low[node] = min(low[node], low[target])
            elif target in on_stack:
                low[node] = min(low[node], index[target])
        if low[node] == index[node]:
            members = []
            while True:
                member = stack.pop()
                on_stack.discard(member)
                members.append(member)
                if member == node:
                    break
            if len(members) > 1 or node in edges.get(node, ()):
                found.append(PathAround(sorted(members), edges))

    sys.setrecursionlimit(10000)
    for node in sorted(edges):
        if node not in index:
            strong(node)
    return found


def PathAround(members, edges):
    """A cycle through the first of `members`, staying among them."""
    inside = set(members)
    start = members[0]
    previous = {start: None}
    queue = [start]
    while queue:
        node = queue.pop(0)
        for target in sorted(edges.get(node, ())):
            if target == start:
                path = [node]
                while previous[path[-1]] is not None:
                    path.append(previous[path[-1]])
                return list(reversed(path)) + [start]
            if target in inside and target not in previous:
                previous[target] = node
                queue.append(target)
    return members


def main():
    src = sys.argv[1]
    files = ReadSources(src)
    edges = {}
    IncludeEdges(src, files, edges)
    cycles = Cycles(edges)
    for cycle in cycles:
        print("include cycle: " + " -> ".join(cycle))
    includes = sum(len(targets) for targets in edges.values())
    if cycles:
        print(f"{len(cycles)} include cycle(s) among the {len(files)} files of {src}")
        return 1
    print(f"{len(files)} files of {src}, {includes} includes between them, no cycle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
