#!/usr/bin/python3
"""Fails when the program's folders include each other in a circle.

Every #include "..." of a source file makes its folder depend on the folder
of the included file. Each subfolder of app/ and of effects/ counts as a
folder of its own; the other subsystems count by their top folder. The
folders must form layers: no folder reaches itself through its includes.

Usage: check_layers.py [SOURCE_ROOT]   (prints the layers when they hold)
"""
import os
import re
import sys

SUBSYSTEMS = ("app", "effects", "playback", "tomidi", "engine", "plugouts", "tools")
SPLIT = ("app", "effects")  # their subfolders are folders of their own
SOURCE = (".h", ".cpp", ".c")
INCLUDE = re.compile(r'\s*#\s*include\s*"([^"]+)"')


def folder_of(path):
    parts = path.split("/")
    if parts[0] in SPLIT and len(parts) > 2:
        return parts[0] + "/" + parts[1]
    return parts[0]


def include_graph(root):
    """folder -> {included folder: first (file, include) that makes the edge}"""
    graph = {}
    for top in SUBSYSTEMS:
        for dirpath, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith(SOURCE):
                    continue
                path = os.path.relpath(os.path.join(dirpath, name), root)
                source = folder_of(path)
                edges = graph.setdefault(source, {})
                with open(os.path.join(root, path), errors="replace") as text:
                    for line in text:
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        included = match.group(1)
                        beside = os.path.normpath(os.path.join(os.path.dirname(path), included))
                        if os.path.exists(os.path.join(root, beside)):
                            included = beside
                        elif not os.path.exists(os.path.join(root, included)):
                            continue  # a system or generated header
                        target = folder_of(included)
                        if target != source:
                            edges.setdefault(target, (path, match.group(1)))
    return graph


def find_circle(graph):
    """One circle of folders as a list [a, b, ..., a], or None."""
    state = {}
    trail = []

    def visit(folder):
        state[folder] = "open"
        trail.append(folder)
        for target in sorted(graph.get(folder, {})):
            if state.get(target) == "open":
                return trail[trail.index(target):] + [target]
            if target not in state:
                circle = visit(target)
                if circle:
                    return circle
        trail.pop()
        state[folder] = "done"
        return None

    for folder in sorted(graph):
        if folder not in state:
            circle = visit(folder)
            if circle:
                return circle
    return None


def layers(graph):
    """Folders by depth: layer 0 includes no other folder."""
    depth = {}

    def depth_of(folder):
        if folder not in depth:
            depth[folder] = 1 + max((depth_of(t) for t in graph.get(folder, {})), default=-1)
        return depth[folder]

    for folder in graph:
        depth_of(folder)
    return [sorted(f for f in depth if depth[f] == d) for d in range(max(depth.values(), default=-1) + 1)]


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    graph = include_graph(root)
    circle = find_circle(graph)
    if circle:
        print("folders include each other: " + " -> ".join(circle), file=sys.stderr)
        for source, target in zip(circle, circle[1:]):
            path, included = graph[source][target]
            print(f"  {path} includes \"{included}\"", file=sys.stderr)
        return 1
    for number, folders in enumerate(layers(graph)):
        print(f"layer {number}: {' '.join(folders)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
