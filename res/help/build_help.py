#!/usr/bin/env python3
"""Compiles the help sources into Tavoro.chm.

Usage: build_help.py PROJECT.hhp OUTPUT.chm [--chmcmd PATH]

The sources are kept in UTF-8. The help viewer of Japanese Windows reads the contents, the
index and the pages in the ANSI code page, so each text file is converted to Shift_JIS
(Windows code page 932) in a work folder beside OUTPUT, and every page's "charset=UTF-8"
declaration becomes "charset=Shift_JIS"; chmcmd (Free Pascal's compiler, Debian's fp-utils)
then compiles that folder. A character code page 932 cannot hold, or a page without its
charset declaration, stops the build with the file and line named.

chmcmd stamps the file with the time of the build, in two places; both are cleared, so the
same sources always give the same bytes.
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys

TEXT_SUFFIXES = (".htm", ".html", ".hhc", ".hhk", ".hhp", ".css")
PAGE_SUFFIXES = (".htm", ".html", ".hhc", ".hhk")
CHARSET_UTF8 = re.compile(r"charset=UTF-8", re.IGNORECASE)


class HelpError(Exception):
    pass


def project_files(project_path):
    """The files the project names: contents, index and everything under [FILES]."""
    section = None
    names = []
    with open(project_path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith(";"):
                continue
            if line.startswith("[") and line.endswith("]"):
                section = line[1:-1].upper()
                continue
            if section == "OPTIONS" and "=" in line:
                key, value = (part.strip() for part in line.split("=", 1))
                if key.lower() in ("contents file", "index file"):
                    names.append(value)
            elif section == "FILES":
                names.append(line)
    return names


def to_code_page(name, text):
    """`text` of source file `name` in code page 932, its charset declaration rewritten."""
    if name.lower().endswith(PAGE_SUFFIXES):
        text, count = CHARSET_UTF8.subn("charset=Shift_JIS", text)
        if count != 1 and name.lower().endswith((".htm", ".html")):
            raise HelpError(f"{name}: needs exactly one charset=UTF-8 declaration, has {count}")
    try:
        return text.encode("cp932")
    except UnicodeEncodeError as error:
        line = text.count("\n", 0, error.start) + 1
        bad = text[error.start:error.end]
        raise HelpError(f"{name}:{line}: {bad!r} (U+{ord(bad[0]):04X}) has no Shift_JIS form")


def convert(source_dir, project_name, work_dir):
    """Fills `work_dir` with the project and its files, text files in code page 932."""
    if os.path.isdir(work_dir):
        shutil.rmtree(work_dir)
    os.makedirs(work_dir)
    for name in [project_name] + project_files(os.path.join(source_dir, project_name)):
        source = os.path.join(source_dir, name)
        target = os.path.join(work_dir, name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        if not os.path.isfile(source):
            raise HelpError(f"{name}: named by {project_name} but missing")
        if not name.lower().endswith(TEXT_SUFFIXES):
            shutil.copyfile(source, target)
            continue
        with open(source, "rb") as f:
            raw = f.read()
        try:
            text = raw.decode("utf-8")
        except UnicodeDecodeError as error:
            line = raw.count(b"\n", 0, error.start) + 1
            raise HelpError(f"{name}:{line}: not UTF-8")
        with open(target, "wb") as f:
            f.write(to_code_page(name, text))


def _encint(data, pos):
    """A CHM directory number: big-endian groups of 7 bits, the high bit saying more follow."""
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if not byte & 0x80:
            return value, pos


def directory(data):
    """The CHM's directory: {name: (section, offset, length)}."""
    if data[:4] != b"ITSF" or struct.unpack_from("<I", data, 4)[0] != 3:
        raise HelpError("chmcmd wrote no version 3 ITSF file")
    listing_at = struct.unpack_from("<Q", data, 0x48)[0]
    if data[listing_at:listing_at + 4] != b"ITSP":
        raise HelpError("no ITSP directory in the compiled file")
    header_size, _, chunk_size = struct.unpack_from("<III", data, listing_at + 8)
    chunk_number = struct.unpack_from("<i", data, listing_at + 0x20)[0]
    entries = {}
    seen = set()
    while chunk_number != -1 and chunk_number not in seen:
        seen.add(chunk_number)
        chunk = listing_at + header_size + chunk_number * chunk_size
        if data[chunk:chunk + 4] != b"PMGL":
            raise HelpError(f"directory chunk {chunk_number} is not a listing chunk")
        free, _, _, next_chunk = struct.unpack_from("<IIiI", data, chunk + 4)
        pos, end = chunk + 0x14, chunk + chunk_size - free
        while pos < end:
            length, pos = _encint(data, pos)
            name = data[pos:pos + length].decode("utf-8")
            pos += length
            section, pos = _encint(data, pos)
            offset, pos = _encint(data, pos)
            size, pos = _encint(data, pos)
            entries[name] = (section, offset, size)
        chunk_number = struct.unpack("<i", struct.pack("<I", next_chunk))[0]
    return entries


def clear_build_time(data):
    """Clears the build time in the file header and in the #SYSTEM record 10."""
    data = bytearray(data)
    data[0x10:0x14] = bytes(4)
    section, offset, size = directory(data).get("/#SYSTEM", (None, 0, 0))
    if section != 0:
        raise HelpError("no uncompressed /#SYSTEM in the compiled file")
    start = struct.unpack_from("<Q", data, 0x58)[0] + offset
    pos, end = start + 4, start + size
    while pos + 4 <= end:
        code, length = struct.unpack_from("<HH", data, pos)
        if code == 10:
            data[pos + 4:pos + 4 + min(length, 4)] = bytes(min(length, 4))
        pos += 4 + length
    return bytes(data)


def compiled_name(project_path):
    with open(project_path, encoding="utf-8") as f:
        for line in f:
            key, _, value = line.partition("=")
            if key.strip().lower() == "compiled file":
                return value.strip()
    raise HelpError(f"{project_path}: no 'Compiled file' option")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("project")
    parser.add_argument("output")
    parser.add_argument("--chmcmd", default="chmcmd")
    args = parser.parse_args(argv)

    source_dir, project_name = os.path.split(os.path.abspath(args.project))
    output = os.path.abspath(args.output)
    work_dir = output + ".work"
    try:
        convert(source_dir, project_name, work_dir)
        result = subprocess.run([args.chmcmd, "--no-html-scan", project_name], cwd=work_dir,
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                errors="replace")
        compiled = os.path.join(work_dir, compiled_name(args.project))
        # chmcmd reports some problems only in its output, with a zero exit code.
        if result.returncode != 0 or re.search(r"\berror\b", result.stdout, re.IGNORECASE) or \
                not os.path.isfile(compiled):
            raise HelpError(f"chmcmd failed ({result.returncode}):\n{result.stdout}")
        with open(compiled, "rb") as f:
            data = clear_build_time(f.read())
        partial = output + ".partial"
        with open(partial, "wb") as f:
            f.write(data)
        os.replace(partial, output)
    except (HelpError, OSError) as error:
        print(f"build_help: {error}", file=sys.stderr)
        return 1
    shutil.rmtree(work_dir, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
