#!/usr/bin/env python3
"""Keeps the documents true to the tree and the build they describe.

Usage: docs_test.py SOURCE BUILD CTEST
(the source tree, a native build of it with the programs built, and the ctest
that lists that build's tests)

The documents: every *.md of the tree, and doc/'s man pages and Windows
readme. Each finding is printed as FILE:LINE: what is wrong. They fail where:

- a path of the tree is named that is not there. A path is one of the tree's
  when its first part is a top-level file or folder of the tree that
  .gitignore does not ignore: /usr/..., C:\\..., dist/..., build/..., a
  release's file names and files made at run time (which .gitignore lists)
  are not. A path may be a glob (doc/web-*.png: something must match), or
  name a unit by its stem (cli/drop_main). Markdown links are taken relative
  to their document;
- a CMake preset is named that CMakePresets.json lacks (or hides): in
  `cmake --preset X`, `cmake --build --preset X`, `ctest --preset X`,
  `cmake --workflow --preset X`, in prose as "`X` preset" or "`X` workflow"
  ("the `clang` and `tsan` workflows" too), and in the first column of a
  table headed "Preset";
- a test is named that the build's ctest does not list: "`X` test", where X
  is a test's name, a GoogleTest suite or the program a test runs
  (`unit_tests`), and `ctest -R X`, whose regex must match some test;
- one of our scripts (tools/*.sh, tools/*.py, bench/*.sh) is given a --option
  that its source never mentions;
- a code span in the Printed column of README.md's "Messages and exit
  statuses" table is not what the programs print. In a cell, \\n stands for a line end,
  a word of capitals (ARG, OUTPUT, NAME, N...) for the catalogue's %s, and
  such a word or a number for its %d; the cell must be one catalogue entry
  (cli/messages.cpp), with its line end, or one of the runs of entries the
  programs print together (SEQUENCES);
- the project's version (CMakeLists.txt's project()) is spelled out: other
  documents say VERSION, or a glob, and the man pages are stamped by the build;
- debian/changelog's version is not CMakeLists.txt's;
- README.md's install lines for the static tarball, run on the files
  tools/prelude.sh's static_files lays out (as tools/release.sh packs them),
  put a file elsewhere than in bin, share/man/man1 or share/applications, or
  its uninstall lines leave one. The lines: in README.md's "## Install"
  section, the lines of the fenced blocks (```, indented or not) that hold a
  line starting with `sudo install` or `sudo rm`, a line ending in a
  backslash joined to the next, and the code spans outside fenced blocks. Of
  those, the ones starting with `tar -x`, `cd `, `sudo install` or
  `sudo mkdir` install, run in that order in a folder holding the tarball and
  its unpacked folder; the ones starting with `sudo rm` uninstall. `sudo` is
  dropped, and /usr/local, which the lines must spell out, becomes a scratch
  prefix that holds only bin and share, as a fresh system's does.
  `cmake --install` must lay the same files out.

Before the documents, the rules are tried on the cases of SELF_CASES (over a
small made-up tree) and INSTALL_CASES (over this build's tarball files), so
that a rule that no longer finds anything fails rather than passes.
"""
import fnmatch
import glob
import json
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile

# Runs of catalogue entries a program prints as one message: a refused format
# tag is followed at once by its header error (cli/outcome.cpp).
SEQUENCES = [("format_tag_rejected", "header_error")]

PLACEHOLDER = r"[A-Z][A-Z0-9_]*"
INSTALL_PREFIX = "/usr/local"
# Where each of the static tarball's files belongs under the prefix.
INSTALLED = {
    "halvorine-convert": "bin/halvorine-convert",
    "halvorine-drop": "bin/halvorine-drop",
    "halvorine-convert.1": "share/man/man1/halvorine-convert.1",
    "halvorine-drop.1": "share/man/man1/halvorine-drop.1",
    "halvorine-drop.desktop": "share/applications/halvorine-drop.desktop",
}
PROGRAMS = {"bin/halvorine-convert", "bin/halvorine-drop"}


class Finding:
    def __init__(self, file, line, what):
        self.file, self.line, self.what = file, line, what

    def __str__(self):
        return f"{self.file}:{self.line}: {self.what}" if self.line else f"{self.file}: {self.what}"


def line_of(text, pos):
    return text.count("\n", 0, pos) + 1


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


# ---------------------------------------------------------------- the tree


def cxx_literals(text):
    """The value of adjacent C++ string literals ("a" "b")."""
    escapes = {"n": "\n", "t": "\t", '"': '"', "\\": "\\", "'": "'"}
    value = ""
    for literal in re.findall(r'"((?:[^"\\\n]|\\.)*)"', text):
        value += re.sub(r"\\(.)", lambda m: escapes[m.group(1)], literal)
    return value


