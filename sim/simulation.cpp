#include "sim/simulation.h"
#include "sim/renumbering.h"

namespace pedsim::sim {

Tables simulate(const design::Parameters& p, random::UniformGenerator& generator,
                LoopRecord* record)
{
    Tables tables = allocate_tables(p);
    enter_founders(p, tables);
    LoopRecord loop = run_generations(p, generator, tables);
    if (record != nullptr) *record = std::move(loop);
    renumber(tables);
    return tables;
}

}  // namespace pedsim::sim
