#!/usr/bin/env python3
"""Writes the inputs of pedsim-stats' reading benchmark into DIR (default .):

  rows_20m.txt        20 million rows "i 0 0", numbered from 1 (249 MB)
  parents_5m.txt      2.5 million rows whose 5 million parents have no row (64 MB)
  commas_100m.txt     one line of 100 million commas
  blank_20m.txt       20 million blank lines (20 MB)
  herd_book_1m.csv    a real-shaped herd book of 1,000,000 animals: 25 birth
                      years of 40,000, sires among 300 males and dams among
                      20,000 females born 1 to 4 years before, 2% of sires and
                      1% of dams unknown, rows shuffled, random identifiers

Usage: make_reader_inputs.py [DIR]
"""
import os
import random
import sys


def write_lines(path, lines):
    with open(path, "w") as out:
        for chunk_start in range(0, len(lines), 1 << 16):
            out.write("".join(lines[chunk_start:chunk_start + (1 << 16)]))


def numbered_rows(path, count):
    with open(path, "w") as out:
        step = 1 << 16
        for start in range(1, count + 1, step):
            out.write("".join(f"{i} 0 0\n" for i in range(start, min(start + step, count + 1))))


def parents_without_rows(path, count):
    with open(path, "w") as out:
        step = 1 << 16
        for start in range(0, count, step):
            out.write("".join(f"c{i:07d} s{i:07d} d{i:07d}\n"
                              for i in range(start, min(start + step, count))))


def herd_book(path, years=25, births=40_000, sires=300, dams=20_000):
    rng = random.Random(20240607)
    sire, dam, year, male = [], [], [], []
    for y in range(years):
        recent = [a for a in range(len(year)) if year[a] >= y - 4]
        males = [a for a in recent if male[a]]
        females = [a for a in recent if not male[a]]
        chosen_sires = rng.sample(males, min(sires, len(males)))
        chosen_dams = rng.sample(females, min(dams, len(females)))
        for _ in range(births):
            founder = y == 0
            sire.append(-1 if founder or rng.randrange(50) == 0 else rng.choice(chosen_sires))
            dam.append(-1 if founder or rng.randrange(100) == 0 else rng.choice(chosen_dams))
            year.append(y)
            male.append(rng.randrange(2) == 0)
    ids = list(range(len(year)))
    rows = list(range(len(year)))
    rng.shuffle(ids)
    rng.shuffle(rows)

    def name(a):
        return "0" if a < 0 else str(10_000_000 + ids[a])

    lines = ["animal,sire,dam,year\n"]
    lines += [f"{name(a)},{name(sire[a])},{name(dam[a])},{year[a]}\n" for a in rows]
    write_lines(path, lines)


def main():
    directory = sys.argv[1] if len(sys.argv) > 1 else "."
    os.makedirs(directory, exist_ok=True)
    at = lambda name: os.path.join(directory, name)
    numbered_rows(at("rows_20m.txt"), 20_000_000)
    parents_without_rows(at("parents_5m.txt"), 2_500_000)
    with open(at("commas_100m.txt"), "w") as out:
        out.write("," * 100_000_000 + "\n")
    with open(at("blank_20m.txt"), "w") as out:
        out.write("\n" * 20_000_000)
    herd_book(at("herd_book_1m.csv"))


if __name__ == "__main__":
    main()
