#!/usr/bin/env python3
"""Host checks of the files the Windows builds generate: the icon, the clip sd.avi and the help
Tavoro.chm come out byte for byte the same on every run, and the help holds every page in
Shift_JIS, links only to what it has, and explains every message box the programs show. (How
the icon and the clip look to Windows is checked under Wine, by tests/win32.)

Usage: generated_files_test.py [--xml RESULTS.xml]

Results go to stdout and, with --xml, to a GoogleTest-style result file, which the test
scripts count together with the C++ tests. Needs python3 and chmcmd/chmls (fp-utils).
"""

import argparse
import html
import os
import re
import struct
import subprocess
import sys
import tempfile
import traceback
import unittest
import xml.etree.ElementTree as ET

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ART = os.path.join(REPO, "res", "art")
HELP = os.path.join(REPO, "res", "help")
PROJECT = os.path.join(HELP, "tavoro.hhp")

# Nothing compiled is left in the source folders.
sys.dont_write_bytecode = True
sys.path.insert(0, HELP)
import build_help  # noqa: E402


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)


def generate(folder):
    """Runs the three generators as the build does; returns {name: bytes}."""
    outputs = {
        "tavoro.ico": [os.path.join(ART, "make_icon.py")],
        "sd.avi": [os.path.join(ART, "make_clip.py")],
        "Tavoro.chm": [os.path.join(HELP, "build_help.py"), PROJECT],
    }
    result = {}
    for name, command in outputs.items():
        path = os.path.join(folder, name)
        run(sys.executable, "-B", *command, path)
        with open(path, "rb") as f:
            result[name] = f.read()
    return result


class Generated:
    """Each generator run twice, in two folders, once for all the checks."""
    first = None
    second = None
    folder = None

    @classmethod
    def get(cls):
        if cls.first is None:
            cls.folder = tempfile.TemporaryDirectory(prefix="tavoro-generated-")
            one = os.path.join(cls.folder.name, "one")
            two = os.path.join(cls.folder.name, "two")
            os.makedirs(one)
            os.makedirs(two)
            cls.first = generate(one)
            cls.second = generate(two)
        return cls


class Reproducible(unittest.TestCase):
    def test_every_generator_gives_the_same_bytes_twice(self):
        runs = Generated.get()
        for name in runs.first:
            with self.subTest(name):
                self.assertGreater(len(runs.first[name]), 0)
                self.assertEqual(runs.first[name], runs.second[name], f"{name} differs")


