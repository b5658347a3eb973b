#!/usr/bin/env python3
"""Finds include circles between the modules of a source tree.

A module is a header and its source file (engine/Scene.h with engine/Scene.cpp). Module A
uses module B when a file of A includes B's header, given as a path under the tree root.
Prints every group of modules that reach each other (one line per circle found) and exits
with 1 when there is any, 0 otherwise. An include written relative to the including file
("../demoSystem/DemoClock.h") escapes both this check and the layers' include folders (the
compiler looks beside the file first): each is printed and fails the check too. With
--modules N, finding fewer than the N modules the tree holds (a wrong root, files not read)
fails the check instead of passing it vacuously.

Usage: check-include-circles.py [--modules N] ROOT
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


RELATIVE = re.compile(r'(^|/)\.\.?/')


def modules(root, relative):
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
                if RELATIVE.search(target):
                    relative.append('%s: relative include "%s" (name the header from the source root)'
                                    % (os.path.relpath(path, root), target))
                    continue
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
    args = sys.argv[1:]
    expected = 0
    if len(args) == 3 and args[0] == '--modules' and args[1].isdigit():
        expected = int(args[1])
        args = args[2:]
    if len(args) != 1:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    relative = []
    graph = modules(args[0], relative)
    found = circles(graph)
    for line in sorted(relative):
        print(line)
    for group in found:
        print('include circle: ' + ' <-> '.join(group))
    if len(graph) < expected:
        print('found %d modules under %s, the tree holds %d' % (len(graph), args[0], expected))
        return 1
    return 1 if found or relative else 0


if __name__ == '__main__':
    sys.exit(main())
