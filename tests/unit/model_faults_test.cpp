// The model-based checks must notice real faults: each case below is a
// client subclass that gets one rule subtly wrong, and some short seeded
// sequence has to report it, naming the step.
#include <gtest/gtest.h>

#include "model/runs.h"

namespace {

template <class Table>
QuolanObject *subclass(QuolanObject *parent, int32_t slots, void (*patch)(Table *))
{
    QuolanObject *cls = quolan_generic_subclass(parent, parent->size, slots * sizeof(QuolanMethod));
    if (cls) patch(reinterpret_cast<Table *>(cls->methods));
    return cls;
}

// The first disagreement found within a few short sequences, or "".
template <class R>
std::string first_fault(QuolanObject *cls)
{
    for (uint64_t seed = 1; seed <= 8; ++seed) {
        qm::SeededSource source(seed);
        std::string failure = qm::run_sequence<R>(cls, source, 600);
        if (!failure.empty()) return failure;
    }
    return "";
}

int32_t put_float_precision(QuolanObject *self, void *value, int32_t tag, int32_t index)
{
    double rounded = tag == Double && value ? static_cast<float>(*static_cast<double *>(value)) : 0;
    return quolan_array_methods(array_baseclass)->PutAt(self, tag == Double && value ? &rounded : value, tag, index);
}

int32_t clear_value_keep_key(QuolanObject *self, void *key, int32_t kind)
{
    int32_t position = quolan_dict_methods(self)->SymbolIndex(self, key, kind);
    return position < 0 ? StatusOutOfRange : quolan_array_methods(self)->ClearAt(self, position);
}

int32_t contains_int_as_double(QuolanObject *self, int32_t value)
{
    double as_double = value;
    return quolan_genset_methods(self)->Contains(self, &as_double, Double);
}

}  // namespace

TEST(ModelFaults, ArrayThatRoundsDoublesIsCaught)
{
    QuolanObject *cls = subclass<ArrayMethods>(array_baseclass_init(), ArraySlot_Count,
                                               [](ArrayMethods *t) { t->PutAt = put_float_precision; });
    EXPECT_NE(first_fault<qm::ArrayRun>(cls).find("step"), std::string::npos);
}

TEST(ModelFaults, DictWalkThatDeliversKeylessPositionsIsCaught)
{
    QuolanObject *cls = subclass<DictMethods>(dict_baseclass_init(), DictSlot_Count, [](DictMethods *t) {
        t->Next = quolan_array_methods(array_baseclass)->Next;
        t->Previous = quolan_array_methods(array_baseclass)->Previous;
    });
    EXPECT_NE(first_fault<qm::DictRun>(cls).find("step"), std::string::npos);
}

TEST(ModelFaults, ClearKeyThatKeepsTheKeyIsCaught)
{
    QuolanObject *cls = subclass<DictMethods>(dict_baseclass_init(), DictSlot_Count,
                                              [](DictMethods *t) { t->ClearKey = clear_value_keep_key; });
    EXPECT_NE(first_fault<qm::DictRun>(cls).find("step"), std::string::npos);
}

TEST(ModelFaults, SetThatConfusesIntegerAndDoubleMembersIsCaught)
{
    QuolanObject *cls = subclass<GenSetMethods>(genset_baseclass_init(), GenSetSlot_Count,
                                                [](GenSetMethods *t) { t->ContainsInt32 = contains_int_as_double; });
    EXPECT_NE(first_fault<qm::SetRun>(cls).find("step"), std::string::npos);
}