def without_comments(source):
    return re.sub(r'("(?:[^"\\\n]|\\.)*")|//[^\n]*', lambda m: m.group(1) or "", source)


class Tree:
    """What the documents are checked against: the tree's files, version,
    presets and messages, and the tests its build lists (from ctest, or given
    as (name, program) pairs)."""

    def __init__(self, source, build, ctest=None, tests=()):
        self.source, self.build = source, build
        self.version = re.search(r"project\(\s*\w+\s+VERSION\s+([0-9.]+)",
                                 read(os.path.join(source, "CMakeLists.txt"))).group(1)
        self.ignores = []
        for pattern in read(os.path.join(source, ".gitignore")).splitlines():
            pattern = pattern.strip()
            if pattern and not pattern.startswith(("#", "!")):
                pattern = pattern.rstrip("/")
                self.ignores.append((pattern.lstrip("/"), "/" in pattern))
        self.top = {name for name in os.listdir(source)
                    if not name.startswith(".") and not self.ignored(name)}
        presets = json.loads(read(os.path.join(source, "CMakePresets.json")))
        self.presets = {kind: {p["name"] for p in presets.get(kind + "Presets", []) if not p.get("hidden")}
                        for kind in ("configure", "build", "test", "workflow")}
        if ctest:
            listing = json.loads(subprocess.run([ctest, "--test-dir", build, "--show-only=json-v1"],
                                                check=True, capture_output=True, text=True).stdout)
            tests = [(t["name"], (t.get("command") or [""])[0]) for t in listing["tests"]]
        self.tests, self.test_names = set(), set()
        for name, program in tests:
            self.tests.add(name)
            self.test_names.update({name, name.split(".")[0]})
            if os.path.abspath(program).startswith(os.path.abspath(build) + os.sep):
                self.test_names.add(os.path.basename(program))
        self.catalogue, self.catalogue_fault = self.read_catalogue()

    def ignored(self, path):
        parts = path.strip("/").split("/")
        for i in range(len(parts)):
            for pattern, anchored in self.ignores:
                if fnmatch.fnmatchcase("/".join(parts[:i + 1]) if anchored else parts[i], pattern):
                    return True
        return False

    def read_catalogue(self):
        cpp = without_comments(read(os.path.join(self.source, "cli/messages.cpp")))
        hpp = without_comments(read(os.path.join(self.source, "cli/messages.hpp")))
        entries = {}
        for m in re.finditer(r'Entry\{\s*Message::(\w+)\s*,\s*((?:"(?:[^"\\\n]|\\.)*"\s*)+),\s*(true|false)\s*\}',
                             cpp):
            entries[m.group(1)] = cxx_literals(m.group(2)) + ("\n" if m.group(3) == "true" else "")
        declared = re.findall(r"(\w+)\s*,", re.search(r"enum class Message\s*\{([^}]*)\}", hpp).group(1) + ",")
        fault = None
        if set(declared) != set(entries):
            fault = (f"read {len(entries)} catalogue entries for the {len(declared)} messages of "
                     f"cli/messages.hpp: this check no longer reads the catalogue's form")
        return entries, fault

    def message_patterns(self):
        """Each message the programs print as a whole, as a regex over a table cell."""
        def pattern(text):
            out = ""
            for piece in re.split(r"(%[sd])", text):
                out += {"%s": PLACEHOLDER, "%d": f"(?:{PLACEHOLDER}|[0-9]+)"}.get(piece, re.escape(piece))
            return out
        runs = [(name,) for name in self.catalogue] + SEQUENCES
        return [(run, re.compile("".join(pattern(self.catalogue[n]) for n in run))) for run in runs]


# ---------------------------------------------------------- the documents


def documents(tree):
    found = []
    for folder, dirs, files in os.walk(tree.source):
        rel = os.path.relpath(folder, tree.source)
        rel = "" if rel == "." else rel + "/"
        # debian/ is packaging, and a build folder in the tree (the Debian
        # build's) holds no documents of ours.
        dirs[:] = sorted(d for d in dirs if not d.startswith(".") and not tree.ignored(rel + d)
                         and rel + d != "debian"
                         and not os.path.exists(os.path.join(folder, d, "CMakeCache.txt")))
        for name in sorted(files):
            if name.endswith(".md") and not tree.ignored(rel + name):
                found.append(rel + name)
    for path in sorted(glob.glob(os.path.join(tree.source, "doc", "*.1")) +
                       glob.glob(os.path.join(tree.source, "doc", "*.txt"))):
        found.append(os.path.relpath(path, tree.source))
    return found


