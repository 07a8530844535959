// Seeded sequences of operations on every class, and on a client subclass of
// each whose element slots forward to the class's own, each call compared
// with the reference model: statuses, values and tags read back, positions,
// walk order, sizes, capacity, cursors, every private store, the typed
// fields, deletions of owned objects, what Save/Load and Copy produce, and
// the library's invariant checks after every step.  Re-entrant owned
// objects and arguments that alias what a call drops are part of the mix.
//
// QUOLAN_MODEL_STEPS sets the operations per class (100,000 by default);
// QUOLAN_MODEL_SEED the first seed.  A disagreement names the seed and the
// step, so it can be replayed alone.
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

// The model notices a subclass that gets one rule subtly wrong.
int32_t put_float_precision(QuolanObject *self, void *value, int32_t tag, int32_t index)
{
    double rounded = tag == Double && value ? static_cast<float>(*static_cast<double *>(value)) : 0;
    return quolan_array_methods(array_baseclass)->PutAt(self, tag == Double && value ? &rounded : value, tag, index);
}

TEST(ModelFaults, SubclassesThatBreakARuleAreCaught)
{
    QuolanObject *rounding = quolan_generic_subclass(array_baseclass_init(), sizeof(qc::ArrayInstance),
                                                     ArraySlot_Count * sizeof(QuolanMethod));
    reinterpret_cast<ArrayMethods *>(rounding->methods)->PutAt = put_float_precision;
    QuolanObject *dict = dict_baseclass_init();
    QuolanObject *unkeyed = quolan_generic_subclass(dict, dict->size, DictSlot_Count * sizeof(QuolanMethod));
    reinterpret_cast<DictMethods *>(unkeyed->methods)->Next = quolan_array_methods(array_baseclass)->Next;
    for (auto [family, cls] : {std::pair{&qm::kFamilies[0], rounding}, std::pair{&qm::kFamilies[1], unkeyed}}) {
        std::string failure;
        for (uint64_t seed = 1; seed <= 8 && failure.empty(); ++seed) {
            qm::SeededSource source(seed);
            failure = qm::run_sequence(*family, cls, source, 600);
        }
        EXPECT_NE(failure.find("step"), std::string::npos) << family->name;
    }
}

}  // namespace
