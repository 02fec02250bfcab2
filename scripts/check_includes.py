#!/usr/bin/env python3
"""Checks the source tree's layers from its includes.

- core/ is portable: no <windows.h> (nor any Win32 header), nothing from platform/, win/ or cli/.
- platform/ builds on core/ alone; cli/ and win/ never include each other.
- No circle of includes, neither between files (a header and the .cpp of another module that
  includes it back) nor between modules (a module is a file name without its extension).
Prints every fault and exits 1 when there is one.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
LAYERS = ["core", "platform", "cli", "win"]
# What each layer may include from the project.
ALLOWED = {
    "core": {"core", "generated"},
    "platform": {"core", "platform", "res", "generated"},
    "cli": {"core", "platform", "cli", "generated"},
    "win": {"core", "platform", "win", "res", "generated"},
}
WIN32_HEADERS = re.compile(r"^(windows|winbase|winuser|shellapi|shlobj|commctrl|commdlg|ole2|objbase)\.h$", re.I)
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)

faults = []
graph = {}  # module -> modules it includes
for layer in LAYERS:
    for path in sorted((ROOT / layer).rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        relative = path.relative_to(ROOT).as_posix()
        module = relative.rsplit(".", 1)[0]
        graph.setdefault(module, set())
        text = path.read_text(encoding="utf-8")
        if layer == "core" and "windows.h" in text.lower():
            faults.append(f"{relative}: the portable core names windows.h")
        for kind, name in INCLUDE.findall(text):
            if kind == "<":
                if layer == "core" and WIN32_HEADERS.match(pathlib.PurePosixPath(name).name):
                    faults.append(f"{relative}: the portable core includes <{name}>")
                continue
            top = name.split("/", 1)[0]
            if "/" not in name or top not in ALLOWED[layer] | {"tests", "tools"}:
                if "/" not in name:
                    faults.append(f'{relative}: "{name}" is not written from the source root')
                else:
                    faults.append(f'{relative}: {layer}/ may not include "{name}"')
                continue
            if top not in ALLOWED[layer]:
                faults.append(f'{relative}: {layer}/ may not include "{name}"')
                continue
            if top in LAYERS:
                included = name.rsplit(".", 1)[0]
                if included != module:
                    graph[module].add(included)

# Circles between modules, found by a depth-first walk.
state = {}
stack = []


def walk(module):
    state[module] = "open"
    stack.append(module)
    for target in sorted(graph.get(module, ())):
        if state.get(target) == "open":
            circle = stack[stack.index(target):] + [target]
            faults.append("include circle: " + " -> ".join(circle))
        elif target not in state:
            walk(target)
    stack.pop()
    state[module] = "done"


for module in sorted(graph):
    if module not in state:
        walk(module)

for fault in faults:
    print(fault)
print(f"{len(graph)} modules checked, {len(faults)} faults")
sys.exit(1 if faults else 0)
