#!/usr/bin/env python3
"""Writes the notices of the works of others that the programs link or carry, from the licence
files Debian's packages install (/usr/share/doc/<package>/copyright), so that nobody copies a
licence by hand.

Usage:
  make_notices.py --list tools/third-party-notices.list --platform linux|windows --out NOTICES
                  [--license LICENSE --debian-copyright COPYRIGHT]

NOTICES gets, for each line of the list that names the platform, the work's name, its version,
what it is in the program and the package's copyright file in full. With --debian-copyright it
also writes the Debian package's copyright file: the program's own licence, then the same notices.
A package that is not installed stops the build with its name (install it, or drop its line).
"""
import argparse
import os
import re
import subprocess
import sys

RULE = "=" * 78


def read_list(path, platform):
    """(name, package, what) for each line of the list that names the platform."""
    works = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = [field.strip() for field in line.split("|")]
            if len(fields) != 4 or not all(fields):
                sys.exit(f"{path}:{number}: want 'name | package | platforms | what it is'")
            name, package, platforms, what = fields
            if platform in platforms.split():
                works.append((name, package, what))
    return works


def upstream_version(package):
    """The upstream part of the installed package's version: no epoch, no Debian revision, no
    repacking suffix (+dfsg, +ds)."""
    result = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package], capture_output=True, text=True)
    if result.returncode != 0 or not result.stdout:
        sys.exit(f"make_notices: the package {package} is not installed; its notices come from it")
    version = result.stdout.split(":", 1)[-1]
    version = re.sub(r"-[^-]*$", "", version)
    return re.sub(r"[+.](dfsg|ds)[^+]*", "", version)


def notices(works):
    contents = "".join(f"  {name} {upstream_version(package)}: {what}\n" for name, package, what in works)
    parts = [
        "Vellumry contains, or is linked with, the following works of others:\n\n" + contents + "\n"
        "Below, each with its copyright and licence notices in full.\n"
    ]
    for name, package, what in works:
        path = os.path.join("/usr/share/doc", package, "copyright")
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                text = f.read().rstrip() + "\n"
        except OSError as error:
            sys.exit(f"make_notices: {path}: {error.strerror}")
        parts.append(f"{RULE}\n{name} {upstream_version(package)}: {what}\n{RULE}\n\n{text}")
    return "\n".join(parts)


def write(path, text):
    # Only a changed file makes what embeds it build again.
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except OSError:
        pass
    with open(path + ".tmp", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(path + ".tmp", path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", required=True)
    parser.add_argument("--platform", required=True, choices=["linux", "windows"])
    parser.add_argument("--out", required=True)
    parser.add_argument("--license")
    parser.add_argument("--debian-copyright")
    args = parser.parse_args()
    text = notices(read_list(args.list, args.platform))
    write(args.out, text)
    if args.debian_copyright:
        with open(args.license, encoding="utf-8") as f:
            own = f.read()
        write(args.debian_copyright,
              "Vellumry: shows a picture as if painted with a brush on textured paper.\n\n"
              f"Vellumry's own code is under the MIT licence:\n\n{own}\n{text}")


if __name__ == "__main__":
    main()
