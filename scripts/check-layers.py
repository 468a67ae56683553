#!/usr/bin/env python3
"""Checks that every #include "..." of the program points down its layers.

    scripts/check-layers.py [--quiet] [ROOT]

The layers and the layers right below each are read from the quorlex_layer lines of
cmake/layers.cmake, the file the build makes one library per layer from; a layer may include its
own headers and those of every layer below it, through any number of steps. Also checked: the
implementation folders of the platform layer (src/platform/win32, src/platform/native) are
included by nothing else in src/, and the command line (tools/cli) includes neither ui/ nor
flash/. Prints, for each layer, the layers its files include, then one line per include that
breaks a rule (--quiet: those lines only). Exit status 1 when there is any; the build runs this
before it compiles a layer.
"""
import os
import re
import sys

LAYER_LINE = re.compile(r'^quorlex_layer\((\w+)[ \t]+([^\s)]+)([^)\n]*)\)', re.M)
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
PLATFORM_IMPLEMENTATIONS = ('platform/win32/', 'platform/native/')
CLI_FOLDER = 'tools/cli'
CLI_FORBIDDEN = ('ui', 'flash')


def read_layers(root):
    """[(name, folder under src/, [layers right below])], bottom to top."""
    text = open(os.path.join(root, 'cmake', 'layers.cmake'), encoding='utf-8').read()
    layers = []
    for name, folder, rest in LAYER_LINE.findall(text):
        words = rest.split()
        below = []
        if words and words[0] == 'ON':
            for word in words[1:]:
                if word == 'SOURCES':
                    break
                below.append(word)
        if not folder.startswith('src/'):
            sys.exit(f'cmake/layers.cmake: layer {name} is not a folder of src/: {folder}')
        layers.append((name, folder[len('src/'):], below))
    if not layers:
        sys.exit('cmake/layers.cmake: no quorlex_layer lines')
    return layers


def reachable(layers):
    """Each layer's own name and every layer below it."""
    direct = {name: below for name, _, below in layers}
    allowed = {}
    for name, _, _ in layers:  # bottom to top: the layers below are done already
        seen = {name}
        for below in direct[name]:
            if below not in allowed:
                sys.exit(f'cmake/layers.cmake: {name} stands on {below}, which is not a layer below it')
            seen |= allowed[below]
        allowed[name] = seen
    return allowed


def layer_of(path, layers):
    """The layer whose folder holds `path` (relative to src/): the longest folder that matches."""
    best = None
    for name, folder, _ in layers:
        if path.startswith(folder + '/') and (best is None or len(folder) > len(best[1])):
            best = (name, folder)
    return best[0] if best else None


def source_files(top):
    for directory, _, files in sorted(os.walk(top)):
        for f in sorted(files):
            if f.endswith(('.h', '.cpp', '.c')):
                yield os.path.join(directory, f)


def includes(path):
    text = open(path, encoding='utf-8', errors='replace').read()
    for match in INCLUDE.finditer(text):
        yield text.count('\n', 0, match.start()) + 1, match.group(1)


def main():
    args = [a for a in sys.argv[1:] if a != '--quiet']
    quiet = '--quiet' in sys.argv[1:]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), '..'))
    layers = read_layers(root)
    allowed = reachable(layers)
    src = os.path.join(root, 'src')
    problems = []
    reached = {name: set() for name, _, _ in layers}
    reached_by_cli = set()
    files = count = 0

    for path in source_files(src):
        own = os.path.relpath(path, src).replace(os.sep, '/')
        layer = layer_of(own, layers)
        where = 'src/' + own
        if layer is None:
            problems.append(f'{where}: in no layer folder of cmake/layers.cmake')
            continue
        files += 1
        for line, target in includes(path):
            count += 1
            to = layer_of(target, layers)
            if to is None:
                problems.append(f'{where}:{line}: "{target}" is in no layer')
                continue
            reached[layer].add(to)
            if to not in allowed[layer]:
                problems.append(f'{where}:{line}: {layer} includes "{target}" of {to}, which is not below it')
            elif target.startswith(PLATFORM_IMPLEMENTATIONS) and not own.startswith('platform/'):
                problems.append(f'{where}:{line}: "{target}" is the platform layer\'s own implementation')

    for path in source_files(os.path.join(root, CLI_FOLDER)):
        files += 1
        for line, target in includes(path):
            count += 1
            to = layer_of(target, layers)
            if to is None:
                continue  # the command line's own headers
            reached_by_cli.add(to)
            if to in CLI_FORBIDDEN:
                where = os.path.relpath(path, root).replace(os.sep, '/')
                problems.append(f'{where}:{line}: the command line includes "{target}" of {to}')

    if not quiet:
        order = [name for name, _, _ in layers]
        ranked = lambda names: ' '.join(n for n in order if n in names) or '-'
        print(f'{"layer":9} {"folder":20} {"stands on":22} its files include')
        for name, folder, below in layers:
            print(f'{name:9} {"src/" + folder:20} {" ".join(below) or "-":22} {ranked(reached[name])}')
        print(f'{"cli":9} {CLI_FOLDER:20} {"any but " + " ".join(CLI_FORBIDDEN):22} {ranked(reached_by_cli)}')
    for problem in problems:
        print(problem)
    if problems:
        print(f'{len(problems)} include(s) against the layers of cmake/layers.cmake')
        return 1
    if not quiet:
        print(f'every include points down: {count} includes in {files} files')
    return 0


if __name__ == '__main__':
    sys.exit(main())
