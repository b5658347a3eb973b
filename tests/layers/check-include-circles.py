#!/usr/bin/env python3
"""Finds include circles between the modules of a source tree.

A module is a header and its source file (engine/Scene.h with engine/Scene.cpp). Module A
uses module B when a file of A includes B's header, given as a path under the tree root.
Prints every group of modules that reach each other (one line per circle found) and exits
with 1 when there is any, 0 otherwise.

Usage: check-include-circles.py ROOT
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def modules(root):
    uses = {}
    for folder, _, names in os.walk(root):
        for name in names:
            stem, ext = os.path.splitext(name)
            if ext not in ('.h', '.cpp', '.inl'):
                continue
            path = os.path.join(folder, name)
            module = os.path.relpath(os.path.join(folder, stem), root)
            with open(path, encoding='utf-8', errors='replace') as f:
                text = f.read()
            deps = uses.setdefault(module, set())
            for target in INCLUDE.findall(text):
                other = os.path.splitext(target)[0]
                if other != module:
                    deps.add(other)
    # Only includes that name a module of this tree count.
    return {m: {d for d in deps if d in uses} for m, deps in uses.items()}


def circles(graph):
    """Strongly connected components with more than one module (Tarjan, iterative)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []
    counter = 0
    for start in sorted(graph):
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter
                    counter += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(graph[child]))))
                    advanced = True
                    break
                if child in on_stack:
                    low[node] = min(low[node], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                group = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    group.append(member)
                    if member == node:
                        break
                if len(group) > 1:
                    found.append(sorted(group))
    return sorted(found)


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    graph = modules(sys.argv[1])
    found = circles(graph)
    for group in found:
        print('include circle: ' + ' <-> '.join(group))
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
