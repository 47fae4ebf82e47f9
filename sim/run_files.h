// The two files of a pedsim run, "parpop" and "pedig", in the working
// directory, opened before anything else is done.
#pragma once

#include <string>

#include "common/files.h"

namespace pedsim::sim {

// The parameter file, opened for reading.
struct ParameterFile {
    common::FileDescriptor file;
    bool created = false;  // it was missing, and the open created it empty
};

// Opens the parameter file; a missing one is created empty, so that the
// user finds where to write the parameters. Throws a Failure (file_error)
// when it cannot be opened.
ParameterFile open_parameter_file(const std::string& path);

// Refuses a pedigree file that is the parameter file itself (a symbolic or
// hard link): writing it would replace the parameters. Throws a Failure
// (file_error) "pedig: is the same file as parpop; ...".
void refuse_one_file(const ParameterFile& parameters, const common::FileDescriptor& pedigree,
                     const std::string& parameter_path, const std::string& pedigree_path);

// Reads the whole parameter file as read_parameter_text does, and throws a
// Failure (input_refused) saying so when the open had to create it.
std::string read_parameter_file(const ParameterFile& parameters, const std::string& path);

// The pedigree file, opened for writing without touching its contents; a
// missing one is created empty. Throws a Failure (file_error) when it cannot
// be opened.
common::FileDescriptor open_pedigree_file(const std::string& path);

}  // namespace pedsim::sim
