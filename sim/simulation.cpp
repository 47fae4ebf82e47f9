#include "simulation.h"

#include "renumbering.h"

namespace pedsim {

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

}  // namespace pedsim
