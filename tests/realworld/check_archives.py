#!/usr/bin/env python3
"""Runs quorlix on the real archives of the Debian cross toolchains (PowerPC,
big-endian, and i386, little-endian), each archive alone and all of them
together, and compares the output with a list derived independently from
llvm-readelf's view of the same archives.

The derivation applies the tool's rules to what llvm-readelf prints: members
are registered in command-line and file order, an object byte for byte equal
to one registered before it is left out with a note, and the symbol walk runs
from the last registered object to the first. A name is exported when it has
a strong global definition (the first strong one met wins) in an allocated
section, in the common block or at the thread-local index 0xFF03, unless
some definition of it lies in a ".ghs.linkonce" section, or the name begins
with "__sti__" or '.', or contains "..". The demangled column is our
demangler's and is not compared; everything else is, line by line.

Exits 77 (a skip for CTest) when none of the archives is installed.
"""

import argparse
import glob
import os
import re
import subprocess
import sys

SKIP = 77
FOLDERS = [
    "/usr/powerpc-linux-gnu/lib",
    "/usr/i686-linux-gnu/lib",
    "/usr/lib/gcc-cross/powerpc-linux-gnu/*",
    "/usr/lib/gcc-cross/i686-linux-gnu/*",
]
LEAST_INPUT_SIZE = 260
SHN_THREAD_LOCAL = 0xFF03
SHN_COMMON = 0xFFF2
SHF_ALLOC_LETTER = "A"
SHF_EXECINSTR_LETTER = "X"
SHT_SKIP_OBJECT_NAMES = {"LOUSER+0x2", "0x80000002"}

# Validation codes, for the report of a real member that validation refuses.
DEFECTS = {
    0x01: "a symbol table's sh_link is not below e_shnum",
    0x02: "a symbol table's sh_link names a section that is not SHT_STRTAB",
    0x03: "a symbol table holds no whole entry",
    0x04: "a symbol's st_name is not below the size of its string table",
    0x05: "a symbol's st_shndx is not below e_shnum",
    0x06: "an STT_OBJECT symbol lies in a non-empty SHF_ALLOC section of type SHT_NULL",
    0x07: "an STT_OBJECT symbol reaches outside its section",
    0x08: "an STT_FUNC symbol lies in a non-empty SHF_ALLOC section of type SHT_NULL",
    0x09: "an STT_FUNC symbol reaches outside its section",
    0x0A: "an SHT_RELA table holds no whole entry",
    0x0B: "an SHT_RELA table's sh_link is not below e_shnum",
    0x0C: "an SHT_RELA table's sh_link names a section that is not SHT_SYMTAB",
    0x0D: "an SHT_RELA table's sh_info is not below e_shnum",
    0x0E: "an SHT_RELA table for an SHT_NULL section fails the all-zero test",
    0x0F: "an SHT_RELA entry's symbol index is not below the symbol count",
    0x11: "an SHT_REL table holds no whole entry",
    0x12: "an SHT_REL table's sh_link is not below e_shnum",
    0x13: "an SHT_REL table's sh_link names a section that is not SHT_SYMTAB",
    0x14: "an SHT_REL table's sh_info is not below e_shnum",
    0x15: "an SHT_REL table for an SHT_NULL section fails the all-zero test",
    0x16: "an SHT_REL entry's symbol index is not below the symbol count",
    0x17: "an SHT_REL entry's r_offset is not below the size of its target section",
    0x18: "the image is shorter than 260 bytes",
    0x19: "the image does not begin with the ELF magic",
    0x1A: "EI_CLASS is not 1",
    0x1B: "EI_VERSION is above 1",
    0x1C: "e_machine is 0",
    0x1D: "e_version is not 1",
    0x1E: "no more than 208 bytes follow the ELF header",
    0x1F: "e_phoff lies inside the ELF header or past the image",
    0x20: "e_shoff lies inside the ELF header or past the image",
    0x21: "e_shstrndx is not below e_shnum",
    0x22: "the program header table runs past the image",
    0x23: "the section header table runs past the image",
    0x24: "a section's contents begin inside the ELF header",
    0x25: "a placed section's contents run past the image",
    0x26: "a section's contents begin inside the program header table",
    0x27: "a section's contents begin inside the section header table",
    0x28: "a section's contents begin inside a higher-numbered section",
    0x29: "a placed segment's contents run past the image",
    0x2A: "e_shstrndx names a section that is not SHT_STRTAB",
    0x2B: "a section's sh_name is not below the size of the section-name table",
    0x2C: "e_ehsize is between 1 and 51",
    0x2D: "a symbol table's entry size is below 16",
    0x2E: "an SHT_RELA table's entry size is below 12",
    0x2F: "the symbol table of an SHT_RELA table has an entry size below 16",
    0x30: "an SHT_REL table's entry size is below 8",
    0x31: "the symbol table of an SHT_REL table has an entry size below 16",
    0x32: "a segment begins inside a higher-numbered segment",
    0x33: "e_phentsize is between 1 and 31",
    0x34: "e_shentsize is between 1 and 39",
    0x35: "e_shoff is 0 while e_shnum is above 1",
    0x36: "a size word lies outside the image",
    0x37: "a table converted in place reaches into the section header table",
}

