#include "pedigree/pedigree_file.h"

#include "pedigree/pedigree_reader.h"
#include "shell/input_files.h"

namespace pedsim::pedigree {

Pedigree read_pedigree_file(const std::string& path, const ReadingRules& rules)
{
    return read_pedigree(shell::input_text(path).text(), shell::input_name(path), rules);
}

}  // namespace pedsim::pedigree
