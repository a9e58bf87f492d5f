#!/usr/bin/env python3
"""Makes a benchmark payload: a folder tree of generated files, the same bytes on every run.

Usage: make_payload.py KIND OUTPUT_DIR
  typical  600 files in 15 folders, about 25 MB: source-like text and incompressible binary files mixed, sizes
           spread from half a kilobyte to a few hundred kilobytes
  small    10,000 files of 1-8 KB in 50 folders, mostly text
OUTPUT_DIR is emptied first. Prints the number of files and bytes written.
"""
import os
import random
import shutil
import sys

WORDS = ("begin end procedure function var const type class private public property read write inherited "
         "result integer string boolean begin if then else for to do while repeat until case of with try "
         "finally except raise nil self create destroy free index count items value name caption width height "
         "left top color font grid chart series axis column row cell draw paint update invalidate").split()
TEXT_EXTENSIONS = [".pas", ".dfm", ".inc", ".txt", ".dpk", ".cpp", ".h"]
BINARY_EXTENSIONS = [".dcu", ".bpl", ".res", ".bmp", ".obj", ".dll"]


def text_lines(rng, count):
    lines = []
    for _ in range(count):
        indent = "  " * rng.randint(0, 4)
        lines.append(indent + " ".join(rng.choices(WORDS, k=rng.randint(2, 12))) + ";\r\n")
    return lines


def text_bytes(rng, pool, size):
    chunks, length = [], 0
    while length < size:
        batch = rng.choices(pool, k=64)
        chunks.extend(batch)
        length += sum(len(line) for line in batch)
    return "".join(chunks).encode("ascii")[:size]


def folders(kind, rng):
    if kind == "typical":
        names = ["source", "source\\grid", "source\\charts", "units", "units\\d5", "units\\d6", "packages", "help",
                 "demo", "demo\\grid", "demo\\charts", "demo\\data", "bin", "res", "doc"]
    else:
        names = []
        for top in range(10):
            names.append("part%02d" % top)
            names.extend("part%02d\\sub%d" % (top, sub) for sub in range(4))
    return names


def plan(kind, rng):
    """(relative path, size, is text) for every file."""
    names = folders(kind, rng)
    files = []
    if kind == "typical":
        sizes = [int(512 * (600 ** rng.random())) for _ in range(600)]  # log-uniform, 0.5 KB to 300 KB
        scale = 25 * 1024 * 1024 / sum(sizes)
        sizes = [max(256, int(size * scale)) for size in sizes]
        text_share = 0.6
    else:
        sizes = [rng.randint(1024, 8192) for _ in range(10000)]
        text_share = 0.8
    for index, size in enumerate(sizes):
        is_text = rng.random() < text_share
        extension = rng.choice(TEXT_EXTENSIONS if is_text else BINARY_EXTENSIONS)
        folder = names[index % len(names)]
        files.append(("%s\\file%05d%s" % (folder, index, extension), size, is_text))
    return files


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("typical", "small"):
        sys.exit(__doc__)
    kind, output = sys.argv[1], sys.argv[2]
    rng = random.Random(kind)
    pool = text_lines(rng, 4000)
    if os.path.exists(output):
        shutil.rmtree(output)
    total = 0
    files = plan(kind, rng)
    for relative, size, is_text in files:
        path = os.path.join(output, *relative.split("\\"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        data = text_bytes(rng, pool, size) if is_text else rng.randbytes(size)
        with open(path, "wb") as handle:
            handle.write(data)
        total += size
    print("%s: %d files, %d bytes" % (kind, len(files), total))


if __name__ == "__main__":
    main()