def plain(rel, text):
    """A man page's text as it reads, its escapes for hyphens and breaks gone."""
    if not rel.endswith(".1"):
        return text
    for escape, value in (("\\-", "-"), ("\\%", ""), ("\\&", ""), ("\\(dq", '"'), ("\\(aq", "'"), ("\\e", "\\")):
        text = text.replace(escape, value)
    return text


def code_spans(text):
    """(start, content) of each Markdown code span, as CommonMark reads it."""
    for m in re.finditer(r"(?<!`)(`+)(?!`)(.+?)(?<!`)\1(?!`)", text, re.S):
        content = m.group(2).replace("\n", " ")
        if len(content) > 2 and content[0] == " " and content[-1] == " " and content.strip():
            content = content[1:-1]
        yield m.start(2), content


PATH = re.compile(r"(?<![\w./\\~:$@-])[\w.*-]+(?:/[\w.*-]*)+")


def check_paths(tree, rel, text, out):
    for m in PATH.finditer(text):
        path = m.group(0).rstrip(".,:")
        if path.split("/")[0] not in tree.top or tree.ignored(path):
            continue
        full = os.path.join(tree.source, path)
        there = glob.glob(full) if "*" in path else (
            os.path.isdir(full) if path.endswith("/") else os.path.exists(full) or glob.glob(glob.escape(full) + ".*"))
        if not there:
            out.append(Finding(rel, line_of(text, m.start()), f"{path} is not in the tree"))
    if rel.endswith(".md"):
        for m in re.finditer(r"\]\(([^)\s]+)\)", text):
            target = m.group(1).split("#")[0]
            if not target or "://" in target or target.startswith("mailto:"):
                continue
            path = os.path.normpath(os.path.join(os.path.dirname(rel), target))
            if not os.path.exists(os.path.join(tree.source, path)):
                out.append(Finding(rel, line_of(text, m.start()),
                                   f"the link {target} leads to {path}, not in the tree"))


def check_presets_and_tests(tree, rel, text, out):
    def preset(kind, name, pos):
        if not re.fullmatch(PLACEHOLDER, name) and name not in tree.presets[kind]:
            out.append(Finding(rel, line_of(text, pos), f"no {kind} preset {name} in CMakePresets.json"))

    for m in re.finditer(r"--preset[= ]+([\w.-]+)", text):
        before = text[text.rfind("\n", 0, m.start()) + 1:m.start()]
        command = list(re.finditer(r"\b(cmake|ctest)\b", before))
        words = before[command[-1].start():] if command else ""
        kind = ("test" if words.startswith("ctest") else "build" if "--build" in words
                else "workflow" if "--workflow" in words else "configure")
        preset(kind, m.group(1), m.start())
    named = r"((?:`[\w.-]+`(?:,\s*(?:and\s+|or\s+)?|\s+(?:and|or)\s+))*`[\w.-]+`)\s+(preset|workflow|test)s?\b"
    for m in re.finditer(named, text):
        for name in re.findall(r"`([\w.-]+)`", m.group(1)):
            if m.group(2) == "test":
                if name not in tree.test_names:
                    out.append(Finding(rel, line_of(text, m.start()), f"no test {name} in this build's ctest"))
            else:
                preset("configure" if m.group(2) == "preset" else "workflow", name, m.start())
    for m in re.finditer(r"\bctest\b[^\n`]*?\s-R\s+['\"]?([^\s'\"`]+)", text):
        if re.fullmatch(PLACEHOLDER, m.group(1)):
            continue
        try:
            matched = any(re.search(m.group(1), t) for t in tree.tests)
        except re.error:
            matched = False
        if not matched:
            out.append(Finding(rel, line_of(text, m.start()), f"ctest -R {m.group(1)} matches no test of this build"))
    for table in tables(text):
        if table["header"] and table["header"][0].strip().lower() == "preset":
            for pos, cells in table["rows"]:
                for name in re.findall(r"`([\w.-]+)`", cells[0]):
                    preset("configure", name, pos)


def check_scripts(tree, rel, text, out):
    for m in re.finditer(r"(?<![\w./-])((?:tools|bench)/[\w.-]+\.(?:sh|py))([^\n`]*)", text):
        script = os.path.join(tree.source, m.group(1))
        if not os.path.isfile(script):
            continue  # check_paths names it
        source, depth = read(script), 0
        for word in m.group(2).split():
            if word in ("&&", "||", ";", "#", ")") or word.startswith("#") or (word == "|" and depth == 0):
                break
            depth += word.count("[") - word.count("]")
            option = re.match(r"[\[(]*(--[\w-]+)", word)
            if option and option.group(1) not in source:
                out.append(Finding(rel, line_of(text, m.start()), f"{m.group(1)} has no option {option.group(1)}"))


