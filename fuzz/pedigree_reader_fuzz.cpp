// libFuzzer target: each input is the contents of a pedigree file for
// pedsim-stats, plain, gzip or zstd. An input starting "@@" then a byte of
// flags and a line end reads with options: 1 --selfing, 2 --header, 4
// --no-header, 8 --unknown unknown,?, 16 --columns 2,1,3, 32 --columns
// id=id,sire=sire,dam=dam.
//
// The reader must either refuse the text with a pedsim::Failure or return a
// Pedigree that keeps its contract: one entry per animal in every vector,
// parents before offspring, unique names none of which marks an unknown
// parent or holds a NUL byte, added founders without parents, and, when no generation column is
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
#include "pedigree/column_layout.h"
#include "pedigree/pedigree_fields.h"
#include "pedigree/pedigree_reader.h"
#include "shell/compressed_input.h"

namespace {

using pedsim::pedigree::AnimalIndex;
using pedsim::pedigree::Pedigree;
using pedsim::pedigree::unknown;

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

// The options an input's "@@" line asks for; the text after that line.
pedsim::pedigree::ReadingRules rules_of(std::string_view& text)
{
    pedsim::pedigree::ReadingRules rules;
    if (text.size() < 4 || !text.starts_with("@@") || text[3] != '\n') return rules;
    const auto flags = static_cast<unsigned char>(text[2]);
    text.remove_prefix(4);
    rules.selfing = (flags & 1) != 0;
    if ((flags & 2) != 0) rules.header = true;
    if ((flags & 4) != 0) rules.header = false;
    if ((flags & 8) != 0) rules.unknown_labels = {"unknown", "?"};
    if ((flags & 16) != 0) rules.columns = pedsim::pedigree::read_column_choice("2,1,3");
    if ((flags & 32) != 0)
        rules.columns = pedsim::pedigree::read_column_choice("id=id,sire=sire,dam=dam");
    return rules;
}

bool is_unknown_label(std::string_view name, const pedsim::pedigree::ReadingRules& rules)
{
    return std::ranges::any_of(rules.unknown_labels, [name](const std::string& label) {
        return pedsim::pedigree::same_word(name, label);
    });
}

void check_names(const Pedigree& p, const pedsim::pedigree::ReadingRules& rules)
{
    std::unordered_set<std::string_view> seen;
    for (const std::string& name : p.names) {
        if (pedsim::pedigree::is_unknown(name) || is_unknown_label(name, rules))
            fail("an animal named like an unknown parent");
        if (!seen.insert(name).second) fail("animal \"" + name + "\" stands twice");
        if (name.find('\0') != std::string::npos) fail("a name holds a NUL byte");
    }
}

// Parents before offspring, never the animal itself; a sire never a dam
// unless selfing is accepted.
void check_parents(const Pedigree& p, bool selfing)
{
    std::vector<char> role(p.size(), 0);
    for (std::size_t i = 0; i < p.size(); ++i) {
        for (const auto& [parent, as] : {std::pair{p.sire[i], 's'}, std::pair{p.dam[i], 'd'}}) {
            if (parent == unknown) continue;
            if (parent < 0 || parent >= static_cast<AnimalIndex>(i))
                fail("a parent does not stand before its offspring");
            char& r = role[static_cast<std::size_t>(parent)];
            if (r != 0 && r != as && !selfing) fail("an animal is both a sire and a dam");
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
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const pedsim::pedigree::ReadingRules rules = rules_of(input);
    Pedigree pedigree;
    try {
        const std::string text = pedsim::shell::decompressed(std::string(input), "fuzz");
        pedigree = pedsim::pedigree::read_pedigree(text, "fuzz", rules);
    } catch (const pedsim::common::Failure& failure) {
        // The program's own refusals: of the file, or of --columns that the
        // file's header contradicts.
        const bool usage = failure.status() == pedsim::common::ExitStatus::request_refused &&
                           !rules.columns.entries.empty();
        if (failure.status() != pedsim::common::ExitStatus::input_refused && !usage)
            fail(std::string("a refusal with another exit status: ") + failure.what());
        return 0;
    }
    check_sizes(pedigree);
    check_names(pedigree, rules);
    check_parents(pedigree, rules.selfing);
    if (!pedigree.generation_given) check_derived_generations(pedigree);
    return 0;
}
