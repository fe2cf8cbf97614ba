#!/usr/bin/env python3
"""Writes a zip whose bytes depend only on the files' names and contents.

  deterministic-zip.py OUT.zip EPOCH TOP DIR

Every regular file of DIR (no sub-folders) goes in as TOP/<name>, in sorted order, with the
time EPOCH (seconds, as SOURCE_DATE_EPOCH), mode 0644 and no extra fields, so neither the
build's clock, the umask, the file system's order nor the archiver's version shows in it.
"""
import os
import sys
import time
import zipfile


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    out, epoch, top, folder = argv
    try:
        stamp = time.gmtime(int(epoch))[:6]
    except ValueError:
        print(f"deterministic-zip: EPOCH must be whole seconds, not {epoch!r}", file=sys.stderr)
        return 2
    if stamp[0] < 1980:
        print("deterministic-zip: zip cannot hold times before 1980", file=sys.stderr)
        return 2
    names = sorted(n for n in os.listdir(folder) if os.path.isfile(os.path.join(folder, n)))
    if not names:
        print(f"deterministic-zip: no files in {folder}", file=sys.stderr)
        return 1
    # Written beside the target and moved into place, so a failure never leaves half a zip
    # where the last good one was.
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 3
            entry.external_attr = 0o100644 << 16
            with open(os.path.join(folder, name), "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(partial, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