def check_version(tree, rel, text, out):
    for m in re.finditer(r"(?<![0-9.])" + re.escape(tree.version) + r"(?![0-9]|\.[0-9])", text):
        out.append(Finding(rel, line_of(text, m.start()),
                           f"spells the version {tree.version}: say VERSION or a glob (CMakeLists.txt holds it)"))


def tables(text):
    """Each Markdown table: its header cells and (position, cells) of each row."""
    found, current = [], None
    pos = 0
    for line in text.splitlines(keepends=True):
        if line.lstrip().startswith("|"):
            cells = split_row(line)
            if current is None:
                current = {"header": cells, "rows": []}
                found.append(current)
            elif not all(re.fullmatch(r"\s*:?-+:?\s*", c) for c in cells):
                current["rows"].append((pos, cells))
        else:
            current = None
        pos += len(line)
    return found


def split_row(line):
    cells, cell, ticks = [], "", 0
    body = line.strip()
    body = body[1:] if body.startswith("|") else body
    i = 0
    while i < len(body):
        c = body[i]
        if c == "`":
            run = len(body[i:]) - len(body[i:].lstrip("`"))
            ticks = 0 if ticks == run else (ticks or run)
            cell += "`" * run
            i += run
            continue
        if c == "\\" and body[i + 1:i + 2] == "|":
            cell += "|"
            i += 2
            continue
        if c == "|" and not ticks:
            cells.append(cell)
            cell = ""
        else:
            cell += c
        i += 1
    if cell.strip():
        cells.append(cell)
    return cells


def check_messages(tree, rel, text, out):
    heading = re.search(r"^#+\s+Messages and exit statuses\s*$", text, re.M)
    table = None
    if heading:
        table = next((t for t in tables(text[heading.end():]) if "Printed" in [h.strip() for h in t["header"]]), None)
    if table is None:
        out.append(Finding(rel, line_of(text, heading.start()) if heading else 0,
                           "no table with a Printed column under \"Messages and exit statuses\""))
        return
    column = [h.strip() for h in table["header"]].index("Printed")
    patterns = tree.message_patterns()
    checked = 0
    for pos, cells in table["rows"]:
        if column >= len(cells):
            continue
        for _, span in code_spans(cells[column]):
            checked += 1
            printed = span.replace("\\n", "\n")
            if not any(p.fullmatch(printed) for _, p in patterns):
                out.append(Finding(rel, line_of(text, heading.end() + pos),
                                   f"`{span}` is not what the programs print (cli/messages.cpp)"))
    if not checked:
        out.append(Finding(rel, line_of(text, heading.start()), "the messages table quotes no message"))


def check_document(tree, rel, text, out):
    text = plain(rel, text)
    check_paths(tree, rel, text, out)
    check_presets_and_tests(tree, rel, text, out)
    check_scripts(tree, rel, text, out)
    check_version(tree, rel, text, out)
    if rel == "README.md":
        check_messages(tree, rel, text, out)


# ------------------------------------------------------------- installing


def install_blocks(text):
    """README.md's install and uninstall lines for the static tarball: (line, command) each."""
    section = re.search(r"^## Install\s*$(.*?)(?=^## |\Z)", text, re.M | re.S)
    if not section:
        return [], []
    body, at = section.group(1), section.start(1)
    commands = []
    for block in re.finditer(r"^[ \t]*```[^\n]*\n(.*?)^[ \t]*```", body, re.M | re.S):
        lines = block.group(1).splitlines(keepends=True)
        if any(line.strip().startswith(("sudo install", "sudo rm")) for line in lines):
            offset, joined = block.start(1), None
            for line in lines:
                # A line ending in a backslash goes on on the next.
                joined = (joined[0], joined[1] + " " + line.strip()) if joined else (offset, line.strip())
                if joined[1].endswith("\\"):
                    joined = (joined[0], joined[1][:-1].rstrip())
                else:
                    commands.append(joined)
                    joined = None
                offset += len(line)
        body = body[:block.start()] + " " * (block.end() - block.start()) + body[block.end():]
    commands += [(pos, span.strip()) for pos, span in code_spans(body)]
    commands = [(line_of(text, at + pos), command) for pos, command in sorted(commands)]
    install = [(n, c) for n, c in commands if c.startswith(("tar -x", "cd ", "sudo install", "sudo mkdir"))]
    uninstall = [(n, c) for n, c in commands if c.startswith("sudo rm")]
    return install, uninstall


