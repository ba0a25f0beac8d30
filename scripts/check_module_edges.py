#!/usr/bin/env python3
"""Fails when a file of src/ includes a header of a module its own module does not depend on.

The module graph comes from the build: every corvane_add_library, corvane_add_module and
corvane_add_program call records the files and folders its target owns and its DEPENDS
(cmake/CorvaneTargets.cmake), and configuring writes them to build/<preset>/module_edges.txt.
A module may include its own headers and those of every module it depends on, directly or
through others. Nothing else is allowed, so the edges are written once, in CMake.

Who owns a path (relative to src/): the module that compiles a source with the same stem
("support/http_fetch.h" belongs to the library of "support/http_fetch.cpp"), otherwise the
module of the nearest folder. A folder that several modules compile sources in belongs to the
one all the others depend on; when there is none, only its paired headers have an owner.

Windows SDK headers (<windows.h>, <wininet.h>, ...) may only be included by the Windows
gateway header (--windows-gateway), so every Windows declaration has one way in.

Usage: check_module_edges.py --edges FILE --src DIR [--windows-gateway PATH]
Exit status 0 when every include follows an edge, 1 otherwise (each offence on stderr).
"""

import argparse
import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".c", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
# Headers of the Windows SDK; the C runtime's own (<io.h>, <fcntl.h>) are not among them.
WINDOWS_SDK_HEADERS = {
    "windows.h", "winbase.h", "windef.h", "winnt.h", "winuser.h", "winreg.h", "winerror.h",
    "wininet.h", "wincrypt.h", "winsock.h", "winsock2.h", "ws2tcpip.h", "winver.h",
    "shlobj.h", "shellapi.h", "shlwapi.h", "objbase.h", "ole2.h", "oleauto.h", "unknwn.h",
    "combaseapi.h", "commctrl.h", "wintrust.h", "softpub.h", "setupapi.h", "tlhelp32.h",
    "psapi.h", "iphlpapi.h", "userenv.h", "sddl.h", "aclapi.h", "winsvc.h", "mshtml.h",
    "exdisp.h", "urlmon.h", "wtsapi32.h", "lm.h", "ntsecapi.h", "winhttp.h",
}


class Graph:
    def __init__(self, lines):
        self.modules = []
        self.sources = {}
        self.folders = {}
        self.depends = {}
        for number, line in enumerate(lines, 1):
            line = line.rstrip("\n")
            if not line:
                continue
            parts = line.split("\t")
            if parts[0] == "module" and len(parts) == 2:
                self.modules.append(parts[1])
                for table in (self.sources, self.folders, self.depends):
                    table.setdefault(parts[1], [])
            elif parts[0] in ("source", "folder", "depend") and len(parts) == 3:
                table = {"source": self.sources, "folder": self.folders, "depend": self.depends}
                table[parts[0]].setdefault(parts[1], []).append(parts[2])
            else:
                raise ValueError(f"edges line {number} is not understood: {line!r}")
        self.closure = {name: self._reach(name) for name in self.modules}
        self.stems = {}
        for name in self.modules:
            for source in self.sources[name]:
                self.stems[os.path.splitext(source)[0]] = name
        self.folder_owner = {}
        claims = {}
        for name in self.modules:
            for folder in self.folders[name]:
                claims.setdefault(folder.strip("/"), []).append(name)
        for folder, names in claims.items():
            names = sorted(set(names))
            lowest = [n for n in names if all(n in self.closure[o] for o in names)]
            if lowest:
                self.folder_owner[folder] = lowest[0]

    def _reach(self, name):
        seen = {name}
        stack = [name]
        while stack:
            for dep in self.depends.get(stack.pop(), []):
                if dep in self.sources and dep not in seen:  # only the project's modules
                    seen.add(dep)
                    stack.append(dep)
        return seen

    def owner(self, path):
        """The module owning `path` (relative to src/, '/' separated), or None."""
        stem = os.path.splitext(path)[0]
        if stem in self.stems:
            return self.stems[stem]
        folder = os.path.dirname(path)
        while True:
            if folder in self.folder_owner:
                return self.folder_owner[folder]
            if not folder:
                return None
            folder = os.path.dirname(folder)


def included_path(src, top_folders, including, target):
    """The src/-relative path an #include "target" of `including` means; None when the
    header is not the project's (a system or third-party header)."""
    first = target.split("/", 1)[0]
    if "/" in target and first in top_folders:
        return os.path.normpath(target).replace(os.sep, "/")
    beside = os.path.normpath(os.path.join(os.path.dirname(including), target))
    if not beside.startswith("..") and os.path.isfile(os.path.join(src, beside)):
        return beside.replace(os.sep, "/")
    return None


def check(graph, src, windows_gateway=None):
    """Every offence as a line of text."""
    offences = []
    top_folders = {e for e in os.listdir(src) if os.path.isdir(os.path.join(src, e))}
    for root, dirs, files in os.walk(src):
        dirs.sort()
        for file in sorted(files):
            if not file.endswith(SOURCE_SUFFIXES):
                continue
            path = os.path.relpath(os.path.join(root, file), src).replace(os.sep, "/")
            module = graph.owner(path)
            if module is None:
                offences.append(f"src/{path}: no library or program of the build owns it")
                continue
            with open(os.path.join(root, file), encoding="utf-8", errors="replace") as text:
                for number, line in enumerate(text, 1):
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    bracket, target = match.groups()
                    where = f"src/{path}:{number}"
                    if bracket == "<":
                        if (target.lower() in WINDOWS_SDK_HEADERS and windows_gateway
                                and path != windows_gateway):
                            offences.append(f"{where}: <{target}> outside the Windows gateway "
                                            f"src/{windows_gateway}; include that instead")
                        continue
                    header = included_path(src, top_folders, path, target)
                    if header is None:
                        continue
                    owner = graph.owner(header)
                    if owner is None:
                        offences.append(f'{where}: "{target}" belongs to no module')
                    elif owner not in graph.closure[module]:
                        offences.append(f'{where}: {module} includes "{target}" of {owner}, '
                                        f"which it does not depend on (add it to its DEPENDS "
                                        f"or move the code)")
    return offences


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--edges", required=True, help="module_edges.txt of a configured build")
    parser.add_argument("--src", required=True, help="the src/ folder")
    parser.add_argument("--windows-gateway", default=None,
                        help="the only file (relative to src/) that may include Windows SDK "
                             "headers")
    args = parser.parse_args(argv)
    with open(args.edges, encoding="utf-8") as edges:
        graph = Graph(edges.readlines())
    offences = check(graph, args.src, args.windows_gateway)
    for offence in offences:
        print(offence, file=sys.stderr)
    if offences:
        print(f"module edges: {len(offences)} include(s) cross no edge", file=sys.stderr)
        return 1
    print(f"module edges: every include of src/ follows the graph of {len(graph.modules)} "
          f"modules")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
