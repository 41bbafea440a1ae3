#!/usr/bin/env python3
"""Fails on any include cycle in src/, between files or between folders,
naming its members and their edges; checks the two layers of the hook core
as well.

A header and the source of the same name are one unit: a source that
includes a header of a unit whose own source includes the first unit's header
closes a loop at link time as surely as two headers that include each other.
Folders are the subsystems; a folder cycle means two subsystems call each
other, which is what keeps the hook core from being a floor below the
features.

The hook core is two layers: below the features, hook/base/ (the record, the
shared section and its readers, the process's name, the host lists, the
registered names, the send command table and the item placer's interface),
which includes nothing of src/ but platform/ and the shared section's
declaration; above them, hook/ itself (the table, subclassing, the
dispatcher, ShellProc and start-up/exit). The features include only
hook/base/.

Usage: check-include-cycles.py [SRC_DIR]   (default: src/ beside this script)
Exit 0: no cycle and no layer breach; 1: otherwise.
"""
import os
import re
import sys

HOOK_BASE = 'hook/base/'
# What the lower layer may stand on besides itself.
BASE_MAY_INCLUDE = ('platform/', 'exports/shared_section')
FEATURES = ('menu/', 'toolbar/', 'send/', 'config/', 'oem/')

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
SOURCE_ENDINGS = ('.h', '.hpp', '.cpp', '.c', '.S')


def unit_of(path):
    # A private header of a unit split over several sources (X_detail.h)
    # belongs to X.
    unit = os.path.splitext(path)[0]
    return unit[:-len('_detail')] if unit.endswith('_detail') else unit


def read_graph(src):
    files = []
    for root, _, names in os.walk(src):
        for name in names:
            if name.endswith(SOURCE_ENDINGS):
                files.append(os.path.relpath(os.path.join(root, name), src).replace(os.sep, '/'))
    known = set(files)
    units = {unit_of(f) for f in files}
    edges = {u: set() for u in units}
    for f in files:
        with open(os.path.join(src, f), encoding='utf-8', errors='replace') as fh:
            text = fh.read()
        here = os.path.dirname(f)
        for inc in INCLUDE.findall(text):
            for candidate in (inc, os.path.normpath(os.path.join(here, inc)).replace(os.sep, '/')):
                if candidate in known:
                    target = unit_of(candidate)
                    if target != unit_of(f):
                        edges[unit_of(f)].add(target)
                    break
    return edges


def strongly_connected(edges):
    """Tarjan's algorithm, iterative; only sets of two or more members."""
    index, low, on_stack, stack, result = {}, {}, set(), [], []
    counter = [0]
    for start in sorted(edges):
        if start in index:
            continue
        work = [(start, iter(sorted(edges[start])))]
        index[start] = low[start] = counter[0]; counter[0] += 1
        stack.append(start); on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter[0]; counter[0] += 1
                    stack.append(child); on_stack.add(child)
                    work.append((child, iter(sorted(edges.get(child, ())))))
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
                members = []
                while True:
                    member = stack.pop(); on_stack.discard(member)
                    members.append(member)
                    if member == node:
                        break
                if len(members) > 1:
                    result.append(tuple(sorted(members)))
    return sorted(result)


def folder_of(unit):
    if unit.startswith(HOOK_BASE):
        return HOOK_BASE.rstrip('/')
    # The shared section's declaration is the floor the lower layer stands on;
    # the entry point above everything is the rest of exports/.
    if unit == 'exports/shared_section':
        return 'exports/section'
    # The error codes are the portable floor that the container code and the
    # suite's Windows frame both stand on (a library of their own in the build).
    if unit == 'suite/library_error':
        return 'suite/errors'
    return unit.split('/')[0] if '/' in unit else '.'


def layer_faults(edges):
    faults = []
    for unit in sorted(edges):
        for target in sorted(edges[unit]):
            if unit.startswith(HOOK_BASE) and not target.startswith((HOOK_BASE,) + BASE_MAY_INCLUDE):
                faults.append('%s is below the features and may not include %s' % (unit, target))
            if unit.startswith(FEATURES) and target.startswith('hook/') and not target.startswith(HOOK_BASE):
                faults.append('%s is a feature and may include only hook/base/, not %s' % (unit, target))
    return faults


def folder_graph(edges):
    folders = {}
    for unit, targets in edges.items():
        a = folder_of(unit)
        folders.setdefault(a, set())
        for t in targets:
            b = folder_of(t)
            if a != b:
                folders[a].add(b)
            folders.setdefault(b, set())
    return folders


def report(kind, cycles, edges):
    for cycle in cycles:
        print('%s cycle: %s' % (kind, ' <-> '.join(cycle)))
        members = set(cycle)
        for m in cycle:
            inside = sorted(t for t in edges[m] if t in members)
            print('    %s -> %s' % (m, ', '.join(inside)))
    return len(cycles)


def main():
    args = sys.argv[1:]
    src = args[0] if args else os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'src')
    edges = read_graph(src)
    folders = folder_graph(edges)
    unit_cycles = strongly_connected(edges)
    folder_cycles = strongly_connected(folders)
    bad = report('file', unit_cycles, edges)
    bad += report('folder', folder_cycles, folders)
    faults = layer_faults(edges)
    for fault in faults:
        print('layer: ' + fault)
    bad += len(faults)
    print('%d units, %d file cycle(s), %d folder cycle(s), %d not allowed'
          % (len(edges), len(unit_cycles), len(folder_cycles), bad))
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