def run_lines(lines, folder, prefix):
    script = "\n".join(re.sub(r"(^|[;&|]\s*)sudo\s+", r"\1", line).replace(INSTALL_PREFIX, prefix)
                       for _, line in lines)
    return subprocess.run(["bash", "-euo", "pipefail", "-c", script], cwd=folder, capture_output=True, text=True)


def files_under(folder):
    return {os.path.relpath(os.path.join(d, f), folder) for d, _, fs in os.walk(folder) for f in fs}


UNRELATED = {"bin/unrelated", "share/unrelated"}


def fresh_prefix(work):
    """A stand-in for /usr/local as a fresh system has it: bin and share, and
    in them someone else's file, which neither installing nor removing may
    touch."""
    prefix = tempfile.mkdtemp(dir=work, prefix="prefix.")
    for path in UNRELATED:
        os.makedirs(os.path.join(prefix, os.path.dirname(path)))
        with open(os.path.join(prefix, path), "w") as f:
            f.write("not ours\n")
    return prefix


def check_laid_out(tree, rel, line, what, prefix, layout, out):
    """The files under prefix are the tarball's, each where it belongs."""
    def finding(text):
        out.append(Finding(rel, line, f"{what}: {text}"))
    found = files_under(prefix) - UNRELATED
    wanted = set(INSTALLED.values())
    for path in sorted(wanted - found):
        finding(f"{path} is not installed")
    for path in sorted(found - wanted):
        finding(f"installs {path}, where it does not belong")
    if not UNRELATED <= files_under(prefix):
        finding("removes a file that was there before")
    for name, path in INSTALLED.items():
        full = os.path.join(prefix, path)
        if not os.path.isfile(full):
            continue
        with open(full, "rb") as f, open(os.path.join(layout, name), "rb") as g:
            if f.read() != g.read():
                finding(f"{path} is not the tarball's {name}")
        if bool(os.stat(full).st_mode & stat.S_IXUSR) != (path in PROGRAMS):
            finding(f"{path} is {'not ' * (path in PROGRAMS)}executable")
        if path.endswith(".1") and f'"halvorine-convert {tree.version}"' not in read(full).split("\n")[0]:
            finding(f"{path} does not name version {tree.version}")


class Installs:
    """The static tarball, as tools/prelude.sh's static_files lays it out,
    packed and unpacked in a scratch folder."""

    def __init__(self, tree, work):
        self.tree, self.work = tree, work
        base = f"halvorine-convert-{tree.version}-x86_64-linux"
        self.unpacked, self.layout = os.path.join(work, "unpacked"), os.path.join(work, "unpacked", base)
        os.makedirs(self.layout)
        subprocess.run(["bash", "-c", 'source "$1/tools/prelude.sh" && static_files "$1" "$2" "$3"', "-",
                        tree.source, tree.build, self.layout], check=True)
        subprocess.run(["tar", "-czf", base + ".tar.gz", base], cwd=self.unpacked, check=True)

    def check_readme(self, text, out):
        install, uninstall = install_blocks(text)
        for lines, which in ((install, "install lines (`sudo install ...`)"),
                             (uninstall, "uninstall line (`sudo rm ...`)")):
            if not lines:
                out.append(Finding("README.md", 0, f"no static tarball {which} under \"## Install\""))
        if not install:
            return
        what = "the static tarball's install lines"
        line = next((n for n, c in install if c.startswith("sudo install")), install[0][0])
        prefix = fresh_prefix(self.work)
        done = run_lines(install, self.unpacked, prefix)
        if done.returncode:
            out.append(Finding("README.md", line, f"{what} fail: {done.stderr.strip()}"))
            return
        check_laid_out(self.tree, "README.md", line, what, prefix, self.layout, out)
        if not uninstall:
            return
        done = run_lines(uninstall, self.unpacked, prefix)
        if done.returncode:
            out.append(Finding("README.md", uninstall[0][0], f"the uninstall lines fail: {done.stderr.strip()}"))
        elif files_under(prefix) != UNRELATED:
            out.append(Finding("README.md", uninstall[0][0], "after the uninstall lines the prefix holds "
                               f"{sorted(files_under(prefix))}, not just what was there before"))

    def check_cmake(self, out):
        prefix = fresh_prefix(self.work)
        done = subprocess.run(["cmake", "--install", self.tree.build, "--prefix", prefix],
                              capture_output=True, text=True)
        if done.returncode:
            out.append(Finding("CMakeLists.txt", 0, f"cmake --install fails: {done.stderr.strip()}"))
        else:
            check_laid_out(self.tree, "CMakeLists.txt", 0, "cmake --install", prefix, self.layout, out)


