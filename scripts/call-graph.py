#!/usr/bin/env python3
"""The source files of one folder as a call graph, and its circles.

File A calls file B when A calls a function or method that B defines (`Class::Name(` or a free
function at the start of a line). How a call is resolved:
  - `Name(` without an object, inside a file whose class (the class it defines methods of, or the
    class its own header declares) declares Name: that class's Name, in the file that defines it
    (no edge when it is defined in the header or outside the folder);
  - otherwise `Name(` is the free function Name of the folder;
  - `x.Name(`, `x->Name(`, `f().Name(`: Name of the classes whose headers A includes (directly or
    through the folder's headers) that define it.
Prints each file's callees and every circle (a strongly connected set of more than one file);
exits 1 when there is one, or when a file of the folder has more lines than --max-lines says.

    python3 scripts/call-graph.py admin [--max-lines 600]
"""
import os
import re
import sys

DEF_METHOD = re.compile(r'^[A-Za-z_][\w:<>,\s\*&]*?\b(\w+)::(~?\w+)\s*\(', re.M)
DEF_FREE = re.compile(r'^(?:static\s+|inline\s+)?[A-Za-z_][\w:<>\*&\s]*?\s[\*&]?(\w+)\s*\([^;{]*\)\s*(?:const\s*)?\{',
                      re.M)
CALL = re.compile(r'(\.|->)?\s*\b(~?\w+)\s*\(')
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
CLASS = re.compile(r'\b(?:class|struct)\s+(\w+)[^;{]*\{')
BASE = re.compile(r'\b(?:class|struct)\s+(\w+)\s*(?:final\s*)?:\s*(?:public|protected|private)?\s*(\w+)')
KEYWORDS = {'if', 'for', 'while', 'switch', 'return', 'sizeof', 'catch', 'defined', 'static_cast',
            'reinterpret_cast', 'const_cast', 'decltype', 'alignof'}


def strip(text):
    text = re.sub(r'//[^\n]*', '', text)
    text = re.sub(r'/\*.*?\*/', '', text, flags=re.S)
    return re.sub(r'"(?:\\.|[^"\\])*"', '""', text)


def declared_classes(text):
    """class name -> names declared in its body."""
    classes = {}
    for m in CLASS.finditer(text):
        depth, i = 1, m.end()
        while i < len(text) and depth:
            depth += {'{': 1, '}': -1}.get(text[i], 0)
            i += 1
        classes[m.group(1)] = set(re.findall(r'\b(~?\w+)\s*\(', text[m.end():i]))
    return classes


def main(folder, max_lines=0):
    names = sorted(f for f in os.listdir(folder) if f.endswith(('.cpp', '.h')))
    raw = {f: open(os.path.join(folder, f), encoding='latin-1').read() for f in names}
    texts = {f: strip(raw[f]) for f in names}
    methods = {}   # (class, name) -> file defining it
    free = {}      # name -> file
    for f, text in texts.items():
        if f.endswith('.cpp'):
            for cls, name in DEF_METHOD.findall(text):
                methods[(cls, name)] = f
            for name in DEF_FREE.findall(text):
                if name not in KEYWORDS:
                    free.setdefault(name, f)
    header_classes = {f: declared_classes(texts[f]) for f in names if f.endswith('.h')}
    bases = {}
    for f in names:
        for derived, base in BASE.findall(texts[f]):
            bases.setdefault(derived, set()).add(base)

    def with_bases(classes):
        result, todo = set(), list(classes)
        while todo:
            cls = todo.pop()
            if cls not in result:
                result.add(cls)
                todo.extend(bases.get(cls, ()))
        return result

    def includes(f, seen=None):
        seen = set() if seen is None else seen
        for inc in INCLUDE.findall(raw[f]):
            if inc in texts and inc not in seen:
                seen.add(inc)
                includes(inc, seen)
        return seen

    edges = {}
    for f in (n for n in names if n.endswith('.cpp')):
        own = {cls for (cls, _n), g in methods.items() if g == f}
        own_header = os.path.splitext(f)[0] + '.h'
        own = with_bases(own | set(header_classes.get(own_header, {})))
        visible = {}
        for h in includes(f):
            visible.update(header_classes.get(h, {}))
        declared = {}
        for cls in own:
            for h in header_classes.values():
                declared.setdefault(cls, set()).update(h.get(cls, set()))
        out = set()
        for via, name in CALL.findall(texts[f]):
            if name in KEYWORDS:
                continue
            targets = set()
            if not via:
                mine = [cls for cls in own if name in declared.get(cls, ()) or (cls, name) in methods]
                if mine:
                    targets = {methods[(cls, name)] for cls in mine if (cls, name) in methods}
                elif name in free:
                    targets = {free[name]}
            else:
                targets = {methods[(cls, name)] for cls in visible if (cls, name) in methods}
            out |= {t for t in targets if t != f}
        edges[f] = out

    index, low, stack, on, sets, counter = {}, {}, [], set(), [], [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in edges.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on.discard(w)
                group.append(w)
                if w == v:
                    break
            sets.append(group)

    sys.setrecursionlimit(10000)
    for v in edges:
        if v not in index:
            visit(v)
    for f in sorted(edges):
        print('%-24s -> %s' % (f, ' '.join(sorted(edges[f])) or '-'))
    circles = [sorted(g) for g in sets if len(g) > 1]
    for g in circles:
        print('circle: ' + ' '.join(g))
    print('%d files, %d calls between files, %d circles' % (len(edges), sum(len(e) for e in edges.values()),
                                                            len(circles)))
    long_files = [(f, raw[f].count('\n')) for f in names if max_lines and raw[f].count('\n') > max_lines]
    for f, lines in long_files:
        print('%s: %d lines, more than %d' % (f, lines, max_lines))
    return 1 if circles or long_files else 0


if __name__ == '__main__':
    args = sys.argv[1:]
    limit = 0
    if '--max-lines' in args:
        at = args.index('--max-lines')
        limit = int(args[at + 1])
        del args[at:at + 2]
    sys.exit(main(args[0] if args else 'admin', limit))
