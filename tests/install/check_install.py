#!/usr/bin/python3
"""Installs the build tree into a temporary prefix and checks every file.

The set of installed files must be exactly the expected one (the programs,
the desktop entry, the icons, the metainfo, every man page of data/man, every
file of docs/manual and the licence), and each file must be usable: programs
are executables, the desktop entry and the metainfo pass their validators and
name installed files, icons have their sizes, man pages format without
warnings and the manual's links and images resolve.
"""

import argparse
import html.parser
import os
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
problems = []


def problem(text):
    problems.append(text)


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, **kwargs)


def files_under(root):
    found = set()
    for folder, _, names in os.walk(root):
        for name in names:
            found.add(os.path.relpath(os.path.join(folder, name), root))
    return found


def expected_files(source, metainfo_name):
    expected = {"bin/korrin", "bin/korrin-batch",
                "share/applications/korrin.desktop",
                "share/icons/hicolor/scalable/apps/korrin.svg",
                "share/metainfo/" + metainfo_name,
                "share/doc/korrin/copyright", "share/doc/korrin/LICENSE"}
    expected |= {f"share/icons/hicolor/{n}x{n}/apps/korrin.png" for n in ICON_SIZES}
    expected |= {"share/man/man1/" + name for name in os.listdir(os.path.join(source, "data/man"))
                 if name.endswith(".1")}
    expected |= {"share/korrin/manual/" + path for path in files_under(os.path.join(source, "docs/manual"))}
    return expected


def check_program(path, prefix):
    with open(path, "rb") as f:
        if f.read(4) != b"\x7fELF":
            problem(f"{path}: not an ELF executable")
    if not os.access(path, os.X_OK):
        problem(f"{path}: not executable")


def check_desktop_entry(path, prefix, installed):
    result = run(["desktop-file-validate", path])
    if result.returncode != 0 or result.stdout.strip():
        problem(f"{path}: desktop-file-validate: {result.stdout}{result.stderr}")
    entry = dict(line.split("=", 1) for line in open(path, encoding="utf-8") if "=" in line)
    program = entry.get("Exec", "").split()[0] if entry.get("Exec") else ""
    if "bin/" + program not in installed:
        problem(f"{path}: Exec names {program!r}, which is not installed")
    icon = entry.get("Icon", "").strip()
    if not any(f.startswith("share/icons/hicolor/") and os.path.splitext(os.path.basename(f))[0] == icon
               for f in installed):
        problem(f"{path}: Icon {icon!r} is not an installed theme icon")


def check_metainfo(path, installed):
    result = run(["appstreamcli", "validate", "--no-net", path])
    if result.returncode != 0:
        problem(f"{path}: appstreamcli validate: {result.stdout}{result.stderr}")
    root = ET.parse(path).getroot()
    component_id = root.findtext("id")
    if os.path.basename(path) != f"{component_id}.metainfo.xml":
        problem(f"{path}: file name does not match the component id {component_id}")
    for launchable in root.iter("launchable"):
        if "share/applications/" + launchable.text not in installed:
            problem(f"{path}: launchable {launchable.text} is not installed")
    for binary in root.iter("binary"):
        if "bin/" + binary.text not in installed:
            problem(f"{path}: binary {binary.text} is not installed")


def check_png(path, size):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        problem(f"{path}: not a PNG file")
        return
    width, height = struct.unpack(">II", head[16:24])
    if (width, height) != (size, size):
        problem(f"{path}: {width}x{height}, expected {size}x{size}")


def check_svg(path):
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError as error:
        problem(f"{path}: {error}")
        return
    if root.tag != "{http://www.w3.org/2000/svg}svg":
        problem(f"{path}: root element is {root.tag}, not svg")


def check_man_page(path):
    result = run(["groff", "-man", "-Tutf8", "-K", "utf8", "-ww", "-z", path])
    if result.returncode != 0 or result.stderr.strip():
        problem(f"{path}: groff: {result.stderr.strip()}")
    name = os.path.basename(path)[:-2]
    th = re.search(r"^\.TH\s+(\S+)\s+1\b", open(path, encoding="utf-8").read(), re.M)
    if not th or th.group(1).lower() != name.lower():
        problem(f"{path}: .TH does not name {name} in section 1")


class PageLinks(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.links = []
        self.ids = set()

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        for key in ("href", "src"):
            if key in attrs and attrs[key]:
                self.links.append(attrs[key])


def check_manual(manual):
    if not os.path.isfile(os.path.join(manual, "index.html")):
        problem(f"{manual}: no index.html")
        return
    pages = {}
    for page in (f for f in files_under(manual) if f.endswith(".html")):
        parser = PageLinks()
        parser.feed(open(os.path.join(manual, page), encoding="utf-8").read())
        pages[page] = parser
    for page, parser in pages.items():
        for link in parser.links:
            if re.match(r"^[a-z]+:", link):
                continue  # an outside address
            target, _, anchor = link.partition("#")
            target_page = os.path.normpath(os.path.join(os.path.dirname(page), target)) if target else page
            if not os.path.isfile(os.path.join(manual, target_page)):
                problem(f"manual/{page}: {link} names no installed file")
            elif anchor and target_page in pages and anchor not in pages[target_page].ids:
                problem(f"manual/{page}: {link} names no anchor in {target_page}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as prefix:
        result = run(["cmake", "--install", args.build, "--prefix", prefix])
        if result.returncode != 0:
            print(result.stdout, result.stderr)
            return 1
        installed = files_under(prefix)
        metainfo = [f for f in installed if f.startswith("share/metainfo/")]
        expected = expected_files(args.source, os.path.basename(metainfo[0]) if metainfo else "?")
        for f in sorted(expected - installed):
            problem(f"not installed: {f}")
        for f in sorted(installed - expected):
            problem(f"installed but not expected: {f}")

        at = lambda f: os.path.join(prefix, f)
        for program in ("bin/korrin", "bin/korrin-batch"):
            if program in installed:
                check_program(at(program), prefix)
        if "share/applications/korrin.desktop" in installed:
            check_desktop_entry(at("share/applications/korrin.desktop"), prefix, installed)
        for f in metainfo:
            check_metainfo(at(f), installed)
        for n in ICON_SIZES:
            f = f"share/icons/hicolor/{n}x{n}/apps/korrin.png"
            if f in installed:
                check_png(at(f), n)
        if "share/icons/hicolor/scalable/apps/korrin.svg" in installed:
            check_svg(at("share/icons/hicolor/scalable/apps/korrin.svg"))
        for f in sorted(f for f in installed if f.startswith("share/man/man1/")):
            check_man_page(at(f))
        check_manual(at("share/korrin/manual"))
        if "share/doc/korrin/LICENSE" in installed:
            if open(at("share/doc/korrin/LICENSE"), "rb").read() != open(os.path.join(args.source, "LICENSE"), "rb").read():
                problem("share/doc/korrin/LICENSE differs from LICENSE")

        version = run([at("bin/korrin-batch"), "--version"])
        if version.returncode != 0 or not version.stdout.strip():
            problem(f"installed korrin-batch --version: {version.returncode} {version.stdout}{version.stderr}")

    for text in problems:
        print(text)
    print(f"{len(installed)} files installed, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