def check_changelog(tree, out):
    first = read(os.path.join(tree.source, "debian/changelog")).split("\n")[0]
    version = re.match(r"\S+ \(([^)]+)\)", first).group(1)
    if version != tree.version:
        out.append(Finding("debian/changelog", 1, f"version {version}, and CMakeLists.txt's is {tree.version}"))


# -------------------------------------------------- the rules, tried first

# A small tree of the same shape, its facts fixed, for the rules to be tried
# on whatever becomes of the real one.
MADE_UP_FILES = {
    "CMakeLists.txt": "project(made_up VERSION 3.4.5 LANGUAGES CXX)\n",
    ".gitignore": "build/\nexamples/halvorine-*.ddc\n/dist/\n",
    "CMakePresets.json": json.dumps({
        "configurePresets": [{"name": n} for n in ("program", "release", "asan", "clang", "tsan", "aarch64", "armhf")]
        + [{"name": "static", "hidden": True}],
        "buildPresets": [{"name": "program"}, {"name": "release"}],
        "testPresets": [{"name": "release"}],
        "workflowPresets": [{"name": n} for n in ("release", "asan", "clang", "tsan")]}),
    "cli/messages.hpp": "enum class Message {\n    usage,\n    banner,\n    output_not_created,\n"
                        "    format_tag_rejected,\n    header_error,  // a comment\n    read_failure,\n"
                        "    drop_usage,\n    drop_clash,\n    drop_summary,\n    drop_failed_run,\n};\n",
    "cli/messages.cpp": "constexpr std::array catalogue{\n"
                        '    Entry{Message::usage, "Give a single filename. (ex sim.wav)", false},\n'
                        '    Entry{Message::banner, "\\n Convert %s to Halvorine format (%s)\\n\\n", false},\n'
                        '    Entry{Message::output_not_created, "Could not open %s\\n", false},\n'
                        '    Entry{Message::format_tag_rejected, "Unknown wFormatTag.", false},\n'
                        '    // "Entry{Message::usage, \\"not this\\", true},"\n'
                        '    Entry{Message::header_error, "Error in .wav file header [%d]", false},\n'
                        '    Entry{Message::read_failure, "\\nERROR: Failed to read input file.", true},\n'
                        '    Entry{Message::drop_usage,\n          "Converts WAV recordings.\\n"\n'
                        '          "Choose \\"Convert to Halvorine (.ddc)\\".",\n          true},\n'
                        '    Entry{Message::drop_clash, "\\nNot converted: %s would replace %s, already made from %s.",'
                        " true},\n"
                        '    Entry{Message::drop_summary, "\\n%d converted, %d failed", true},\n'
                        '    Entry{Message::drop_failed_run, "  %s: %s", true},\n};\n',
    "tools/setup.sh": "",
    "tools/web-check.sh": 'case $1 in --engines) ;; --big | --big-only) ;; esac\n',
    "cli/drop_main.cpp": "",
    "doc/web-during.png": "",
    "doc/interop.md": "",
    "README.md": "",
    "web/README.md": "",
    "tests/docs_test.py": "",
    "examples/sim.wav": "",
}
MADE_UP_TESTS = [("interop", "/usr/bin/python3"), ("docs", "/usr/bin/python3"),
                 ("HeaderTest.Short", "BUILD/tests/unit_tests")]


def made_up_tree(work):
    source = os.path.join(work, "made-up")
    for path, text in MADE_UP_FILES.items():
        os.makedirs(os.path.dirname(os.path.join(source, path)), exist_ok=True)
        with open(os.path.join(source, path), "w") as f:
            f.write(text)
    build = os.path.join(source, "build")
    return Tree(source, build, tests=[(n, p.replace("BUILD", build)) for n, p in MADE_UP_TESTS])


def messages_table(*cells):
    rows = "".join(f"| a case | {cell} | 1 |\n" for cell in cells)
    return f"\n\n## Messages and exit statuses\n\n| Situation | Printed | Status |\n|---|---|---|\n{rows}"


