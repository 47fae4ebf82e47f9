// libFuzzer target: each input is the text of a pedigree file for
// pedsim-stats.
//
// The reader must either refuse the text with a pedsim::Failure or return a
// Pedigree that keeps its contract: one entry per animal in every vector,
// parents before offspring, unique names none of which marks an unknown
// parent, added founders without parents, and, when no generation column is
// given, the generations the parents imply. Any other exception escapes and
// libFuzzer reports it; a broken property aborts with a message.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unordered_set>

#include "common/failure.h"
#include "pedigree_fields.h"
#include "pedigree_reader.h"

namespace {

using pedsim::stats::AnimalIndex;
using pedsim::stats::Pedigree;
using pedsim::stats::unknown;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "pedigree_reader_fuzz: %s\n", what.c_str());
    std::abort();
}

void check_sizes(const Pedigree& p)
{
    if (p.sire.size() != p.size() || p.dam.size() != p.size() || p.generation.size() != p.size())
        fail("the vectors differ in size");
    if (p.size() == 0) fail("a pedigree without animals was accepted");
    if (p.founders_added > p.size()) fail("more founders added than animals");
}

void check_names(const Pedigree& p)
{
    std::unordered_set<std::string_view> seen;
    for (const std::string& name : p.names) {
        if (pedsim::stats::is_unknown(name)) fail("an animal named like an unknown parent");
        if (!seen.insert(name).second) fail("animal \"" + name + "\" stands twice");
    }
}

// Parents before offspring, never the animal itself; both parents known or
// not, a sire never a dam.
void check_parents(const Pedigree& p)
{
    std::vector<char> role(p.size(), 0);
    for (std::size_t i = 0; i < p.size(); ++i) {
        for (const auto& [parent, as] : {std::pair{p.sire[i], 's'}, std::pair{p.dam[i], 'd'}}) {
            if (parent == unknown) continue;
            if (parent < 0 || parent >= static_cast<AnimalIndex>(i))
                fail("a parent does not stand before its offspring");
            char& r = role[static_cast<std::size_t>(parent)];
            if (r != 0 && r != as) fail("an animal is both a sire and a dam");
            r = as;
        }
    }
}

// Without a generation column: 0 for a founder, else 1 + the latest parent's.
void check_derived_generations(const Pedigree& p)
{
    for (std::size_t i = 0; i < p.size(); ++i) {
        std::int64_t latest = -1;
        for (const AnimalIndex parent : {p.sire[i], p.dam[i]})
            if (parent != unknown)
                latest = std::max(latest, p.generation[static_cast<std::size_t>(parent)]);
        if (p.generation[i] != latest + 1) fail("a derived generation is wrong");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Pedigree pedigree;
    try {
        pedigree = pedsim::stats::read_pedigree(text, "fuzz");
    } catch (const pedsim::Failure& failure) {
        if (failure.status() != pedsim::ExitStatus::bad_parameter_file)
            fail(std::string("a refusal with another exit status: ") + failure.what());
        return 0;  // the program's own refusal: a message and a non-zero exit
    }
    check_sizes(pedigree);
    check_names(pedigree);
    check_parents(pedigree);
    if (!pedigree.generation_given) check_derived_generations(pedigree);
    return 0;
}
