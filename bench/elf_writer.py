"""A minimal writer of big-endian ELF32 relocatable objects for the benchmark corpora."""
import struct

SHT_PROGBITS, SHT_SYMTAB, SHT_STRTAB, SHT_NOBITS = 1, 2, 3, 8
SHF_WRITE, SHF_ALLOC, SHF_EXECINSTR = 0x1, 0x2, 0x4
STB_GLOBAL, STT_OBJECT, STT_FUNC = 1, 1, 2


class StringTable:
    def __init__(self):
        self.data = bytearray(b"\0")
        self.offsets = {}

    def add(self, name):
        if name not in self.offsets:
            self.offsets[name] = len(self.data)
            self.data += name.encode() + b"\0"
        return self.offsets[name]


def write_object(path, sections, symbols):
    """sections: list of (name, type, flags, contents bytes).
    symbols: list of (name, section index (1-based into `sections`), value, size, type)."""
    shstr = StringTable()
    strtab = StringTable()
    body = bytearray(b"\0" * 52)
    headers = [bytes(40)]

    def place(contents):
        while len(body) % 4:
            body.append(0)
        offset = len(body)
        body.extend(contents)
        return offset

    for name, kind, flags, contents in sections:
        offset = place(contents) if kind != SHT_NOBITS else len(body)
        headers.append((shstr.add(name), kind, flags, 0, offset, len(contents), 0, 0, 4, 0))

    symtab = bytearray(16)
    for name, section, value, size, kind in symbols:
        symtab += struct.pack(">IIIBBH", strtab.add(name), value, size, (STB_GLOBAL << 4) | kind, 0, section)
    strtab_index = len(headers)
    headers.append((shstr.add(".strtab"), SHT_STRTAB, 0, 0, place(strtab.data), len(strtab.data), 0, 0, 1, 0))
    headers.append((shstr.add(".symtab"), SHT_SYMTAB, 0, 0, place(symtab), len(symtab), strtab_index, 1, 4, 16))
    shstrndx = len(headers)
    name_offset = shstr.add(".shstrtab")
    headers.append((name_offset, SHT_STRTAB, 0, 0, 0, 0, 0, 0, 1, 0))
    shstr_offset = place(shstr.data)
    headers[-1] = (name_offset, SHT_STRTAB, 0, 0, shstr_offset, len(shstr.data), 0, 0, 1, 0)

    while len(body) % 4:
        body.append(0)
    shoff = len(body)
    for header in headers:
        body += header if isinstance(header, bytes) else struct.pack(">10I", *header)
    ident = b"\x7fELF" + bytes([1, 2, 1]) + bytes(9)
    body[0:52] = ident + struct.pack(">HHIIIIIHHHHHH", 1, 20, 1, 0, 0, shoff, 0, 52, 0, 0, 40, len(headers), shstrndx)
    with open(path, "wb") as out:
        out.write(body)
