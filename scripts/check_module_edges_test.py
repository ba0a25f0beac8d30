#!/usr/bin/env python3
"""The module-edge check on a small tree: what it lets through and what it catches."""

import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_module_edges  # noqa: E402

# base <- net (a second library in base's folder) <- app <- host; base also has a folder
# module "leaf" with no sources that nobody depends on.
EDGES = """module\tbase
folder\tbase\tbase
source\tbase\tbase/text.cpp
module\tnet
source\tnet\tbase/fetch.cpp
depend\tnet\tbase
module\tapp
folder\tapp\tapp
depend\tapp\tnet
depend\tapp\tThreads::Threads
module\thost
source\thost\thosts/host/main.cpp
depend\thost\tapp
module\tleaf
folder\tleaf\tleaf
"""

GOOD_TREE = {
    "base/text.h": "#pragma once\n#include <string>\n",
    "base/text.cpp": '#include "base/text.h"\n',
    "base/fetch.h": '#pragma once\n#include "base/text.h"\n',
    "base/fetch.cpp": '#include "base/fetch.h"\n#include "text.h"\n',
    "app/dialog.h": '#pragma once\n#include "base/fetch.h"\n#include "httplib.h"\n',
    "app/only_header.h": "#pragma once\n",
    "hosts/host/main.cpp": '#include "app/dialog.h"\n#include "base/text.h"\n',
    "leaf/leaf.h": '#pragma once\n#include "leaf/other.h"\n',
    "leaf/other.h": "#pragma once\n",
    "platform/win/gateway.h": "#pragma once\n#include <windows.h>\n",
}
GATEWAY = "platform/win/gateway.h"
EDGES_WITH_PLATFORM = EDGES + "module\tplatform\nfolder\tplatform\tplatform\n"


class ModuleEdgesTest(unittest.TestCase):
    def run_check(self, changes):
        with tempfile.TemporaryDirectory() as src:
            for path, text in {**GOOD_TREE, **changes}.items():
                os.makedirs(os.path.join(src, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(src, path), "w", encoding="utf-8") as file:
                    file.write(text)
            graph = check_module_edges.Graph(EDGES_WITH_PLATFORM.splitlines())
            return check_module_edges.check(graph, src, GATEWAY)

    def test_a_tree_that_follows_the_edges_passes(self):
        self.assertEqual(self.run_check({}), [])

    def test_includes_against_the_edges_are_caught(self):
        cases = [
            # A lower module reaching up.
            ("base/text.cpp", '#include "app/dialog.h"\n', "base includes \"app/dialog.h\" of app"),
            # A header without a source belongs to its folder's module.
            ("base/fetch.cpp", '#include "app/only_header.h"\n', "of app"),
            # The paired header of a library sharing the folder: base does not have net.
            ("base/text.cpp", '#include "base/fetch.h"\n', 'base includes "base/fetch.h" of net'),
            # The same, written relative to the including file.
            ("base/text.cpp", '#include "fetch.h"\n', 'base includes "fetch.h" of net'),
            # A module nobody depends on.
            ("app/dialog.h", '#include "leaf/leaf.h"\n', "of leaf"),
            # Windows SDK headers outside the gateway, whatever the case.
            ("hosts/host/main.cpp", "#include <Windows.h>\n", "outside the Windows gateway"),
            ("app/dialog.h", "#  include <wininet.h>\n", "outside the Windows gateway"),
        ]
        for path, text, expected in cases:
            with self.subTest(path=path, text=text):
                offences = self.run_check({path: text})
                self.assertEqual(len(offences), 1, offences)
                self.assertIn(expected, offences[0])
                self.assertTrue(offences[0].startswith(f"src/{path}:"), offences[0])

    def test_files_no_module_owns_are_caught(self):
        offences = self.run_check({"stray/thing.cpp": "int x;\n",
                                   "hosts/host/extra.cpp": '#include "app/dialog.h"\n'})
        self.assertEqual(len(offences), 2, offences)
        self.assertIn("src/hosts/host/extra.cpp: no library or program", offences[0])
        self.assertIn("src/stray/thing.cpp: no library or program", offences[1])

    def test_the_script_exits_non_zero_on_an_offence(self):
        with tempfile.TemporaryDirectory() as work:
            src = os.path.join(work, "src")
            for path, text in {**GOOD_TREE, "app/dialog.h": '#include "leaf/leaf.h"\n'}.items():
                os.makedirs(os.path.join(src, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(src, path), "w", encoding="utf-8") as file:
                    file.write(text)
            edges = os.path.join(work, "module_edges.txt")
            with open(edges, "w", encoding="utf-8") as file:
                file.write(EDGES_WITH_PLATFORM)
            devnull = open(os.devnull, "w")
            saved = sys.stderr, sys.stdout
            sys.stderr = sys.stdout = devnull
            try:
                bad = check_module_edges.main(["--edges", edges, "--src", src])
                os.remove(os.path.join(src, "app/dialog.h"))
                good = check_module_edges.main(["--edges", edges, "--src", src])
            finally:
                sys.stderr, sys.stdout = saved
                devnull.close()
            self.assertEqual((bad, good), (1, 0))


if __name__ == "__main__":
    unittest.main()