# Real members that validation refuses, with the rule that refuses them:
# "archive path(member name)" -> (code, why). None are known today.
KNOWN_REJECTIONS = {}


class Failure(Exception):
    pass


# ---- Archives as the tool reads them ------------------------------------------


class Member:
    def __init__(self, archive, name, data):
        self.archive = archive
        self.name = name
        self.data = data
        self.sections = []  # (name, type, flags, link) by index
        self.symbol_tables = []  # (section index, [(bind, ndx, name)])

    def label(self):
        return "%s(%s)" % (self.archive, self.name)


def qualifies(name):
    """The character after the last '.' at index 1 or more is 'o' or 'O'."""
    dot = name.rfind(".")
    return dot >= 1 and dot + 1 < len(name) and name[dot + 1] in "oO"


def read_members(path):
    """Every named member in file order, by the plain "!<arch>" rules."""
    data = open(path, "rb").read()
    members = []
    long_names = b""
    position = 8
    while position + 60 <= len(data):
        header = data[position : position + 60]
        if header[58:60] != b"`\n":
            raise Failure("%s: damaged member header at %d" % (path, position))
        size = int(header[48:58].split()[0])
        start = position + 60
        field = header[:16].rstrip(b" ")
        name = None
        if field == b"//":
            long_names = data[start : start + size]
        elif field.startswith(b"/") and field[1:].isdigit():
            offset = int(field[1:])
            name = long_names[offset:].split(b"/")[0]
        elif field != b"/" and field.endswith(b"/"):
            name = field[:-1]
        if name:
            members.append(Member(path, name.decode("latin-1"), data[start : start + size]))
        position = start + size + (size & 1)
    return members


# ---- llvm-readelf's view ----------------------------------------------------------

SECTION_RE = re.compile(
    r"^\s*\[\s*(\d+)\]\s(?P<name>.*?)\s+(?P<type>\S+)\s+[0-9a-f]{8}\s+[0-9a-f]{6,}\s+[0-9a-f]{6,}\s+"
    r"[0-9a-f]{2,}\s+(?P<flags>[A-Za-z]*)\s+(?P<link>\d+)\s+\d+\s+\d+$"
)
SYMBOL_RE = re.compile(
    r"^\s*\d+:\s+[0-9a-f]+\s+\S+\s+\S+\s+(?P<bind>\S+)\s+(?:DEFAULT|INTERNAL|HIDDEN|PROTECTED)"
    r"(?:\s+\[[^\]]*\])?\s+(?P<ndx>\S+) ?(?P<name>.*)$"
)


def section_index(text):
    if text == "UND":
        return 0
    if text == "ABS":
        return 0xFFF1
    if text == "COM":
        return SHN_COMMON
    bracket = re.match(r"^[A-Z]+\[(0x[0-9a-f]+)\]$", text)
    if bracket:
        return int(bracket.group(1), 16)
    return int(text)


