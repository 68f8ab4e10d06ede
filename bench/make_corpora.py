"""Makes the benchmark corpora under a build folder. Each corpus is a folder holding its inputs and a
response file `inputs.rsp` that lists them (one argument per line)."""
import glob
import os
import shutil
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

from elf_writer import SHF_ALLOC, SHF_EXECINSTR, SHF_WRITE, SHT_PROGBITS, STT_FUNC, STT_OBJECT, write_object

CROSS_ARCHIVE_DIRS = ["/usr/powerpc-linux-gnu/lib", "/usr/lib/gcc-cross/powerpc-linux-gnu"]


def write_list(folder, inputs):
    with open(os.path.join(folder, "inputs.rsp"), "w") as out:
        out.write("".join(path + "\n" for path in inputs))


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def is_archive(path):
    with open(path, "rb") as f:
        return f.read(8) == b"!<arch>\n"


def cross_archives(root):
    """(a) every real big-endian PowerPC archive of the cross packages."""
    folder = fresh(os.path.join(root, "a-cross-archives"))
    archives = []
    for base in CROSS_ARCHIVE_DIRS:
        for path in sorted(glob.glob(os.path.join(base, "**", "*.a"), recursive=True)):
            if os.path.isfile(path) and not os.path.islink(path) and is_archive(path):
                archives.append(path)
    if not archives:
        sys.exit("no PowerPC cross archives found: install libc6-dev-powerpc-cross libstdc++-12-dev-powerpc-cross")
    write_list(folder, archives)


CPP_UNITS = 64
CPP_CLASSES_PER_UNIT = 40
CPP_METHODS_PER_CLASS = 60


def cpp_unit_source(unit):
    lines = [f"namespace corpus_library_{unit:03d} {{ namespace implementation_details {{"]
    for c in range(CPP_CLASSES_PER_UNIT):
        cls = f"GeneratedComponent{unit:03d}x{c:03d}"
        lines.append(f"struct {cls} {{")
        for m in range(CPP_METHODS_PER_CLASS):
            lines.append(f"  long ComputeStatisticNumber{m:03d}(int first, const char* second, double third, unsigned long fourth);")
        lines.append("};")
        for m in range(CPP_METHODS_PER_CLASS):
            lines.append(
                f"long {cls}::ComputeStatisticNumber{m:03d}(int first, const char* second, double third, unsigned long fourth)"
                f" {{ return first + second[{m % 7}] + (long)third + (long)fourth + {m}; }}")
        lines.append(f"int table_of_values_{unit:03d}_{c:03d}[{c + 1}];")
    lines.append("} }")
    return "\n".join(lines) + "\n"


def compile_unit(args):
    source, obj = args
    subprocess.run(["clang++", "--target=powerpc-linux-gnu", "-O0", "-ffunction-sections", "-fdata-sections",
                    "-c", source, "-o", obj], check=True)


def cpp_library(root):
    """(b) a generated C++ library with long mangled names, one archive."""
    folder = fresh(os.path.join(root, "b-cpp-library"))
    jobs = []
    for unit in range(CPP_UNITS):
        source = os.path.join(folder, f"unit{unit:03d}.cpp")
        with open(source, "w") as out:
            out.write(cpp_unit_source(unit))
        jobs.append((source, os.path.join(folder, f"unit{unit:03d}.o")))
    with ThreadPoolExecutor(max_workers=os.cpu_count() or 2) as pool:
        list(pool.map(compile_unit, jobs))
    archive = os.path.join(folder, "libgenerated.a")
    subprocess.run(["llvm-ar", "rcs", archive] + [obj for _, obj in jobs], check=True)
    for source, obj in jobs:
        os.remove(source)
        os.remove(obj)
    write_list(folder, [archive])


def many_sections(root):
    """(c) one object with about 60,000 sections, one function in each."""
    folder = fresh(os.path.join(root, "c-many-sections"))
    count = 60000
    sections = [(f".text.function_{i:05d}", SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, b"\x4e\x80\x00\x20")
                for i in range(count)]
    symbols = [(f"function_{i:05d}", i + 1, 0, 4, STT_FUNC) for i in range(count)]
    path = os.path.join(folder, "sections.o")
    write_object(path, sections, symbols)
    write_list(folder, [path])


def small_object(path, serial):
    """Objects of equal size whose names and contents differ."""
    text = serial.to_bytes(4, "big") * 16
    data = (serial * 2654435761 % 2**32).to_bytes(4, "big") * 8
    sections = [(".text", SHT_PROGBITS, SHF_ALLOC | SHF_EXECINSTR, text),
                (".data", SHT_PROGBITS, SHF_ALLOC | SHF_WRITE, data)]
    symbols = [(f"routine_{serial:06d}", 1, 0, 64, STT_FUNC), (f"helper_{serial:06d}", 1, 32, 32, STT_FUNC),
               (f"variable_{serial:06d}", 2, 0, 32, STT_OBJECT)]
    write_object(path, sections, symbols)


def many_objects(root):
    """(d) 20,000 small objects of equal size, through a response file."""
    folder = fresh(os.path.join(root, "d-many-objects"))
    inputs = []
    for serial in range(20000):
        path = os.path.join(folder, f"object{serial:05d}.o")
        small_object(path, serial)
        inputs.append(path)
    write_list(folder, inputs)


def duplicated_objects(root):
    """(e) 2,000 objects given twice under two folder names."""
    folder = fresh(os.path.join(root, "e-duplicates"))
    inputs = {"first": [], "second": []}
    for serial in range(2000):
        for copy in ("first", "second"):
            os.makedirs(os.path.join(folder, copy), exist_ok=True)
            path = os.path.join(folder, copy, f"object{serial:04d}.o")
            small_object(path, serial)
            inputs[copy].append(path)
    write_list(folder, inputs["first"] + inputs["second"])


def main():
    root = sys.argv[1]
    os.makedirs(root, exist_ok=True)
    for make in (cross_archives, cpp_library, many_sections, many_objects, duplicated_objects):
        marker = os.path.join(root, make.__name__ + ".done")
        if os.path.exists(marker):
            continue
        print(f"making corpus {make.__name__} ...", flush=True)
        make(root)
        open(marker, "w").close()


if __name__ == "__main__":
    main()
