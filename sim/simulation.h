// The whole simulation in memory: checks, set-up, generations and
// renumbering, with no file involved. The program, the tests and the fuzzer
// all run it this way.
#pragma once

#include <cstdint>
#include <string>

#include "generation_loop.h"
#include "parameters.h"
#include "tables.h"
#include "uniran.h"

namespace pedsim {

// The line the program writes on standard output, and nothing else, when the
// protocol needs more dams than half the offspring of one generation.
inline constexpr const char* protocol_too_large_line =
    " effectif historique trop faible pour le protocole";

enum class Verdict {
    runs,
    protocol_too_large
};

// Makes every check on the parameters, in this order: the protocol check
// (returns protocol_too_large), the table sizes, the pedigree's limits, and
// whether every pass can succeed (each throws a Failure).
Verdict check_parameters(const Parameters& p);

// Builds the renumbered pedigree of parameters that check_parameters let run:
// allocates the tables, enters the founders, runs the generations with p's
// seed on `generator`, and renumbers. The record of the loop goes to
// `record` when given.
Tables simulate(const Parameters& p, UniformGenerator& generator, LoopRecord* record = nullptr);

// The text of the pedigree file for a simulated pedigree.
std::string pedigree_text(const Tables& t, std::int32_t ngen);

}  // namespace pedsim
