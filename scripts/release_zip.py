#!/usr/bin/env python3
"""Writes the release ZIP with the same bytes on every build: the files in the order given,
under one folder, each with the same time (the commit's) and no owner or mode bits.
    release_zip.py OUT.zip FOLDER EPOCH FILE..."""
import os
import sys
import time
import zipfile

out, folder, epoch, *files = sys.argv[1:]
# ZIP times are local times without a zone and start in 1980: UTC, never earlier.
stamp = time.gmtime(max(int(epoch), 315532800))[:6]
with zipfile.ZipFile(out, "w") as archive:
    for path in files:
        info = zipfile.ZipInfo(f"{folder}/{os.path.basename(path)}", stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 0  # MS-DOS attributes, so no builder's uid or umask shows
        info.external_attr = 0x20  # "archive", as Windows writes it
        with open(path, "rb") as data:
            archive.writestr(info, data.read(), compresslevel=9)
