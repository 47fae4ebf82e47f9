// The properties every pedigree file of a design has, whatever the seed:
// one check shared by the end-to-end tests, the unit tests, the installed
// program's test and the fuzzer. Needs no test framework.
#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace pedigree_check {

struct Design {
    int ngen, nsire, ndps, noff, nsirep, ndpsp, noffp;
};

// The seven counts at the start of a parameter file's text.
inline Design design_of(const std::string& parpop)
{
    Design d{};
    std::istringstream(parpop) >> d.ngen >> d.nsire >> d.ndps >> d.noff >> d.nsirep >> d.ndpsp >>
        d.noffp;
    return d;
}

struct Line {
    int animal, sire, dam, generation;
    bool operator==(const Line&) const = default;
};

// The lines of a pedigree file. A line that is not four integers
// right-aligned in 6 characters, one blank between, ended by a line feed,
// stops the reading and is described in `fault`.
inline std::vector<Line> read_lines(std::string_view text, std::string& fault)
{
    std::vector<Line> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        const std::string s(text.substr(start, end - start));
        Line l{};
        char canonical[64] = "";
        if (std::sscanf(s.c_str(), "%d %d %d %d", &l.animal, &l.sire, &l.dam, &l.generation) == 4)
            std::snprintf(canonical, sizeof canonical, "%6d %6d %6d %6d", l.animal, l.sire, l.dam,
                          l.generation);
        if (end == std::string_view::npos || s != canonical) {
            fault = "line " + std::to_string(lines.size() + 1) + " is not in the fixed layout: \"" +
                    s + '"';
            return lines;
        }
        lines.push_back(l);
        start = end + 1;
    }
    return lines;
}

// Field 4 of every line, in order: ngen historical generations of
// nsire*(ndps+1) parents, the protocol's parents (1), its offspring (2).
inline std::vector<int> generations_of(const Design& d)
{
    std::vector<int> gens;
    for (int g = 1; g <= d.ngen; ++g) gens.insert(gens.end(), d.nsire * (d.ndps + 1), g - d.ngen);
    gens.insert(gens.end(), d.nsirep * (d.ndpsp + 1), 1);
    gens.insert(gens.end(), d.nsirep * d.ndpsp * d.noffp, 2);
    return gens;
}

// "" or the first fault found in the text of a pedigree file of design `d`:
// the layout, one line per animal numbered by its line, the generations in
// order, founders without parents, every other animal's two parents on
// earlier lines of the generation before, no animal both a sire and a dam,
// and noffp offspring for every protocol dam.
inline std::string pedigree_fault(std::string_view text, const Design& d)
{
    std::string fault;
    const std::vector<Line> lines = read_lines(text, fault);
    if (!fault.empty()) return fault;
    const std::vector<int> gens = generations_of(d);
    if (lines.size() != gens.size())
        return std::to_string(lines.size()) + " lines, not " + std::to_string(gens.size());
    std::set<int> sires, dams;
    std::map<int, int> protocol_litters;  // protocol dam -> its offspring
    for (std::size_t r = 0; r < lines.size(); ++r) {
        const Line& l = lines[r];
        const int number = static_cast<int>(r) + 1;
        const std::string at = " on line " + std::to_string(number);
        if (l.animal != number) return "field 1 is " + std::to_string(l.animal) + at;
        if (l.generation != gens[r]) return "generation " + std::to_string(l.generation) + at;
        if (l.generation == 1 - d.ngen) {
            if (l.sire != 0 || l.dam != 0) return "a founder with parents" + at;
            continue;
        }
        for (const int parent : {l.sire, l.dam}) {
            if (parent < 1 || parent >= number) return "a parent not on an earlier line" + at;
            if (lines[static_cast<std::size_t>(parent) - 1].generation != l.generation - 1)
                return "a parent not of the previous generation" + at;
        }
        sires.insert(l.sire);
        dams.insert(l.dam);
        if (l.generation == 2) ++protocol_litters[l.dam];
    }
    for (const int sire : sires)
        if (dams.contains(sire))
            return "animal " + std::to_string(sire) + " is both a sire and a dam";
    for (const auto& [dam, litter] : protocol_litters)
        if (litter != d.noffp)
            return "protocol dam " + std::to_string(dam) + " has " + std::to_string(litter) +
                   " offspring";
    return "";
}

}  // namespace pedigree_check
