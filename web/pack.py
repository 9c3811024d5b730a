#!/usr/bin/env python3
"""Finishes the page's folder SITE from what the build made in MADE (the
bundled scripts and the converter's WebAssembly), by the list in
SOURCE/files.json: copies them in, writes the build's version (made of the
files the service worker caches) into the stamped files (the page and its
service worker, with the list of files to cache), and writes bundle.js,
which carries the worker and the WebAssembly for a page opened as a file,
where the worker cannot load them itself.

Usage: pack.py SOURCE MADE SITE    finish the site
       pack.py --list              print the site's files, one a line"""
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


def main(source, made, site):
    listing = files(source)

    def read(name, folder=None):
        if folder is None:
            # A stamped file is read from where it comes from, before its stamp.
            roles = listing[name]
            folder = site if "stamped" not in roles else made if "bundled" in roles else source
        with open(os.path.join(folder, name), "rb") as f:
            return f.read()

    def write(name, data):
        with open(os.path.join(site, name), "wb") as f:
            f.write(data)

    for name in listing:
        if name != "bundle.js" and ({"bundled", "made"} & set(listing[name])) and "stamped" not in listing[name]:
            write(name, read(name, made))
    digest = hashlib.sha256()
    for name in having(listing, "cached"):
        digest.update(name.encode() + b"\0" + read(name))
    version = digest.hexdigest()[:16]
    for name in having(listing, "stamped"):
        text = read(name).decode().replace(STAMP, version).replace("@FILES@", " ".join(having(listing, "cached")))
        write(name, text.encode())
    wasm = base64.b64encode(read("halvorine.wasm")).decode()
    worker = json.dumps(read("worker.js").decode())
    write("bundle.js", ("'use strict';\n// Made by pack.py for a page opened as a file.\n"
                        f"self.halvorineBundle = {{ worker: {worker},\n  wasm: '{wasm}' }};\n").encode())


if __name__ == "__main__":
    if sys.argv[1:] == ["--list"]:
        print("\n".join(files()))
    else:
        main(*sys.argv[1:4])
