// Inbreeding by sire against ancestor paths and the tabular relationship
// matrix, on every pedigree shape the statistics meet; the same bytes on one
// thread and two; the method chosen for a herd book.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "measures/analysis.h"
#include "relationship/inbreeding_by_paths.h"
#include "relationship/inbreeding_by_sires.h"
#include "tests/stats_pedigrees.h"

namespace {

using pedsim::pedigree::AnimalIndex;
using pedsim::pedigree::Pedigree;
using pedsim::pedigree::unknown;

// Draws in [0, n) from one fixed sequence, the same on every library.
class Draws {
public:
    explicit Draws(std::uint64_t seed) : engine_(seed) {}
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(engine_() % n); }

private:
    std::mt19937_64 engine_;
};

// A herd book of `years` birth years of `births` each, the first founders:
// each later birth has one of `sires` sires born 2 to 8 years before (new
// ones every year, each used for 3 years) and a dam born 1 to 8 years before;
// one sire and one dam in `unknown_every` unknown.
Pedigree herd_book(int years, int births, int sires, std::size_t unknown_every, std::uint64_t seed)
{
    Draws draws(seed);
    Pedigree pedigree;
    std::vector<std::vector<AnimalIndex>> active(static_cast<std::size_t>(years));
    for (int year = 0; year < years; ++year) {
        const auto first = static_cast<std::size_t>(std::max(0, year - 8) * births);
        const auto before = static_cast<std::size_t>(year * births);
        const auto old_enough = static_cast<std::size_t>(std::max(1, year - 1) * births);
        for (int k = 0; year > 0 && k < sires / 3 + 1; ++k) {
            const auto sire = static_cast<AnimalIndex>(first + draws.below(old_enough - first));
            for (int use = year; use < std::min(years, year + 3); ++use)
                active[static_cast<std::size_t>(use)].push_back(sire);
        }
        for (int b = 0; b < births; ++b) {
            pedigree.names.push_back(std::to_string(pedigree.size()));
            pedigree.generation.push_back(year);
            const auto& these = active[static_cast<std::size_t>(year)];
            pedigree.sire.push_back(year == 0 || draws.below(unknown_every) == 0
                                        ? unknown
                                        : these[draws.below(these.size())]);
            pedigree.dam.push_back(
                year == 0 || draws.below(unknown_every) == 0
                    ? unknown
                    : static_cast<AnimalIndex>(first + draws.below(before - first)));
        }
    }
    return pedigree;
}

// `animals` animals, each after the first `founders` with a sire and a dam
// drawn among all animals before it (a parent may be used long after its own
// birth, by any animal), one parent in `unknown_every` unknown; with
// `selfing`, one in ten is its own parent's selfed offspring.
Pedigree random_pedigree(std::size_t animals, std::size_t founders, std::size_t unknown_every,
                         bool selfing, std::uint64_t seed)
{
    Draws draws(seed);
    Pedigree pedigree;
    for (std::size_t i = 0; i < animals; ++i) {
        pedigree.names.push_back(std::to_string(i));
        pedigree.generation.push_back(0);
        const auto parent = [&] {
            return i < founders || draws.below(unknown_every) == 0
                       ? unknown
                       : static_cast<AnimalIndex>(draws.below(i));
        };
        pedigree.sire.push_back(parent());
        pedigree.dam.push_back(selfing && draws.below(10) == 0 ? pedigree.sire.back() : parent());
    }
    return pedigree;
}

// One sire of everything: the founder sire 0 mates with every female, its
// daughters and granddaughters among them, over `generations` generations.
Pedigree one_sire(int generations, int dams)
{
    std::string lines = "s 0 0\n";
    for (int d = 0; d < dams; ++d) lines += "g0d" + std::to_string(d) + " 0 0\n";
    for (int g = 1; g <= generations; ++g)
        for (int d = 0; d < dams; ++d)
            lines += "g" + std::to_string(g) + "d" + std::to_string(d) + " s g" +
                     std::to_string(g - 1) + "d" + std::to_string((d * 7 + g) % dams) + "\n";
    return stats_test::written_pedigree(lines);
}

struct Shape {
    const char* what;
    Pedigree pedigree;
};

