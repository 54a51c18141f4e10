#!/usr/bin/env python3
"""Checks the source folders' layering: each folder includes only the folders it may build on,
the plain C++ folders include no Qt header, and no two headers include each other in a loop.
Prints every breach and exits 1 when there is one."""
import re
import sys
from pathlib import Path

# What each folder of src/ may include besides itself. The plain C++ folders come first.
ALLOWED = {
    "core": set(),
    "mail": {"core"},
    "messages": {"core", "mail"},
    "storage": {"core", "mail", "messages"},
    "operations": {"core", "mail", "messages", "storage"},
    "checker": {"core", "mail", "messages", "storage", "operations"},
    "discovery": {"core", "mail", "messages", "storage"},
    "signin": {"core", "mail", "messages", "storage"},
    "dialogs": {"core", "mail", "messages", "storage"},
    "ui": {"core", "mail", "messages", "storage", "operations", "checker", "discovery",
           "signin", "dialogs"},
    "shell": {"core", "mail", "messages", "storage", "operations", "checker", "discovery",
              "signin", "dialogs", "ui"},
}
PLAIN = {"core", "mail", "messages", "storage", "operations", "checker"}
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)


def main(src: Path) -> int:
    problems = []
    headers = {}
    for path in sorted(src.glob("*/*")):
        if path.suffix not in (".h", ".cpp") or path.parent.name not in ALLOWED:
            continue
        folder = path.parent.name
        own = f"{folder}/{path.name}"
        text = path.read_text(encoding="utf-8", errors="replace")
        quoted = []
        for kind, name in INCLUDE.findall(text):
            if kind == "<" and folder in PLAIN and re.match(r"Q[A-Za-z]|qt", name):
                problems.append(f"{own}: a plain C++ folder includes the Qt header <{name}>")
            if kind != '"' or "/" not in name:
                continue
            other = name.split("/", 1)[0]
            if other in ALLOWED and other != folder and other not in ALLOWED[folder]:
                problems.append(f"{own}: includes {name}, against the layers")
            quoted.append(name)
        if path.suffix == ".h":
            headers[own] = [name for name in quoted if (src / name).is_file()]

    # A loop of headers: a depth-first walk that meets a header still on its path.
    state = {}

    def walk(header, path):
        state[header] = "open"
        for included in headers.get(header, []):
            if state.get(included) == "open":
                loop = path[path.index(included):] + [included]
                problems.append("headers include each other: " + " -> ".join(loop))
            elif included not in state:
                walk(included, path + [included])
        state[header] = "done"

    for header in headers:
        if header not in state:
            walk(header, [header])

    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(Path(sys.argv[1])))
