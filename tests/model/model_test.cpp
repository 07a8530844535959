// Seeded sequences on every class, and on a client subclass of each whose
// element slots forward to the class's own, held against the reference model
// after every step (see runs.h).  QUOLAN_MODEL_STEPS sets the operations per
// class (100,000 by default), QUOLAN_MODEL_SEED the first seed; a disagreement
// names the seed and the step, so it can be replayed alone.
#include <gtest/gtest.h>

#include <cstdlib>

#include "model/runs.h"

namespace {

constexpr int64_t kStepsPerSequence = 2500;

int64_t setting(const char *name, int64_t fallback)
{
    const char *text = std::getenv(name);
    return text && *text ? std::strtoll(text, nullptr, 0) : fallback;
}

class Model : public testing::TestWithParam<size_t> {};

TEST_P(Model, SeededSequencesAgreeWithTheModel)
{
    const qm::Family &family = qm::kFamilies[GetParam()];
    QuolanObject *cls = family.init();
    ASSERT_NE(cls, nullptr);
    const int64_t total = setting("QUOLAN_MODEL_STEPS", 100000);
    const uint64_t first = static_cast<uint64_t>(setting("QUOLAN_MODEL_SEED", 1));
    int64_t done = 0;
    for (uint64_t seed = first; done < total * 5 / 4; ++seed) {
        // One sequence in five runs on the forwarding subclass.
        const bool derived = seed % 5 == 0;
        qm::SeededSource source(seed);
        const std::string failure = qm::run_sequence(family, derived ? qm::forwarding_subclass(family) : cls,
                                                     source, kStepsPerSequence);
        ASSERT_EQ(failure, "") << family.name << (derived ? " subclass" : "") << ", QUOLAN_MODEL_SEED=" << seed;
        done += kStepsPerSequence;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryClass, Model, testing::Range<size_t>(0, std::size(qm::kFamilies)),
                         [](const testing::TestParamInfo<size_t> &p) { return qm::kFamilies[p.param].name; });

}  // namespace
