#!/usr/bin/env python3
"""Writes a real-shaped pedigree, as a herd book exports it, for the
benchmarks of pedsim-stats: ANIMALS animals born over YEARS birth years, the
first year's founders; each later birth has a sire among a few hundred males
chosen that year and used very unequally (weights 1, 1/2, 1/3, ...), and a
dam drawn among the females born 1 to 8 years before; 2% of sires and 1% of
dams are unknown. Identifiers are shuffled numbers; the fourth column is the
birth year. The same arguments always give the same file."""

import argparse
import itertools
import random
import sys


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("animals", type=int, help="number of animals, e.g. 10000000")
    parser.add_argument("--years", type=int, default=30, help="birth years (default 30)")
    parser.add_argument("--sires", type=int, default=300, help="sires used per year (default 300)")
    parser.add_argument("--oldest", type=int, default=8, help="oldest parent's age (default 8)")
    parser.add_argument("--seed", type=int, default=20240607, help="random seed")
    parser.add_argument("-o", "--output", default="-", help="output file (default: standard output)")
    return parser.parse_args()


def main():
    options = arguments()
    generator = random.Random(options.seed)
    births = options.animals // options.years
    weights = list(itertools.accumulate(1 / (k + 1) for k in range(options.sires)))
    males, females = [], []  # per birth year, the animals of each sex
    sire, dam, year = [], [], []
    for y in range(options.years):
        first = len(year)
        if y == 0:
            sire += [-1] * births
            dam += [-1] * births
        else:
            window = range(max(0, y - options.oldest), y)
            male_pool = [a for w in window for a in males[w]]
            female_pool = [a for w in window for a in females[w]]
            chosen = generator.sample(male_pool, min(options.sires, len(male_pool)))
            sire += generator.choices(chosen, cum_weights=weights[: len(chosen)], k=births)
            dam += generator.choices(female_pool, k=births)
            for a in range(first, first + births):
                r = generator.random()
                if r < 0.02:
                    sire[a] = -1
                elif r < 0.03:
                    dam[a] = -1
        year += [y] * births
        animals = list(range(first, first + births))
        generator.shuffle(animals)
        males.append(animals[: births // 2])
        females.append(animals[births // 2 :])
    identifier = list(range(10_000_000, 10_000_000 + len(year)))
    generator.shuffle(identifier)
    name = lambda a: "0" if a < 0 else str(identifier[a])
    out = sys.stdout if options.output == "-" else open(options.output, "w")
    out.write("animal sire dam year\n")
    lines = (f"{identifier[a]} {name(sire[a])} {name(dam[a])} {2000 + year[a]}\n" for a in range(len(year)))
    for chunk in iter(lambda: list(itertools.islice(lines, 100_000)), []):
        out.writelines(chunk)
    out.close()


if __name__ == "__main__":
    main()
