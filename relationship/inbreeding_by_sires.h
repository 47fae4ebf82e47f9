// Inbreeding of every animal of any pedigree, all the offspring of one sire at
// a time (Colleau, 2002; Sargolzaei, Iwaisaki and Colleau, 2005): the work per
// sire follows the ancestors of the sire and of its mates once, however many
// offspring they have.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "pedigree/pedigree.h"
#include "relationship/inbreeding_by_paths.h"
#include "relationship/lineage.h"
#include "shell/parallel.h"
#include "shell/progress.h"

namespace pedsim::relationship {

// F of every animal and its Mendelian sampling variance d_i, as
// inbreeding_by_paths gives them, by the sire-wise indirect method. For a sire
// s, the column a = A e_s of the relationship matrix A = T D T' comes from
// u = T' e_s (a backward pass from s over its ancestors: each passes half its
// u to each parent), w = D u, then a = T w (a forward pass, parents first:
// a_i = w_i + (a_sire(i) + a_dam(i))/2) over the sires and their ancestors
// from the oldest ancestor of s on - only over those the mates of s need (the
// sires up their lines of dams and the ancestors of these) where they are a
// small part of all; every other animal's a follows up its line of dams,
// whose sires are all among them. The offspring of s and a mate d have
// F = a_d / 2. D is needed on the ancestors of s alone, so the sires go
// in layers of their depth (longest path to a founder): every F a sire needs
// comes from sires of shallower layers. The sires of a layer run on up to
// `threads` threads (>= 1), each sire's values computed by one thread in one
// fixed order, so that the results do not depend on the number of threads.
// Cost: per sire, its ancestors, the sires and their ancestors its mates
// need (at most those born between its oldest ancestor and its mates), and
// the lines of dams of its mates.
InbreedingByPaths inbreeding_by_sires(const pedigree::Pedigree& pedigree,
                                      const shell::ProgressReport& progress,
                                      std::size_t threads = shell::worker_count());

// The same method prepared on a pedigree, its sires and their ancestors and
// its mates' lines of dams built once: for an estimate of its cost, as the
// method's choice asks, and then for the computation.
class SireMethod {
public:
    // `pairs` are the pedigree's (by_sire_then_dam(pedigree)); the pedigree
    // must outlive the method.
    SireMethod(const pedigree::Pedigree& pedigree, ParentPairs pairs);
    ~SireMethod();
    SireMethod(const SireMethod&) = delete;
    SireMethod& operator=(const SireMethod&) = delete;

    const ParentPairs& pairs() const;

    // The method's steps, in members passed in a forward pass (the cheapest
    // of its steps), estimated from the sires of `samples` offspring spread
    // evenly over the pairs, each bringing its share of its sire's steps:
    // the sire's ancestors, the members its mates need (or the pass over all
    // members from its oldest ancestor, where those are many) and its mates'
    // lines. Each sample costs what computing its sire does.
    double estimated_steps(std::size_t samples) const;

    // F and d of every animal, as inbreeding_by_sires gives them.
    InbreedingByPaths run(const shell::ProgressReport& progress,
                          std::size_t threads = shell::worker_count()) const;

private:
    struct Prepared;
    std::unique_ptr<Prepared> prepared_;
};

}  // namespace pedsim::relationship
