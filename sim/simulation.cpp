#include "simulation.h"

#include "parameter_checks.h"
#include "pedigree_writer.h"
#include "renumbering.h"

namespace pedsim {

Verdict check_parameters(const Parameters& p)
{
    if (!protocol_fits(p)) return Verdict::protocol_too_large;
    check_table_sizes(p);
    check_pedigree_limits(p);
    check_passes_can_succeed(p);
    return Verdict::runs;
}

Tables simulate(const Parameters& p, UniformGenerator& generator, LoopRecord* record)
{
    Tables tables = allocate_tables(p);
    enter_founders(p, tables);
    std::int32_t iseed = p.iseed;  // the one seed variable of the run; the first draw sets it to -1
    LoopRecord loop = run_generations(p, iseed, generator, tables);
    if (record != nullptr) *record = std::move(loop);
    renumber(tables);
    return tables;
}

std::string pedigree_text(const Tables& t, std::int32_t ngen)
{
    struct StringSink final : BlockSink {
        std::string text;
        void write(const char* data, std::size_t size) override { text.append(data, size); }
    } sink;
    write_pedigree(t, ngen, sink);
    return sink.text;
}

}  // namespace pedsim
