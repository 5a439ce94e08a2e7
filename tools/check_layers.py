#!/usr/bin/env python3
"""check_layers.py LAYER MAY STAMP FILE...: the build's check that includes run downward.

Each folder of the program is a layer, and a layer may include its own headers and those of the
layers it links (MAY: a comma-separated list, as its target_link_libraries names them). An
`#include "folder/..."` of any other layer of ours is an arrow running upward or sideways: it is
printed as FILE:LINE with the offending include, and the build stops. With no offence the stamp
file is touched, so the check runs again only when one of the files changes.
"""
import os
import re
import sys

LAYERS = ("base", "gl", "filedialog", "picture", "settings", "render", "ui", "app")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z_]+)/[^"]+"')


def main(argv):
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    layer, may, stamp, files = argv[0], argv[1], argv[2], argv[3:]
    allowed = {layer} | {name for name in may.split(",") if name}
    offences = []
    for path in files:
        with open(path, encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if match and match.group(1) in LAYERS and match.group(1) not in allowed:
                    offences.append("%s:%d: error: %s/ may not include %s (it may use: %s)" % (
                        path, number, layer, line.strip().split('"')[1], ", ".join(sorted(allowed - {layer})) or
                        "nothing of ours"))
    if offences:
        sys.stderr.write("\n".join(offences) + "\n")
        return 1
    with open(stamp, "w"):
        pass
    os.utime(stamp)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
