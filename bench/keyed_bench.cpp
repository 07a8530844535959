// Keyed workloads: n text keys put then got (W5), n integers added to a set
// then looked up (W6).  One iteration builds the container from nothing,
// does n puts (adds) of distinct keys and n gets (lookups), and destroys it;
// the rate is reported per operation, 2n per iteration.
//
// The library scans small stores and looks larger ones up through its key
// index, so the hash tables (GHashTable, std::unordered_*, json-c's object)
// are the peers it is held to at every size.  The "linear" peers, a
// hand-written scan with the same ownership (W5 keeps its own strdup'd copy
// of every key, as the dictionary must) and the same 16-byte elements (W6),
// and cJSON's list-backed object show what a walk costs; a build with
// QUOLAN_KEY_INDEX=OFF is held to them.
#include <cjson/cJSON.h>
#include <glib.h>
#include <json-c/json.h>

#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

#include "bench_support.h"

namespace qb {
namespace {

using Keys = std::vector<std::string>;

// Runs `Body(keys)` per iteration over the keys `Make` makes; it answers the
// sum of the values it got back, which must be the sum of the values put
// (0 .. n-1).
template <int64_t (*Body)(const Keys &), Keys (*Make)(int32_t)>
void run_string_keys(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    const Keys keys = Make(n);
    int64_t sum = 0;
    for (auto _ : state) {
        sum = Body(keys);
        keep(sum);
    }
    if (sum != triangle(n)) state.SkipWithError("lookups did not find every key");
    state.SetItemsProcessed(state.iterations() * 2 * n);
}

// The same for the set: `body(values)` answers how many lookups hit.
template <class Body>
void run_int_set(benchmark::State &state, Body body)
{
    const int32_t n = size_arg(state);
    const std::vector<int32_t> values = distinct_ints(n);
    int64_t hits = 0;
    for (auto _ : state) {
        hits = body(values);
        keep(hits);
    }
    if (hits != n) state.SkipWithError("lookups did not find every member");
    state.SetItemsProcessed(state.iterations() * 2 * n);
}

// ---- W5: PutIntStringKey then GetStringKey -------------------------------------

int64_t w5_quolan(const Keys &keys)
{
    QuolanObject *d = new_of(dict_baseclass);
    const DictMethods *m = quolan_dict_methods(d);
    int64_t sum = 0;
    for (size_t i = 0; i < keys.size(); ++i)
        if (m->PutIntStringKey(d, static_cast<int32_t>(i), keys[i].c_str()) != StatusOk) sum = -1;
    for (const std::string &key : keys) {
        void *value;
        int32_t kind;
        if (m->GetStringKey(d, &value, &kind, key.c_str()) == StatusOk && kind == Integer)
            sum += *static_cast<const int32_t *>(value);
    }
    delete_object(d);
    return sum;
}

// The linear limit: owned key copies beside their values, searched in order.
struct LinearStringMap {
    std::vector<std::pair<char *, int32_t>> entries;
    LinearStringMap() = default;
    LinearStringMap(const LinearStringMap &) = delete;
    LinearStringMap &operator=(const LinearStringMap &) = delete;
    ~LinearStringMap()
    {
        for (auto &entry : entries) std::free(entry.first);
    }
    std::pair<char *, int32_t> *find(const char *key)
    {
        for (auto &entry : entries)
            if (std::strcmp(entry.first, key) == 0) return &entry;
        return nullptr;
    }
    void put(const char *key, int32_t value)
    {
        if (auto *entry = find(key)) entry->second = value;
        else entries.emplace_back(strdup(key), value);
    }
};

int64_t w5_linear(const Keys &keys)
{
    LinearStringMap map;
    for (size_t i = 0; i < keys.size(); ++i) map.put(keys[i].c_str(), static_cast<int32_t>(i));
    int64_t sum = 0;
    for (const std::string &key : keys)
        if (auto *entry = map.find(key.c_str())) sum += entry->second;
    return sum;
}

// cJSON's object is a list: adding appends without a search, a lookup walks.
int64_t w5_cjson(const Keys &keys)
{
    cJSON *object = cJSON_CreateObject();
    for (size_t i = 0; i < keys.size(); ++i)
        cJSON_AddNumberToObject(object, keys[i].c_str(), static_cast<double>(i));
    int64_t sum = 0;
    for (const std::string &key : keys)
        if (const cJSON *item = cJSON_GetObjectItemCaseSensitive(object, key.c_str()))
            sum += item->valueint;
    cJSON_Delete(object);
    return sum;
}

int64_t w5_jsonc(const Keys &keys)
{
    json_object *object = json_object_new_object();
    for (size_t i = 0; i < keys.size(); ++i)
        json_object_object_add(object, keys[i].c_str(),
                               json_object_new_int(static_cast<int32_t>(i)));
    int64_t sum = 0;
    for (const std::string &key : keys) {
        json_object *item = nullptr;
        if (json_object_object_get_ex(object, key.c_str(), &item)) sum += json_object_get_int(item);
    }
    json_object_put(object);
    return sum;
}

int64_t w5_ghash(const Keys &keys)
{
    GHashTable *table = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, nullptr);
    for (size_t i = 0; i < keys.size(); ++i)
        g_hash_table_insert(table, g_strdup(keys[i].c_str()),
                            GINT_TO_POINTER(static_cast<gint>(i)));
    int64_t sum = 0;
    for (const std::string &key : keys) {
        gpointer value;
        if (g_hash_table_lookup_extended(table, key.c_str(), nullptr, &value))
            sum += GPOINTER_TO_INT(value);
    }
    g_hash_table_destroy(table);
    return sum;
}

int64_t w5_unordered_map(const Keys &keys)
{
    std::unordered_map<std::string, int32_t> map;
    for (size_t i = 0; i < keys.size(); ++i) map.insert_or_assign(keys[i], static_cast<int32_t>(i));
    int64_t sum = 0;
    for (const std::string &key : keys) {
        auto found = map.find(key);
        if (found != map.end()) sum += found->second;
    }
    return sum;
}

// ---- W6: AddInt32 then ContainsInt32 ---------------------------------------------

void W6_quolan(benchmark::State &state)
{
    run_int_set(state, [](const std::vector<int32_t> &values) {
        QuolanObject *s = new_of(genset_baseclass);
        const GenSetMethods *m = quolan_genset_methods(s);
        int64_t hits = 0;
        for (int32_t v : values)
            if (m->AddInt32(s, v) != StatusOk) hits = -1;
        for (int32_t v : values) hits += m->ContainsInt32(s, v);
        delete_object(s);
        return hits;
    });
}

// The linear limit: 16-byte tagged elements, compared by tag and value.
bool linear_contains(const std::vector<Element> &members, int32_t v)
{
    for (const Element &e : members)
        if (e.tag == Integer && e.value.integer == v) return true;
    return false;
}

void W6_linear(benchmark::State &state)
{
    run_int_set(state, [](const std::vector<int32_t> &values) {
        std::vector<Element> members;
        for (int32_t v : values)
            if (!linear_contains(members, v)) members.push_back(int_element(v));
        int64_t hits = 0;
        for (int32_t v : values) hits += linear_contains(members, v);
        return hits;
    });
}

void W6_ghash(benchmark::State &state)
{
    run_int_set(state, [](const std::vector<int32_t> &values) {
        GHashTable *table = g_hash_table_new(g_direct_hash, g_direct_equal);
        for (int32_t v : values) g_hash_table_add(table, GINT_TO_POINTER(v));
        int64_t hits = 0;
        for (int32_t v : values) hits += g_hash_table_contains(table, GINT_TO_POINTER(v));
        g_hash_table_destroy(table);
        return hits;
    });
}

void W6_unordered_set(benchmark::State &state)
{
    run_int_set(state, [](const std::vector<int32_t> &values) {
        std::unordered_set<int32_t> set;
        for (int32_t v : values) set.insert(v);
        int64_t hits = 0;
        for (int32_t v : values) hits += set.contains(v);
        return hits;
    });
}

}  // namespace