std::vector<Shape> shapes()
{
    std::vector<Shape> all;
    const auto add = [&](const char* what, Pedigree pedigree) {
        all.push_back({what, std::move(pedigree)});
    };
    add("full sibs for six generations",
        stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 2\n5 3 4\n6 3 4\n7 5 6\n8 5 6\n"
                                     "9 7 8\n10 7 8\n11 9 10\n12 9 10\n13 11 12\n14 11 12\n"));
    add("sire mated with its daughter and granddaughter",
        stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 3\n5 1 4\n6 5 3\n"));
    add("sire reused a generation later, dams unknown",
        stats_test::written_pedigree("1 0 0\n2 0 0\n3 1 2\n4 1 2\n5 3 4\n6 3 5\n7 3 0\n8 0 6\n"
                                     "9 7 8\n"));
    add("one sire of everything", one_sire(6, 40));
    add("herd book, overlapping generations", herd_book(12, 120, 9, 30, 1));
    add("herd book, many unknown parents", herd_book(10, 100, 12, 4, 2));
    // Many sires of a few offspring each over many years: each sire's mates
    // need a small part of the sires and ancestors born since its oldest
    // ancestor, which are then computed alone.
    add("deep herd book of many sires", herd_book(30, 60, 45, 40, 11));
    add("random parents of any age", random_pedigree(900, 20, 15, false, 3));
    add("random parents with selfing", random_pedigree(700, 10, 20, true, 4));
    add("pedsim flock", stats_test::simulated_pedigree({6, 5, 20, 3, 4, 10, 2, 271828}));
    return all;
}

// The same within-family variance follows from the same F; both are checked.
TEST(StatsSires, AgreesWithPathsAndTheTabularMatrix)
{
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.what);
        const Pedigree& pedigree = shape.pedigree;
        const auto by_sires = pedsim::relationship::inbreeding_by_sires(pedigree, {});
        const auto by_paths = pedsim::relationship::inbreeding_by_paths(pedigree, {});
        const auto a = stats_test::tabular_relationships(pedigree);
        ASSERT_EQ(by_sires.inbreeding.size(), pedigree.size());
        double largest = 0;
        for (std::size_t i = 0; i < pedigree.size(); ++i) {
            ASSERT_NEAR(by_sires.inbreeding[i], by_paths.inbreeding[i], 1e-12) << i;
            ASSERT_NEAR(by_sires.inbreeding[i], a[i][i] - 1, 1e-12) << i;
            ASSERT_NEAR(by_sires.mendelian_variance[i], by_paths.mendelian_variance[i], 1e-12);
            largest = std::max(largest, by_sires.inbreeding[i]);
        }
        EXPECT_GT(largest, 0.05);  // the shape is inbred enough to test something
    }
}

TEST(StatsSires, SameBytesOnOneThreadAndTwo)
{
    const Shape cases[] = {
        {"herd book", herd_book(20, 400, 30, 50, 5)},
        {"random parents", random_pedigree(5000, 50, 20, false, 6)},
    };
    for (const Shape& c : cases) {
        SCOPED_TRACE(c.what);
        const auto one = pedsim::relationship::inbreeding_by_sires(c.pedigree, {}, 1);
        const auto two = pedsim::relationship::inbreeding_by_sires(c.pedigree, {}, 2);
        ASSERT_EQ(one.inbreeding.size(), two.inbreeding.size());
        EXPECT_EQ(std::memcmp(one.inbreeding.data(), two.inbreeding.data(),
                              one.inbreeding.size() * sizeof(double)),
                  0);
    }
}

// Herd books go by sire, those of many sires with a few offspring each too
// (the members their mates need are few); pedsim's pedigrees keep the
// carried matrix; small pedigrees and random parents keep tracing.
TEST(StatsSires, ChosenForHerdBooks)
{
    const Shape cases[] = {
        {"indirect", herd_book(16, 800, 40, 50, 7)},
        {"Meuwissen", herd_book(10, 200, 20, 50, 8)},
        {"Meuwissen", random_pedigree(12000, 100, 20, false, 9)},
        {"indirect", herd_book(12, 1000, 900, 50, 10)},
        {"discrete", stats_test::simulated_pedigree({6, 5, 20, 3, 4, 10, 2, 271828})},
    };
    for (const Shape& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string method = pedsim::measures::analyse(c.pedigree, {}, {}).method;
        EXPECT_EQ(method.substr(0, std::strlen(c.what)), c.what);
    }
}

}  // namespace