# (document, its text, what the one finding must say, or None when there
# must be none), on the made-up tree.
SELF_CASES = [
    ("CONTRIBUTING.md", "`tools/setup.sh test`, tests/, cli/drop_main, doc/web-*.png", None),
    ("CONTRIBUTING.md", "`tools/set-up.sh test`", "tools/set-up.sh is not"),
    ("CONTRIBUTING.md", "the screenshots, doc/web-*.jpg.", "doc/web-*.jpg is not"),
    ("CONTRIBUTING.md", "see doc/interop.txt.", "doc/interop.txt is not"),
    ("CONTRIBUTING.md", "see cli/drop_mai.", "cli/drop_mai is not"),
    ("doc/halvorine-convert.1", ".I \\%doc/interopp.md", "doc/interopp.md is not"),
    ("CONTRIBUTING.md", "`build/web/site`, examples/halvorine-sim.ddc, /usr/share/doc/halvorine-convert/doc/"
                        "interop.md, ./halvorine-convert_*_amd64.deb, dist/SHA256SUMS, C:\\Program Files\\x, "
                        "halvorine-convert-VERSION-x86_64-linux/halvorine-drop, dir/sim.wav, I/O, 4/3", None),
    ("web/README.md", "[the README](../README.md), [during](../doc/web-during.png), <http://127.0.0.1:8000/>", None),
    ("web/README.md", "[the README](../READ.md)", "READ.md, not in the tree"),
    ("CONTRIBUTING.md", "`cmake --preset program && cmake --build --preset program && ctest --preset release`", None),
    ("CONTRIBUTING.md", "`cmake --workflow --preset asan`, `cmake --workflow --preset NAME`", None),
    ("CONTRIBUTING.md", "`cmake --preset relase`", "no configure preset relase"),
    ("CONTRIBUTING.md", "`cmake --build --preset asan`", "no build preset asan"),
    ("CONTRIBUTING.md", "`ctest --preset asan`", "no test preset asan"),
    ("CONTRIBUTING.md", "`cmake --workflow --preset program`", "no workflow preset program"),
    ("CONTRIBUTING.md", "`cmake --preset static`", "no configure preset static"),
    ("CONTRIBUTING.md", "the `release` preset, the `clang`\nand `tsan` workflows", None),
    ("CONTRIBUTING.md", "the `clang`, `tsan` and `aarch64` workflows", "no workflow preset aarch64"),
    ("CONTRIBUTING.md", "| Preset | What |\n|---|---|\n| `aarch64`, `armhf` | cross |\n", None),
    ("CONTRIBUTING.md", "| Preset | What |\n|---|---|\n| `program`, `riscv64` | cross |\n",
     "no configure preset riscv64"),
    ("CONTRIBUTING.md", "the `interop` test and the `unit_tests` tests, `HeaderTest` tests; `ctest -R 'docs'`", None),
    ("CONTRIBUTING.md", "the `interops` test", "no test interops"),
    ("CONTRIBUTING.md", "`ctest --test-dir build/release -R doc_check`", "matches no test"),
    ("CONTRIBUTING.md", "`ctest -R 'interop(`", "matches no test"),
    ("CONTRIBUTING.md", "`ctest --test-dir build/release -R NAME`", None),
    ("web/README.md", "`tools/web-check.sh [--engines LIST] [--big | --big-only]`", None),
    ("web/README.md", "`tools/web-check.sh --huge`", "has no option --huge"),
    ("README.md", "`halvorine-convert_*_amd64.deb`, `halvorine-convert-VERSION-win64.msi`, 13.4.5.6"
                  + messages_table("`Could not open ARG\\n`"), None),
    ("doc/halvorine-drop.1", '.TH X 1 "" "halvorine-convert 3.4.5"', "spells the version"),
    ("README.md", "`halvorine-convert_3.4.5_amd64.deb`" + messages_table("`Could not open ARG\\n`"),
     "spells the version"),
    ("README.md", "# x\n", "no table with a Printed column"),
    ("README.md", messages_table(
        "`Give a single filename. (ex sim.wav)`", "`\\n Convert ARG to Halvorine format (OUTPUT)\\n\\n`",
        "`Unknown wFormatTag.Error in .wav file header [5]` or `Error in .wav file header [N]`",
        "`\\nERROR: Failed to read input file.\\n`", "the banner only",
        "`\\nNot converted: NAME would replace OUTPUT, already made from EARLIER.\\n`",
        "`\\nN converted, M failed\\n`", "`  NAME: MESSAGE\\n`",
        "`Converts WAV recordings.\\nChoose \"Convert to Halvorine (.ddc)\".\\n`"), None),
    ("README.md", messages_table("`Could not opne ARG\\n`"), "`Could not opne ARG\\n` is not"),
    ("README.md", messages_table("`Could not open ARG`"), "is not what"),
    ("README.md", messages_table("`\\n Convert ARG to Halvorine format (OUTPUT)\\n`"), "is not what"),
    ("README.md", messages_table("`Error in .wav file header [N]\\n`"), "is not what"),
    ("README.md", messages_table("`Error in .wav file header [5]Unknown wFormatTag.`"), "is not what"),
    ("README.md", messages_table("`Could not open ARG, OUTPUT\\n`"), "is not what"),
    ("README.md", messages_table("`Converts WAV recordings.\\n`"), "is not what"),
    ("README.md", messages_table("`Give a single filename. (ex sim.wav)\\n`"), "is not what"),
]