def read_elf_view(readelf, path, members):
    """Fills each member's sections and symbol tables from llvm-readelf."""
    output = subprocess.run(
        [readelf, "--wide", "--section-headers", "--symbols", path],
        check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
    ).stdout.decode("latin-1")
    blocks = output.split("\nFile: ")
    blocks[0] = blocks[0][len("File: ") :] if blocks[0].startswith("File: ") else blocks[0]
    blocks = [b for b in blocks if b.strip()]
    elf_members = [m for m in members if m.data[:4] == b"\x7fELF"]
    if len(blocks) != len(elf_members):
        raise Failure("%s: llvm-readelf shows %d members, the archive has %d" % (path, len(blocks), len(elf_members)))
    for member, block in zip(elf_members, blocks):
        title, _, body = block.partition("\n")
        if title != "%s(%s)" % (path, member.name):
            raise Failure("member order differs: %r against %s" % (title, member.label()))
        table = None
        for line in body.split("\n"):
            section = SECTION_RE.match(line)
            if section and table is None:
                index = int(section.group(1))
                if index != len(member.sections):
                    raise Failure("%s: section %d out of order" % (member.label(), index))
                flags = section.group("flags")
                if "o" in flags:
                    raise Failure("%s: OS-specific section flags cannot be told apart here" % member.label())
                member.sections.append((section.group("name"), section.group("type"), flags, int(section.group("link"))))
                continue
            if line.startswith("Symbol table '"):
                symtab_indexes = [i for i, s in enumerate(member.sections) if s[1] == "SYMTAB"]
                table = (symtab_indexes[len(member.symbol_tables)], [])
                member.symbol_tables.append(table)
                continue
            symbol = SYMBOL_RE.match(line) if table is not None else None
            if symbol:
                table[1].append((symbol.group("bind"), section_index(symbol.group("ndx")), symbol.group("name")))


# ---- The expected run -------------------------------------------------------------


def name_attributes(name, section_name):
    attributes = 0
    if section_name is not None and section_name.startswith(".ghs.linkonce"):
        attributes |= 1
    if name.startswith("__sti__"):
        attributes |= 2
    if ".." in name:
        attributes |= 4
    return attributes


def expected_run(archives, by_archive):
    """(expected output lines, expected exit code) of one run."""
    registered = []
    for path in archives:
        if os.path.getsize(path) < LEAST_INPUT_SIZE:
            continue  # the driver passes over small files without a word
        registered += [m for m in by_archive[path] if qualifies(m.name)]
    if not registered:
        return ["", "ERROR: quorlix requires library or object files. Return -1."], 255

    earlier_copy = [None] * len(registered)
    last_seen = {}
    for i, member in enumerate(registered):
        earlier_copy[i] = last_seen.get(member.data)
        last_seen[member.data] = i

    notes = ""
    records = {}  # name -> [weak, attributes, member, ndx]
    for i in reversed(range(len(registered))):
        member = registered[i]
        if earlier_copy[i] is not None:
            earlier = registered[earlier_copy[i]]
            if earlier.name != member.name:
                notes += ('!!!WARNING: Exact same object file specified under two different names:\n'
                          '    "%s" and "%s"\n.' % (earlier.name, member.name))
            elif earlier.archive != member.archive:
                notes += '!!!INFO: File "%s" is in two input files:\n    "%s" and "%s".\n' % (
                    member.name, earlier.archive, member.archive)
            continue
        if any(s[1] in SHT_SKIP_OBJECT_NAMES for s in member.sections):
            continue
        for index, symbols in member.symbol_tables:
            if index == 0 or member.sections[index][3] == 0:
                continue
            for bind, ndx, name in symbols:
                if bind not in ("GLOBAL", "WEAK") or ndx == 0:
                    continue
                section_name = member.sections[ndx][0] if ndx < len(member.sections) else None
                weak = bind == "WEAK"
                attributes = name_attributes(name, section_name)
                record = records.get(name)
                if record is None:
                    records[name] = [weak, attributes, member, ndx]
                    continue
                record[1] |= attributes
                if record[0] and not weak:
                    record[0], record[2], record[3] = False, member, ndx

    code, nobits, other = [], [], []
    for name, (weak, attributes, member, ndx) in records.items():
        if weak or attributes or name.startswith("."):
            continue
        if ndx < len(member.sections):
            section = member.sections[ndx]
            if SHF_ALLOC_LETTER not in section[2]:
                continue
            if SHF_EXECINSTR_LETTER in section[2]:
                code.append(name)
            elif section[1] == "NOBITS":
                nobits.append((name, False))
            else:
                other.append((name, False))
        elif ndx in (SHN_COMMON, SHN_THREAD_LOCAL):
            other.append((name, ndx == SHN_THREAD_LOCAL))

    lines = notes.split("\n")
    if not records or not (code or nobits or other):
        return lines[:-1] + ([lines[-1]] if lines[-1] else []), 0
    lines[-1] += "; Generated Export List"
    lines += ["", "[CODE]"] + sorted(code) + ["", "[DATA]"]
    heading_tls = False
    for group in (sorted(nobits), sorted(other)):
        for name, tls in group:
            if tls != heading_tls:
                lines += ["", "[TLS]" if tls else "[DATA]"]
                heading_tls = tls
            lines.append(name)
    return lines, 0


