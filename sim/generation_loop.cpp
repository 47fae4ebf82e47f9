#include "generation_loop.h"

#include <algorithm>
#include <array>

#include "ranper.h"

namespace pedsim {

namespace {

// How the current parents mate: how many sires and dams, dams per sire and
// offspring per dam.
struct MatingPlan {
    std::int32_t sires;
    std::int32_t dams;
    std::int32_t dams_per_sire;
    std::int32_t offspring_per_dam;
};

MatingPlan historical_plan(const Parameters& p)
{
    return {p.nsire, p.nsire * p.ndps, p.ndps, p.noff};
}
MatingPlan protocol_plan(const Parameters& p)
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

// The sex values of one pass, drawn from the run's generator a batch at a
// time ahead of use: a call for many values gives the values of as many
// calls for one. Never draws more than the pass's `total`, so the next
// shuffle continues the stream exactly where the pass ends.
class SexDraws {
public:
    SexDraws(UniformGenerator& generator, std::int32_t& iseed, std::int64_t total)
        : generator_(generator), iseed_(iseed), undrawn_(total)
    {}

    float next()
    {
        if (next_ == drawn_) draw_batch();
        return values_[next_++];
    }

private:
    void draw_batch()
    {
        drawn_ = static_cast<std::size_t>(std::min<std::int64_t>(undrawn_, batch));
        uniran(generator_, static_cast<std::int32_t>(drawn_), iseed_, values_);
        undrawn_ -= static_cast<std::int64_t>(drawn_);
        next_ = 0;
    }

    static constexpr std::int64_t batch = 256;
    UniformGenerator& generator_;
    std::int32_t& iseed_;
    std::int64_t undrawn_;
    std::array<float, batch> values_;
    std::size_t drawn_ = 0;
    std::size_t next_ = 0;
};

// State shared by the steps of the loop.
struct Run {
    std::int32_t& iseed;
    UniformGenerator& generator;
    Tables& t;
};

// Mates the current parents (the last plan.sires + plan.dams rows of ped,
// sires first) in the order of the dam shuffle in t.perm. In the protocol
// pass every offspring joins prog; otherwise one draw per offspring makes it
// a son (u <= 0.5) or a daughter.
Litters mate(Run& run, const MatingPlan& plan, std::int32_t igen, bool protocol_pass)
{
    Tables& t = run.t;
    const std::size_t first_sire = row(t.nanim - plan.dams - plan.sires);
    const std::size_t first_dam = row(t.nanim - plan.dams);
    std::int32_t identifier =
        (igen + 1) * identifiers_per_generation;  // offspring of this pass count on from here
    Litters born;
    const std::int64_t births =
        std::int64_t{plan.sires} * plan.dams_per_sire * plan.offspring_per_dam;
    SexDraws sexes(run.generator, run.iseed, protocol_pass ? 0 : births);
    for (std::int32_t s = 0; s < plan.sires; ++s) {
        const std::int32_t sire = t.ped.id(first_sire + row(s));
        for (std::int32_t d = 0; d < plan.dams_per_sire; ++d) {
            const std::size_t dam_position = row_of(t.perm[row(s * plan.dams_per_sire + d)]);
            const std::int32_t dam = t.ped.id(first_dam + dam_position);
            for (std::int32_t k = 0; k < plan.offspring_per_dam; ++k) {
                ++identifier;
                if (protocol_pass) {
                    t.prog.set(row(born.protocol++), identifier, sire, dam);
                    continue;
                }
                if (sexes.next() <= 0.5f)
                    t.male.set(row(born.sons++), identifier, sire, dam);
                else
                    t.female.set(row(born.daughters++), identifier, sire, dam);
            }
        }
    }
    return born;
}

// Appends `chosen` rows of `pool` to ped in the order of a complete shuffle
// of its `available` rows, all with generation `generation`.
void append_chosen(Run& run, const AnimalTable& pool, std::int32_t available, std::int32_t chosen,
                   std::int32_t generation)
{
    Tables& t = run.t;
    ranper(run.generator, available, run.iseed, t.perm.span());
    for (std::int32_t i = 0; i < chosen; ++i) {
        const std::size_t to = row(t.nanim + i);
        t.ped.copy_row(to, pool, row_of(t.perm[row(i)]));
        t.gen[to] = generation;
    }
    t.nanim += chosen;
}

// Appends the protocol's offspring to ped in birth order.
void append_protocol_offspring(Run& run, std::int32_t count, std::int32_t generation)
{
    Tables& t = run.t;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::size_t to = row(t.nanim + i);
        t.ped.copy_row(to, t.prog, row(i));
        t.gen[to] = generation;
    }
    t.nanim += count;
}

}  // namespace

LoopRecord run_generations(const Parameters& p, std::int32_t& iseed, UniformGenerator& generator,
                           Tables& tables)
{
    Run run{iseed, generator, tables};
    LoopRecord record;
    record.passes.assign(row(p.ngen + 1), 0);
    MatingPlan plan = historical_plan(p);
    std::int32_t igen = 1;
    while (igen <= p.ngen + 1) {
        const bool protocol_pass = igen == p.ngen + 1;
        ++record.passes[row(igen - 1)];
        ranper(generator, plan.dams, iseed, tables.perm.span());
        const Litters born = mate(run, plan, igen, protocol_pass);
        if (protocol_pass) {
            append_protocol_offspring(run, born.protocol, p.ngen + 2);
            break;
        }
        // The parents chosen from the last historical mating are the protocol's.
        if (igen == p.ngen) plan = protocol_plan(p);
        if (born.sons < plan.sires || born.daughters < plan.dams) {
            // Too few of one sex: mate the same parents again, with the
            // following random values and the same identifiers.
            plan = historical_plan(p);
            continue;
        }
        append_chosen(run, tables.male, born.sons, plan.sires, igen + 1);
        append_chosen(run, tables.female, born.daughters, plan.dams, igen + 1);
        ++igen;
    }
    return record;
}

}  // namespace pedsim
