#include "sim/generation_loop.h"

#include <algorithm>
#include <array>

#include "random/ranper.h"

namespace pedsim::sim {

namespace {

// How the current parents mate: how many sires and dams, dams per sire and
// offspring per dam.
struct MatingPlan {
    std::int32_t sires;
    std::int32_t dams;
    std::int32_t dams_per_sire;
    std::int32_t offspring_per_dam;
};

MatingPlan historical_plan(const design::Parameters& p)
{
    return {p.nsire, p.nsire * p.ndps, p.ndps, p.noff};
}
MatingPlan protocol_plan(const design::Parameters& p)
{
    return {p.nsirep, p.nsirep * p.ndpsp, p.ndpsp, p.noffp};
}

// Whole-valued entry of a shuffle turned into a 0-based row index.
std::size_t row_of(float permutation_entry)
{
    return static_cast<std::size_t>(permutation_entry) - 1;
}

std::size_t row(std::int32_t count) { return static_cast<std::size_t>(count); }

// Offspring of one pass, as the pools hold them.
struct Litters {
    std::int32_t sons = 0;
    std::int32_t daughters = 0;
    std::int32_t protocol = 0;
};

// The run's random stream: the generator and the seed it takes at its first
// draw. Every shuffle and sex draw goes through the one seed variable, which
// the first draw sets to -1, so the generator is seeded exactly once.
struct RandomStream {
    random::UniformGenerator& generator;
    std::int32_t pending_seed;
};

// The sex values of one pass, drawn from the run's stream a batch at a time
// ahead of use: a call for many values gives the values of as many calls for
// one. Never draws more than the pass's `total`, so the next shuffle
// continues the stream exactly where the pass ends.
class SexDraws {
public:
    SexDraws(RandomStream& stream, std::int64_t total) : stream_(stream), undrawn_(total) {}

    float next()
    {
        if (next_ == drawn_) draw_batch();
        return values_[next_++];
    }

private:
    void draw_batch()
    {
        drawn_ =
            static_cast<std::size_t>(std::min<std::int64_t>(undrawn_, random::draws_per_batch));
        random::uniran(stream_.generator, static_cast<std::int32_t>(drawn_), stream_.pending_seed,
                       values_);
        undrawn_ -= static_cast<std::int64_t>(drawn_);
        next_ = 0;
    }

    RandomStream& stream_;
    std::int64_t undrawn_;
    std::array<float, std::size_t{random::draws_per_batch}> values_;
    std::size_t drawn_ = 0;
    std::size_t next_ = 0;
};

// State shared by the steps of the loop.
struct Run {
    RandomStream stream;
    Tables& t;
};

// Mates the current parents (the last plan.sires + plan.dams rows of the
// pedigree, sires first) in the order of the dam shuffle in t.shuffle. In the
// protocol pass every offspring joins t.protocol_offspring; otherwise one draw
// per offspring makes it a son (u <= 0.5) or a daughter.
Litters mate(Run& run, const MatingPlan& plan, std::int32_t parent_generation, bool protocol_pass)
{
    Tables& t = run.t;
    const std::size_t first_sire = row(t.animal_count - plan.dams - plan.sires);
    const std::size_t first_dam = row(t.animal_count - plan.dams);
    // Offspring of this pass are numbered on from here.
    std::int32_t identifier = (parent_generation + 1) * design::identifiers_per_generation;
    Litters born;
    const std::int64_t births =
        std::int64_t{plan.sires} * plan.dams_per_sire * plan.offspring_per_dam;
    SexDraws sexes(run.stream, protocol_pass ? 0 : births);
    // Each sex is a coin toss that no branch predictor can guess, so the pool
    // an offspring joins is chosen by indexing rather than by a branch.
    AnimalTable* const pools[2] = {&t.daughters, &t.sons};
    std::int32_t filed[2] = {0, 0};  // daughters, sons
    for (std::int32_t s = 0; s < plan.sires; ++s) {
        const std::int32_t sire = t.pedigree.id(first_sire + row(s));
        for (std::int32_t d = 0; d < plan.dams_per_sire; ++d) {
            const std::size_t dam_position = row_of(t.shuffle[row(s * plan.dams_per_sire + d)]);
            const std::int32_t dam = t.pedigree.id(first_dam + dam_position);
            for (std::int32_t k = 0; k < plan.offspring_per_dam; ++k) {
                ++identifier;
                if (protocol_pass) {
                    t.protocol_offspring.set(row(born.protocol++), identifier, sire, dam);
                    continue;
                }
                const bool son = sexes.next() <= 0.5f;
                pools[son]->set(row(filed[son]++), identifier, sire, dam);
            }
        }
    }
    born.daughters = filed[0];
    born.sons = filed[1];
    return born;
}

// Shuffles the `count` entries of t.shuffle, one draw per entry.
void shuffle(Run& run, std::int32_t count)
{
    random::ranper(run.stream.generator, count, run.stream.pending_seed, run.t.shuffle.span());
}

// Appends `chosen` rows of `pool` to the pedigree in the order of a complete
// shuffle of its `available` rows, all with generation `generation`.
void append_chosen(Run& run, const AnimalTable& pool, std::int32_t available, std::int32_t chosen,
                   std::int32_t generation)
{
    Tables& t = run.t;
    shuffle(run, available);
    for (std::int32_t i = 0; i < chosen; ++i) {
        const std::size_t to = row(t.animal_count + i);
        t.pedigree.copy_row(to, pool, row_of(t.shuffle[row(i)]));
        t.generation_of_row[to] = generation;
    }
    t.animal_count += chosen;
}

// Appends the protocol's offspring to the pedigree in birth order.
void append_protocol_offspring(Run& run, std::int32_t count, std::int32_t generation)
{
    Tables& t = run.t;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t to = row(t.animal_count + i);
        t.pedigree.copy_row(to, t.protocol_offspring, row(i));
        t.generation_of_row[to] = generation;
    }
    t.animal_count += count;
}

}  // namespace

LoopRecord run_generations(const design::Parameters& p, random::UniformGenerator& generator,
                           Tables& tables)
{
    Run run{{generator, p.iseed}, tables};
    LoopRecord record;
    record.passes.assign(row(p.ngen + 1), 0);
    MatingPlan plan = historical_plan(p);
    std::int32_t parent_generation = 1;  // the founders mate first
    while (parent_generation <= p.ngen + 1) {
        const bool protocol_pass = parent_generation == p.ngen + 1;
        ++record.passes[row(parent_generation - 1)];
        shuffle(run, plan.dams);
        const Litters born = mate(run, plan, parent_generation, protocol_pass);
        if (protocol_pass) {
            append_protocol_offspring(run, born.protocol, p.ngen + 2);
            break;
        }
        // The parents chosen from the last historical mating are the protocol's.
        if (parent_generation == p.ngen) plan = protocol_plan(p);
        if (born.sons < plan.sires || born.daughters < plan.dams) {
            // Too few of one sex: mate the same parents again, with the
            // following random values and the same identifiers.
            plan = historical_plan(p);
            continue;
        }
        append_chosen(run, tables.sons, born.sons, plan.sires, parent_generation + 1);
        append_chosen(run, tables.daughters, born.daughters, plan.dams, parent_generation + 1);
        ++parent_generation;
    }
    return record;
}

}  // namespace pedsim::sim
