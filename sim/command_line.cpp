#include "sim/command_line.h"

#include <string_view>

namespace pedsim::sim {

namespace {

constexpr const char* usage =
    "Usage: pedsim [--help | --version]\n"
    "Simulates the pedigree of an animal population under random mating, then a\n"
    "mating design drawn from its last generation, and writes it renumbered 1..N.\n"
    "\n"
    "Reads ./parpop: ngen nsire ndps noff nsirep ndpsp noffp on one line, the seed\n"
    "on the next:\n"
    "  ngen    generations of random mating, the founders being the first\n"
    "  nsire   sires of every generation\n"
    "  ndps    dams mated to each sire\n"
    "  noff    offspring of each dam\n"
    "  nsirep  sires of the mating design, taken from the last generation\n"
    "  ndpsp   dams mated to each of its sires\n"
    "  noffp   offspring of each of its dams\n"
    "  iseed   the seed; 0 or less keeps the generator's built-in start\n"
    "Writes ./pedig: one line per animal, its number, sire, dam and generation.\n"
    "\n"
    "Exit status: 0 done (also after \"effectif historique trop faible pour le\n"
    "protocole\"), 1 unreadable parpop, 2 parameters refused, 3 tables too large\n"
    "for memory, 4 a file cannot be opened, read or written.\n"
    "Manual: man pedsim.\n";

}  // namespace

std::string usage_text() { return usage; }

std::string version_text() { return "pedsim " PEDSIM_VERSION "\n"; }

shell::Request read_command_line(std::span<const char* const> arguments, std::ostream& err)
{
    for (const std::string_view argument : arguments) {
        if (argument == "--help" || argument == "-h") return shell::Request::help;
        if (argument == "--version") return shell::Request::version;
    }
    for (const std::string_view argument : arguments)
        err << "pedsim: argument \"" << argument
            << "\" ignored: the parameters are always read from ./parpop\n";
    return shell::Request::run;
}

}  // namespace pedsim::sim
