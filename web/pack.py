#!/usr/bin/env python3
"""Finishes the page's folder SITE once the converter is built, from the
list in SOURCE/files.json: writes the build's version (made of the files the
service worker caches) into the stamped files (the page and its service
worker, with the list of files to cache), and writes bundle.js, which carries
the worker's scripts and the WebAssembly for a page opened as a file, where
the worker cannot load them itself.

Usage: pack.py SOURCE SITE    finish the site
       pack.py --list         print the site's files, one a line"""
import base64
import hashlib
import json
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
STAMP = "@VERSION@"


def files(source=HERE):
    with open(os.path.join(source, "files.json")) as f:
        return json.load(f)["files"]


def having(listing, role):
    return [name for name, roles in listing.items() if role in roles]


def main(source, site):
    listing = files(source)

    def read(name):
        # A stamped file is read from the sources, before its stamp.
        folder = source if "stamped" in listing[name] else site
        with open(os.path.join(folder, name), "rb") as f:
            return f.read()

    digest = hashlib.sha256()
    for name in having(listing, "cached"):
        digest.update(name.encode() + b"\0" + read(name))
    version = digest.hexdigest()[:16]
    for name in having(listing, "stamped"):
        text = read(name).decode().replace(STAMP, version).replace("@FILES@", " ".join(having(listing, "cached")))
        with open(os.path.join(site, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
    # One script: the marker first, so the worker knows where it runs.
    scripts = "'use strict';\nconst halvorineBundled = true;\n" + "".join(
        read(n).decode() + "\n" for n in having(listing, "bundled"))
    wasm = base64.b64encode(read("halvorine.wasm")).decode()
    with open(os.path.join(site, "bundle.js"), "w", encoding="utf-8", newline="\n") as f:
        f.write("'use strict';\n// Made by pack.py for a page opened as a file.\n"
                f"self.halvorineBundle = {{ worker: {json.dumps(scripts)},\n  wasm: '{wasm}' }};\n")


if __name__ == "__main__":
    if sys.argv[1:] == ["--list"]:
        print("\n".join(files()))
    else:
        main(sys.argv[1], sys.argv[2])
