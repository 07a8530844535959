// Positional workloads: append (W1), random read (W2), walk (W3) and owned
// strings (W4).
//
// The library is driven the way a client would: method table looked up
// once, every status checked.  Its peers hold the same 16-byte Element:
// std::vector is the limit of what a growable array can do, GArray a C
// array of the same shape, cJSON's linked list the walk of a tree-shaped
// document model.  From W2 on, the vector and GArray bodies are one
// template over a small store policy, so both peers run exactly the same
// loop; W1 spells out each peer's own append.
#include <cjson/cJSON.h>
#include <glib.h>

#include <algorithm>
#include <cstdlib>

#include "bench_support.h"
#include "floor.h"

namespace qb {
namespace {

struct VectorStore {
    std::vector<Element> v;
    void append(const Element &e) { v.push_back(e); }
    const Element *data() const { return v.data(); }
    size_t size() const { return v.size(); }
};

struct GArrayStore {
    GArray *a = g_array_new(FALSE, FALSE, sizeof(Element));
    GArrayStore() = default;
    GArrayStore(const GArrayStore &) = delete;
    GArrayStore &operator=(const GArrayStore &) = delete;
    ~GArrayStore() { g_array_free(a, TRUE); }
    void append(const Element &e) { g_array_append_vals(a, &e, 1); }
    const Element *data() const { return reinterpret_cast<const Element *>(a->data); }
    size_t size() const { return a->len; }
};

template <class Store>
void fill(Store &store, int32_t n)
{
    for (int32_t i = 0; i < n; ++i) store.append(int_element(i));
}

// ---- W1: append N int32 ------------------------------------------------------

// Times `make()` alone: what it builds is destroyed with `destroy` outside
// the timed region, in batches of about 64k elements, so that the pauses
// cost little next to the appends they bracket.  Teardown has its own
// workload (W4); here it would blur the cost of appending.
template <class Make, class Destroy>
void time_builds(benchmark::State &state, Make make, Destroy destroy)
{
    const int32_t n = size_arg(state);
    const size_t batch = std::max<size_t>(1, 65536 / static_cast<size_t>(n));
    std::vector<decltype(make(n))> built;
    built.reserve(batch);
    for (auto _ : state) {
        built.push_back(make(n));
        if (built.size() == batch) {
            state.PauseTiming();
            for (auto &b : built) destroy(b);
            built.clear();
            state.ResumeTiming();
        }
    }
    for (auto &b : built) destroy(b);
    state.SetItemsProcessed(state.iterations() * n);
}

void W1_quolan(benchmark::State &state)
{
    int32_t failed = 0, capacity = 0;
    time_builds(
        state,
        [&](int32_t n) {
            QuolanObject *a = new_of(array_baseclass);
            const ArrayMethods *m = quolan_array_methods(a);
            for (int32_t i = 0; i < n; ++i) failed |= m->PutIntAt(a, i, -2);
            capacity = array_capacity(a);
            return a;
        },
        delete_object);
    if (failed) state.SkipWithError("PutIntAt failed");
    // Storage cost: 16 bytes per element plus the unused tail of the last
    // growth step.
    const int32_t n = size_arg(state);
    state.counters["bytes_per_element"] = capacity * 16.0 / n;
    state.counters["slack_elements"] = capacity - n;
}

// The same calls against the least the call shape allows (floor.cpp).
void W1_floor(benchmark::State &state)
{
    int32_t failed = 0;
    time_builds(
        state,
        [&](int32_t n) {
            auto *a = new FloorArray;
            const FloorMethods *m = floor_methods;
            for (int32_t i = 0; i < n; ++i) failed |= m->append(a, i);
            return a;
        },
        [](FloorArray *a) {
            floor_free(a);
            delete a;
        });
    if (failed) state.SkipWithError("append failed");
}

void W1_vector(benchmark::State &state)
{
    time_builds(
        state,
        [](int32_t n) {
            std::vector<Element> v;
            for (int32_t i = 0; i < n; ++i) v.push_back(int_element(i));
            return v;
        },
        [](std::vector<Element> &v) { std::vector<Element>().swap(v); });
}

void W1_garray(benchmark::State &state)
{
    time_builds(
        state,
        [](int32_t n) {
            GArray *a = g_array_new(FALSE, FALSE, sizeof(Element));
            for (int32_t i = 0; i < n; ++i) {
                Element e = int_element(i);
                g_array_append_vals(a, &e, 1);
            }
            return a;
        },
        [](GArray *a) { g_array_free(a, TRUE); });
}

// ---- W2: random GetAt over N int32 -------------------------------------------

void W2_quolan(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    Obj a = int_array(n);
    if (!a) return state.SkipWithError("fixture");
    const std::vector<int32_t> indices = random_indices(n, n);
    const ArrayMethods *m = quolan_array_methods(a.get());
    int64_t sum = 0;
    int32_t failed = 0;
    for (auto _ : state) {
        sum = 0;
        for (int32_t index : indices) {
            void *value;
            int32_t tag;
            failed |= m->GetAt(a.get(), &value, &tag, index);
            if (tag == Integer) sum += *static_cast<const int32_t *>(value);
        }
        keep(sum);
    }
    int64_t expected = 0;
    for (int32_t index : indices) expected += index;
    if (failed || sum != expected) state.SkipWithError("GetAt read the wrong values");
    state.SetItemsProcessed(state.iterations() * n);
}

void W2_floor(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    FloorArray a;
    const FloorMethods *m = floor_methods;
    for (int32_t i = 0; i < n; ++i) m->append(&a, i);
    const std::vector<int32_t> indices = random_indices(n, n);
    int64_t sum = 0;
    int32_t failed = 0;
    for (auto _ : state) {
        sum = 0;
        for (int32_t index : indices) {
            void *value;
            int32_t tag;
            failed |= m->get(&a, &value, &tag, index);
            if (tag == Integer) sum += *static_cast<const int32_t *>(value);
        }
        keep(sum);
    }
    floor_free(&a);
    int64_t expected = 0;
    for (int32_t index : indices) expected += index;
    if (failed || sum != expected) state.SkipWithError("get read the wrong values");
    state.SetItemsProcessed(state.iterations() * n);
}

template <class Store>
void W2_peer(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    Store store;
    fill(store, n);
    const std::vector<int32_t> indices = random_indices(n, n);
    for (auto _ : state) {
        int64_t sum = 0;
        const Element *elements = store.data();
        for (int32_t index : indices) {
            const Element &e = elements[index];
            if (e.tag == Integer) sum += e.value.integer;
        }
        keep(sum);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// ---- W3: walk N elements -------------------------------------------------------

void W3_quolan(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    Obj a = int_array(n);
    if (!a) return state.SkipWithError("fixture");
    const ArrayMethods *m = quolan_array_methods(a.get());
    int64_t sum = 0;
    for (auto _ : state) {
        sum = 0;
        m->SetIndex(a.get(), 0);
        void *value;
        int32_t tag;
        while (m->Next(a.get(), &value, &tag) == StatusOk)
            if (tag == Integer) sum += *static_cast<const int32_t *>(value);
        keep(sum);
    }
    if (sum != triangle(n)) state.SkipWithError("the walk missed elements");
    state.SetItemsProcessed(state.iterations() * n);
}

void W3_floor(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    FloorArray a;
    const FloorMethods *m = floor_methods;
    for (int32_t i = 0; i < n; ++i) m->append(&a, i);
    int64_t sum = 0;
    for (auto _ : state) {
        sum = 0;
        a.cursor = 0;
        void *value;
        int32_t tag;
        while (m->next(&a, &value, &tag) == StatusOk)
            if (tag == Integer) sum += *static_cast<const int32_t *>(value);
        keep(sum);
    }
    floor_free(&a);
    if (sum != triangle(n)) state.SkipWithError("the walk missed elements");
    state.SetItemsProcessed(state.iterations() * n);
}

template <class Store>
void W3_peer(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    Store store;
    fill(store, n);
    for (auto _ : state) {
        int64_t sum = 0;
        const Element *elements = store.data();
        for (size_t i = 0, size = store.size(); i < size; ++i)
            if (elements[i].tag == Integer) sum += elements[i].value.integer;
        keep(sum);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

void W3_cjson(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    std::vector<int> numbers(static_cast<size_t>(n));
    for (int32_t i = 0; i < n; ++i) numbers[static_cast<size_t>(i)] = i;
    cJSON *list = cJSON_CreateIntArray(numbers.data(), n);
    int64_t sum = 0;
    for (auto _ : state) {
        sum = 0;
        const cJSON *item;
        cJSON_ArrayForEach(item, list)
            if (cJSON_IsNumber(item)) sum += item->valueint;
        keep(sum);
    }
    cJSON_Delete(list);
    if (sum != triangle(n)) state.SkipWithError("the walk missed elements");
    state.SetItemsProcessed(state.iterations() * n);
}

// ---- W4: append N owned 12-character strings, then delete ----------------------

void W4_quolan(benchmark::State &state)
{
    const std::vector<std::string> texts = short_texts(size_arg(state));
    int32_t failed = 0;
    for (auto _ : state) {
        QuolanObject *a = new_of(array_baseclass);
        const ArrayMethods *m = quolan_array_methods(a);
        for (const std::string &t : texts) failed |= m->PutStringCopyAt(a, t.c_str(), -2);
        delete_object(a);
    }
    if (failed) state.SkipWithError("PutStringCopyAt failed");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
}

template <class Store>
void W4_peer(benchmark::State &state)
{
    const std::vector<std::string> texts = short_texts(size_arg(state));
    for (auto _ : state) {
        Store store;
        for (const std::string &t : texts)
            store.append(pointer_element(OwnedString, strdup(t.c_str())));
        const Element *elements = store.data();
        for (size_t i = 0, size = store.size(); i < size; ++i)
            if (elements[i].tag == OwnedString) std::free(elements[i].value.pointer);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
}

}  // namespace

void register_sequence_benchmarks()
{
    add_family("W1_Append",
               {{"quolan", W1_quolan},
                {"floor", W1_floor},
                {"vector", W1_vector},
                {"garray", W1_garray}},
               {1000, 1000000});
    add_family("W2_RandomGet",
               {{"quolan", W2_quolan},
                {"floor", W2_floor},
                {"vector", W2_peer<VectorStore>},
                {"garray", W2_peer<GArrayStore>}},
               {1000000});
    add_family("W3_Walk",
               {{"quolan", W3_quolan},
                {"floor", W3_floor},
                {"vector", W3_peer<VectorStore>},
                {"garray", W3_peer<GArrayStore>},
                {"cjson", W3_cjson}},
               {1000, 1000000});
    add_family("W4_OwnedStrings",
               {{"quolan", W4_quolan},
                {"vector", W4_peer<VectorStore>},
                {"garray", W4_peer<GArrayStore>}},
               {100000});
}

}  // namespace qb