# The install section README.md is to have, and faults made in it: (section,
# what some finding must say, or None when there must be none).
GOOD_INSTALL = """## Install

```sh
tar -xzf halvorine-convert-*-x86_64-linux.tar.gz && cd halvorine-convert-*-x86_64-linux
sudo install -D -t /usr/local/bin halvorine-convert halvorine-drop
sudo install -D -m 644 -t /usr/local/share/man/man1 halvorine-convert.1 halvorine-drop.1
sudo install -D -m 644 -t /usr/local/share/applications halvorine-drop.desktop
```

and to remove them:

```sh
sudo rm /usr/local/bin/halvorine-{convert,drop} /usr/local/share/man/man1/halvorine-{convert,drop}.1 \\
  /usr/local/share/applications/halvorine-drop.desktop
```

## Use
"""
INSTALL_CASES = [
    (GOOD_INSTALL, None),
    ("## Install\n\n`tar -xzf halvorine-convert-*-x86_64-linux.tar.gz` gives a folder; copy the programs: "
     "`sudo install halvorine-convert-*-x86_64-linux/halvorine-* /usr/local/bin/`; "
     "`sudo rm /usr/local/bin/halvorine-*` removes them.\n",
     "installs bin/halvorine-convert.1, where it does not belong"),
    (GOOD_INSTALL.replace("-D -m 644 -t /usr/local/share/man", "-m 644 -t /usr/local/share/man"), "lines fail"),
    (GOOD_INSTALL.replace("-D -m 644 -t /usr/local/share/man", "-D -t /usr/local/share/man"),
     "share/man/man1/halvorine-drop.1 is executable"),
    (GOOD_INSTALL.replace("man/man1 halvorine", "man/man8 halvorine"),
     "share/man/man1/halvorine-drop.1 is not installed"),
    (GOOD_INSTALL.replace(" \\\n  /usr/local/share/applications/halvorine-drop.desktop", ""),
     "after the uninstall lines the prefix holds"),
    (GOOD_INSTALL.replace("sudo rm /usr/local/bin/halvorine-{convert,drop}", "sudo rm -r /usr/local/bin"),
     "after the uninstall lines the prefix holds"),
    (GOOD_INSTALL.split("and to remove")[0], "no static tarball uninstall line"),
]


def self_check(made_up, installs):
    faults = []
    if made_up.catalogue_fault or len(made_up.catalogue) != 10:
        faults.append(f"the made-up catalogue read as {made_up.catalogue}")
    for rel, text, wanted in SELF_CASES:
        found = []
        check_document(made_up, rel, text, found)
        said = "; ".join(map(str, found))
        if wanted is None and found:
            faults.append(f"rule case {text!r} in {rel}: found {said}")
        elif wanted is not None and (len(found) != 1 or wanted not in found[0].what):
            faults.append(f"rule case {text!r} in {rel}: wanted one finding saying {wanted!r}, got {said or 'none'}")
    for text, wanted in INSTALL_CASES:
        found = []
        installs.check_readme(text, found)
        said = "; ".join(map(str, found))
        if (wanted is None and found) or (wanted is not None and not any(wanted in f.what for f in found)):
            faults.append(f"install case {text!r}: wanted {wanted!r}, got {said or 'none'}")
    return faults


def main():
    source, build, ctest = (os.path.abspath(a) if os.sep in a else a for a in sys.argv[1:4])
    tree = Tree(source, build, ctest)
    if tree.catalogue_fault:
        print(f"cli/messages.cpp: {tree.catalogue_fault}")
        return 1
    with tempfile.TemporaryDirectory() as work:
        installs = Installs(tree, work)
        faults = self_check(made_up_tree(work), installs)
        for fault in faults:
            print(f"{__file__}: {fault}")
        if faults:
            return 1
        findings = []
        docs = documents(tree)
        for rel in docs:
            check_document(tree, rel, read(os.path.join(source, rel)), findings)
        check_changelog(tree, findings)
        installs.check_readme(read(os.path.join(source, "README.md")), findings)
        installs.check_cmake(findings)
    for finding in findings:
        print(finding)
    print(f"{len(docs)} documents, {len(SELF_CASES) + len(INSTALL_CASES)} cases of the rules; "
          f"{len(findings)} findings")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