void register_keyed_benchmarks()
{
    add_family("W5_StringKey",
               {{"quolan", run_string_keys<w5_quolan, key_texts>},
                {"linear", run_string_keys<w5_linear, key_texts>},
                {"cjson", run_string_keys<w5_cjson, key_texts>},
                {"jsonc", run_string_keys<w5_jsonc, key_texts>},
                {"ghash", run_string_keys<w5_ghash, key_texts>},
                {"unordered_map", run_string_keys<w5_unordered_map, key_texts>}},
               {16, 256, 4096, 65536});
    // The same work over keys whose numbers follow no order (see
    // scattered_key_texts): the hash tables' own speed, apart from what
    // consecutive keys lend a hash that files them side by side.
    add_family("W5s_ScatteredKeys",
               {{"quolan", run_string_keys<w5_quolan, scattered_key_texts>},
                {"ghash", run_string_keys<w5_ghash, scattered_key_texts>},
                {"unordered_map", run_string_keys<w5_unordered_map, scattered_key_texts>}},
               {4096, 65536});
    add_family("W6_IntSet",
               {{"quolan", W6_quolan},
                {"linear", W6_linear},
                {"ghash", W6_ghash},
                {"unordered_set", W6_unordered_set}},
               {16, 256, 4096, 65536});
}

}  // namespace qb