def export_line_matches(actual, name):
    """The name, its blanks up to the next multiple of 40 columns, "; "."""
    return actual.startswith(name + " " * (40 - len(name) % 40) + "; ")


def compare(label, actual_text, expected_lines, code_names):
    actual = actual_text.split("\n")
    if actual and actual[-1] == "":
        actual.pop()
    for number, expected in enumerate(expected_lines):
        if number >= len(actual):
            raise Failure("%s: output ends at line %d; expected %r" % (label, number + 1, expected))
        line = actual[number]
        is_export = expected not in ("", "[CODE]", "[DATA]", "[TLS]") and not expected.startswith(
            ("!!!", "    ", ".", "; Generated", "ERROR:"))
        if is_export and export_line_matches(line, expected):
            continue
        if not is_export and line == expected:
            continue
        raise Failure("%s: line %d is %r; expected %s %r" % (
            label, number + 1, line, "the export line of" if is_export else "", expected))
    if len(actual) > len(expected_lines) and not expected_lines[-1].startswith("ERROR:"):
        raise Failure("%s: %d lines more than expected, from %r" % (
            label, len(actual) - len(expected_lines), actual[len(expected_lines)]))


def run_tool(quorlix, ghs_root, archives):
    environment = dict(os.environ, GHS_ROOT=ghs_root)
    result = subprocess.run([quorlix] + archives, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=environment)
    return result.returncode, result.stdout.decode("latin-1"), result.stderr.decode("latin-1")


def explain_rejection(output):
    found = re.search(r'\*\*\* Error 0x(BAD000[0-9A-F]{2}) parsing ELF file "([^"]*)"', output)
    if not found:
        return None
    code = int(found.group(1), 16)
    return found.group(2), code, DEFECTS.get(code & 0xFF, "no such code")


def check(label, archives, by_archive, quorlix, ghs_root):
    status, out, err = run_tool(quorlix, ghs_root, archives)
    rejection = explain_rejection(out)
    if rejection:
        member, code, why = rejection
        known = [k for k, v in KNOWN_REJECTIONS.items() if k.endswith("(%s)" % member) and v[0] == code]
        print("REJECTED %s: member %s, code 0x%08X: %s%s" % (
            label, member, code, why, "" if not known else " (known: %s)" % KNOWN_REJECTIONS[known[0]][1]))
        if known:
            return
        raise Failure("%s: validation refused the real member %s with 0x%08X (%s)" % (label, member, code, why))
    if err:
        raise Failure("%s: standard error: %s" % (label, err[:2000]))
    expected, expected_status = expected_run(archives, by_archive)
    if status != expected_status:
        raise Failure("%s: exit status %d, expected %d; output begins:\n%s" % (label, status, expected_status, out[:2000]))
    compare(label, out, expected, None)
    exports = sum(1 for line in expected if line and not line.startswith(("!!!", "    ", ".", ";", "[", "ERROR")))
    print("ok %s: exit %d, %d lines, %d exports" % (label, status, len(expected), exports))


def installed_archives():
    archives = []
    for pattern in FOLDERS:
        for folder in sorted(glob.glob(pattern)):
            for path in sorted(glob.glob(os.path.join(folder, "*.a"))):
                with open(path, "rb") as file:
                    if file.read(8) == b"!<arch>\n":
                        archives.append(path)
    return archives


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--quorlix", required=True)
    parser.add_argument("--ghs-root", required=True)
    parser.add_argument("--readelf", default="llvm-readelf")
    options = parser.parse_args()

    archives = installed_archives()
    if not archives:
        print("SKIP: none of the cross toolchains' archives is installed under " + ", ".join(FOLDERS))
        return SKIP

    by_archive = {}
    for path in archives:
        members = read_members(path)
        if members:
            read_elf_view(options.readelf, path, members)
        by_archive[path] = members
    print("%d archives, %d members" % (len(archives), sum(len(m) for m in by_archive.values())))

    failures = []
    runs = [(path, [path]) for path in archives] + [("all %d archives together" % len(archives), archives)]
    for label, inputs in runs:
        try:
            check(label, inputs, by_archive, options.quorlix, options.ghs_root)
        except Failure as failure:
            print("FAIL " + str(failure))
            failures.append(label)
    print("%d passed, %d failed" % (len(runs) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as failure:
        print("FAIL " + str(failure))
        sys.exit(1)
