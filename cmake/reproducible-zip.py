"""Packs files into a ZIP whose bytes depend on their names and contents alone: the files in the
order given, all in one folder, with one date and one set of permissions, no owners or extra
fields, and stored rather than compressed, so that no compression library's version shows.

Usage: reproducible-zip.py ZIP EPOCH FOLDER PREFIX NAME...
EPOCH (seconds since 1970, UTC) dates every file; a ZIP cannot hold dates before 1980.
"""
import os
import sys
import time
import zipfile

EARLIEST = 315532800  # 1980-01-01 00:00:00 UTC


def main(zip_path, epoch, folder, prefix, *names):
    date_time = time.gmtime(max(int(epoch), EARLIEST))[:6]
    partial = zip_path + ".part"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in names:
            info = zipfile.ZipInfo(prefix + "/" + name, date_time)
            info.compress_type = zipfile.ZIP_STORED
            info.create_system = 3  # Unix: fixed permissions, read for all, write for the owner
            info.external_attr = 0o100644 << 16
            with open(os.path.join(folder, name), "rb") as file:
                archive.writestr(info, file.read())
    os.replace(partial, zip_path)


if __name__ == "__main__":
    if len(sys.argv) < 6:
        sys.exit(__doc__)
    main(*sys.argv[1:])
