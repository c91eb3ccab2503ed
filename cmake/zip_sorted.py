#!/usr/bin/env python3
"""zip_sorted.py ZIP EPOCH: writes ZIP again with its members in name order, each dated EPOCH in
UTC (a zip's times are local times: UTC is the same for every builder), with its mode and no
extra fields (CPack's zip carries the builder's uid and gid and a second, local time there)."""
import sys
import time
import zipfile

path, epoch = sys.argv[1], int(sys.argv[2])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # a zip cannot date before 1980
with zipfile.ZipFile(path) as packed:
    members = [(info, packed.read(info)) for info in sorted(packed.infolist(), key=lambda i: i.filename)]
with zipfile.ZipFile(path + ".sorted", "w") as out:
    for info, data in members:
        entry = zipfile.ZipInfo(info.filename, stamp)
        entry.create_system = 3  # Unix: the mode below is read
        entry.external_attr = info.external_attr & 0xFFFF0000 | info.external_attr & 0x10
        entry.compress_type = zipfile.ZIP_DEFLATED
        out.writestr(entry, data, compresslevel=9)