class Help(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.chm = os.path.join(Generated.get().folder.name, "one", "Tavoro.chm")
        cls.files = build_help.project_files(PROJECT)
        cls.pages = [name for name in cls.files if name.endswith(".htm")]

    def source(self, name):
        with open(os.path.join(HELP, name), encoding="utf-8") as f:
            return f.read()

    def test_the_help_holds_every_file_of_the_project_in_shift_jis(self):
        listing = subprocess.run(["chmls", "-n", "list", self.chm], check=True,
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                                 errors="replace").stdout
        names = {line.strip().lstrip("/") for line in listing.splitlines()}
        for name in self.files:
            self.assertIn(name, names)
        with open(self.chm, "rb") as f:
            self.assertEqual(struct.unpack_from("<I", f.read(0x18), 0x14)[0], 0x0411,
                             "language Japanese")
        with tempfile.TemporaryDirectory() as folder:
            for name in self.pages + ["tavoro.hhc"]:
                with self.subTest(name):
                    target = os.path.join(folder, name)
                    run("chmls", "extract", self.chm, "/" + name, target)
                    with open(target, "rb") as f:
                        compiled = f.read().decode("cp932")
                    self.assertIn("charset=Shift_JIS", compiled)
                    title = re.search(r"<title>(.*?)</title>", self.source(name))
                    if title:
                        self.assertIn(f"<title>{title.group(1)}</title>", compiled)

    def test_contents_reach_every_page_and_every_link_lands(self):
        contents = re.findall(r'name="Local" value="([^"#]+)', self.source("tavoro.hhc"))
        self.assertEqual(sorted(set(contents)), sorted(self.pages))
        index = re.findall(r'name="Local" value="([^"]+)', self.source("tavoro.hhk"))
        for name in self.pages:
            for target in index + re.findall(r'href="([^"]+)"', self.source(name)):
                with self.subTest(page=name, link=target):
                    page, _, anchor = target.partition("#")
                    self.assertIn(page, self.files)
                    if anchor:
                        self.assertIn(f'name="{anchor}"', self.source(page))

    def test_every_message_the_program_shows_is_explained_word_for_word(self):
        explained = re.sub(r"\s+", " ", html.unescape(re.sub(r"<[^>]+>", "", self.source(
            "messages.htm"))))
        texts = program_message_texts()
        self.assertGreaterEqual(len(texts), 8, "the message boxes were not found in the code")
        for text in texts:
            for line in text.split("\r\n"):
                line = re.sub(r"\s+", " ", line).strip()
                if line:
                    with self.subTest(line):
                        self.assertTrue(line in explained, f"messages.htm lacks: {line}")


def cpp_literals(code):
    """The text of the string literals in `code`, adjacent ones joined, escapes resolved."""
    joined = []
    for match in re.finditer(r'"((?:[^"\\]|\\.)*)"', code):
        text = match.group(1).replace("\\r", "\r").replace("\\n", "\n").replace('\\"', '"')
        text = text.replace("\\\\", "\\")
        between = code[joined[-1][1]:match.start()] if joined else None
        if between is not None and between.strip() == "":
            joined[-1] = (joined[-1][0] + text, match.end())
        else:
            joined.append((text, match.end()))
    return [text for text, _ in joined]


def program_message_texts():
    """Every text the main program and Ondawn put in a message box: the literals in the
    arguments of each MsgBox call, and the named constants those use."""
    sources = {}
    for folder in ("app", "settings", "ui", "setup"):
        for root, _, names in os.walk(os.path.join(REPO, "src", folder)):
            for name in names:
                if name.endswith((".cpp", ".h")):
                    with open(os.path.join(root, name), encoding="utf-8") as f:
                        sources[name] = f.read()
    constants = {}
    for code in sources.values():
        for match in re.finditer(r"\b(k\w+)\s*=\s*((?:\"(?:[^\"\\]|\\.)*\"\s*)+);", code):
            constants[match.group(1)] = "".join(cpp_literals(match.group(2)))
    texts = []
    for code in sources.values():
        for start in (m.end() for m in re.finditer(r"\bMsgBox\(", code)):
            depth, pos = 1, start
            while depth and pos < len(code):
                depth += {"(": 1, ")": -1}.get(code[pos], 0)
                pos += 1
            arguments = code[start:pos - 1]
            texts += cpp_literals(arguments)
            texts += [constants[name] for name in re.findall(r"\b(k\w+)\b", arguments)
                      if name in constants]
    return [text for text in texts if re.search(r"[^\x00-\x7f]", text)]


class XmlResult(unittest.TextTestResult):
    """Keeps the passes for the result file; failures and errors (of subtests too) are kept by
    the base class."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.passes = []

    def addSuccess(self, test):
        super().addSuccess(test)
        self.passes.append((test, None))


def write_xml(path, outcomes):
    root = ET.Element("testsuites", name="generated_files")
    suite = ET.SubElement(root, "testsuite", name="GeneratedFiles")
    failed = 0
    for test, failure in outcomes:
        case = ET.SubElement(suite, "testcase", classname="GeneratedFiles", name=test.id())
        if failure:
            failed += 1
            ET.SubElement(case, "failure", message=failure.splitlines()[-1]).text = failure
    for element in (root, suite):
        element.set("tests", str(len(outcomes)))
        element.set("failures", str(failed))
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    ET.ElementTree(root).write(path, encoding="utf-8", xml_declaration=True)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--xml")
    args = parser.parse_args(argv)
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules[__name__])
    try:
        result = unittest.TextTestRunner(verbosity=2, resultclass=XmlResult).run(suite)
    except Exception:  # a generator that cannot run at all still leaves a result behind
        traceback.print_exc()
        if args.xml:
            write_xml(args.xml, [(unittest.FunctionTestCase(lambda: None, description="setup"),
                                  traceback.format_exc())])
        return 1
    if args.xml:
        write_xml(args.xml, result.passes + result.failures + result.errors)
    return 0 if result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
