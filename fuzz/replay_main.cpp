// Replays fuzz inputs without libFuzzer: hands every file of the directories
// given on the command line to the target's LLVMFuzzerTestOneInput, so that
// any compiler's build checks the committed corpus. A broken property aborts
// inside the target; this program only reports how many inputs it ran.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    std::size_t inputs = 0;
    for (int a = 1; a < argc; ++a) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[a])) {
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string input{std::istreambuf_iterator<char>(in), {}};
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()),
                                   input.size());
            ++inputs;
        }
    }
    std::cout << "replayed " << inputs << " inputs\n";
    return inputs > 0 ? 0 : 1;
}
