#!/usr/bin/env python3
"""Include rules between the product's folders.

    check_layers.py <source root> includes-point-down
        Every include of host/, settings/, engine/, pictures/, widgets/ and resources/ names a
        file of its own subsystem or of one below it: host above settings above engine above
        pictures and widgets, resources below them all. A portable file never includes a win/
        file.
    check_layers.py <source root> portable-core-has-no-windows-header
        Files directly inside a subsystem folder include no Windows header, so that they
        build and are tested natively.

Prints every breach with what was expected and exits 1 when there is one."""
import os
import re
import sys

RANK = {"resources": 0, "pictures": 1, "widgets": 1, "engine": 2, "settings": 3, "host": 4}
WINDOWS_HEADERS = re.compile(
    r"<(windows|windowsx|ddraw|ole2|olectl|objbase|shlobj|shellapi|commctrl|winuser|wingdi)\.h>",
    re.IGNORECASE)
INCLUDE = re.compile(r'\s*#\s*include\s+(["<][^">]+[">])')


def product_files(root):
    for subsystem in RANK:
        base = os.path.join(root, subsystem)
        for folder, _, names in os.walk(base):
            for name in sorted(names):
                if name.endswith((".h", ".cpp")):
                    path = os.path.join(folder, name)
                    yield os.path.relpath(path, root).replace(os.sep, "/")


def includes(root, relative):
    with open(os.path.join(root, relative), errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if match:
                yield number, match.group(1)


def is_portable(relative):
    return len(relative.split("/")) == 2


def includes_point_down(root):
    breaches = []
    for relative in product_files(root):
        subsystem = relative.split("/")[0]
        for number, spelled in includes(root, relative):
            if not spelled.startswith('"'):
                continue
            target = spelled.strip('"')
            parts = target.split("/")
            if parts[0] not in RANK:
                continue
            where = f"{relative}:{number} includes {target}"
            if parts[0] != subsystem and RANK[parts[0]] >= RANK[subsystem]:
                breaches.append(f"{where}: expected a folder below {subsystem}/, "
                                f"saw {parts[0]}/ (rank {RANK[parts[0]]} >= {RANK[subsystem]})")
            elif is_portable(relative) and "win" in parts[1:-1]:
                breaches.append(f"{where}: expected a portable file, saw a win/ layer")
    return breaches


def portable_core_has_no_windows_header(root):
    breaches = []
    for relative in product_files(root):
        if not is_portable(relative):
            continue
        for number, spelled in includes(root, relative):
            if WINDOWS_HEADERS.match(spelled):
                breaches.append(f"{relative}:{number}: expected no Windows header, saw {spelled}")
    return breaches


def main():
    checks = {"includes-point-down": includes_point_down,
              "portable-core-has-no-windows-header": portable_core_has_no_windows_header}
    if len(sys.argv) != 3 or sys.argv[2] not in checks:
        print(__doc__)
        return 2
    breaches = checks[sys.argv[2]](sys.argv[1])
    for breach in breaches:
        print(breach)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
