// pedigree_check PEDIG "NGEN NSIRE NDPS NOFF NSIREP NDPSP NOFFP": prints the
// first fault of a pedigree file of that design and exits 1, or exits 0 when
// it has none. For the shell tests of the installed program.
#include <fstream>
#include <iostream>
#include <sstream>

#include "tests/pedigree_check.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: pedigree_check PEDIG \"NGEN NSIRE NDPS NOFF NSIREP NDPSP NOFFP\"\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string fault =
        pedigree_check::pedigree_fault(text.str(), pedigree_check::design_of(argv[2]));
    if (fault.empty()) return 0;
    std::cout << fault << '\n';
    return 1;
}
