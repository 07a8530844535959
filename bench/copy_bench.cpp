// Copy then compare an N-element array (W8).
//
// One iteration makes a deep copy of a prebuilt array of N integers,
// compares the copy with its source, and frees the copy.  The document
// models copy and compare their own trees (cJSON_Duplicate + cJSON_Compare,
// json_object_deep_copy + json_object_equal); a std::vector of Element,
// copied and compared element by element, is the limit.
#include <cjson/cJSON.h>
#include <json-c/json.h>

#include <algorithm>

#include "bench_support.h"

namespace qb {
namespace {

void W8_quolan(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    Obj source = int_array(n);
    if (!source) return state.SkipWithError("fixture");
    const QuolanBaseMethods *m = quolan_base_methods(source.get());
    bool equal = true;
    for (auto _ : state) {
        QuolanObject *copy = m->Copy(array_baseclass, source.get());
        equal &= copy && m->IsEqual(source.get(), copy) == 1;
        if (copy) delete_object(copy);
    }
    if (!equal) state.SkipWithError("the copy differs from its source");
    state.SetItemsProcessed(state.iterations() * n);
}

bool same_element(const Element &a, const Element &b)
{
    return a.tag == b.tag && a.value.pointer == b.value.pointer;
}

void W8_vector(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    std::vector<Element> source;
    source.reserve(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) source.push_back(int_element(i));
    bool equal = true;
    for (auto _ : state) {
        std::vector<Element> copy = source;
        equal &= std::equal(source.begin(), source.end(), copy.begin(), copy.end(), same_element);
        keep(copy.data());
    }
    if (!equal) state.SkipWithError("the copy differs from its source");
    state.SetItemsProcessed(state.iterations() * n);
}

void W8_cjson(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    std::vector<int> numbers(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) numbers[static_cast<size_t>(i)] = i;
    cJSON *source = cJSON_CreateIntArray(numbers.data(), n);
    bool equal = true;
    for (auto _ : state) {
        cJSON *copy = cJSON_Duplicate(source, 1);
        equal &= copy && cJSON_Compare(source, copy, 1);
        cJSON_Delete(copy);
    }
    cJSON_Delete(source);
    if (!equal) state.SkipWithError("the copy differs from its source");
    state.SetItemsProcessed(state.iterations() * n);
}

void W8_jsonc(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    json_object *source = json_object_new_array_ext(n);
    for (int32_t i = 0; i < n; ++i) json_object_array_add(source, json_object_new_int(i));
    bool equal = true;
    for (auto _ : state) {
        json_object *copy = nullptr;
        equal &= json_object_deep_copy(source, &copy, nullptr) == 0 &&
                 json_object_equal(source, copy) == 1;
        json_object_put(copy);
    }
    json_object_put(source);
    if (!equal) state.SkipWithError("the copy differs from its source");
    state.SetItemsProcessed(state.iterations() * n);
}

}  // namespace

void register_copy_benchmarks()
{
    add_family("W8_CopyEqual",
               {{"quolan", W8_quolan},
                {"vector", W8_vector},
                {"cjson", W8_cjson},
                {"jsonc", W8_jsonc}},
               {1000000});
}

}  // namespace qb
