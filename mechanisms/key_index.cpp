// The key index (see key_index.h): its seed, building, keeping it up to
// date with the search's own changes, and the free positions.
//
// Every allocation may fail (they are the library's optional ones: see
// framework/memory.h).  An index that cannot be built, or cannot grow with
// its store, is dropped, and the search walks the store as if there were
// none: no operation fails for want of an index.
#include "mechanisms/key_index.h"

#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <ctime>

namespace qc {

namespace {

std::atomic<uint64_t> g_seed_a{0};
std::atomic<uint64_t> g_seed_b{0};

// Eight bytes from the system's random source; when it has none to give,
// what varies from process to process (addresses, the time).
uint64_t random_word()
{
    uint64_t w = 0;
    if (getentropy(&w, sizeof w) == 0 && w != 0) return w;
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    const uint64_t here = reinterpret_cast<uintptr_t>(&t) ^ reinterpret_cast<uintptr_t>(&g_seed_a);
    return fold_multiply(here ^ static_cast<uint64_t>(t.tv_nsec), kHashFinal ^ static_cast<uint64_t>(t.tv_sec)) | 1;
}

constexpr uint32_t kMinSlots = 16;

// The smallest table that holds `live` positions at most 7/10 full.
uint32_t slots_for(uint32_t live)
{
    uint32_t n = kMinSlots;
    while (static_cast<uint64_t>(live) * 10 >= static_cast<uint64_t>(n) * 7) n *= 2;
    return n;
}

size_t words_for(int32_t positions) { return (static_cast<size_t>(positions) + 63) / 64; }

void release_index(Attachment *t)
{
    auto *x = reinterpret_cast<KeyIndex *>(t);
    mem::release(x->slots);
    mem::release(x->hashes);
    mem::release(x->free_words);
    mem::release(x->free_summary);
    mem::release(x->borrowed);
    mem::release(x);
}

// Files `position` under `hash` in the table, which has room.  With `check`,
// counts it as a duplicate when an entry of the same key is filed already.
void file(KeyIndex *x, const Element *entries, int32_t position, uint32_t hash, bool check)
{
    uint32_t i = hash & x->mask;
    uint32_t perturb = hash;
    int64_t spare = -1;  // the first removed slot met
    bool equal = false;
    for (;;) {
        const uint32_t s = x->slots[i];
        if (s == KeyIndex::kEmpty) break;
        if (s == KeyIndex::kRemoved) {
            if (spare < 0) spare = i;
            if (!check) break;
        } else if (check && !equal) {
            const uint32_t p = s - KeyIndex::kPositionBase;
            equal = x->hashes[p] == hash && same_key(entries[p], entries[position]);
        }
        perturb >>= 5;
        i = (i * 5 + 1 + perturb) & x->mask;
    }
    if (spare >= 0) {
        i = static_cast<uint32_t>(spare);
        --x->removed;
    }
    x->slots[i] = static_cast<uint32_t>(position) + KeyIndex::kPositionBase;
    ++x->live;
    if (equal) ++x->duplicates;
}

// The table's slot holding `position`, filed under `hash`.
uint32_t slot_of(const KeyIndex *x, int32_t position, uint32_t hash)
{
    const uint32_t wanted = static_cast<uint32_t>(position) + KeyIndex::kPositionBase;
    uint32_t i = hash & x->mask;
    uint32_t perturb = hash;
    while (x->slots[i] != wanted) {
        perturb >>= 5;
        i = (i * 5 + 1 + perturb) & x->mask;
    }
    return i;
}

// A new table of `size` slots holding every position filed now; false when
// memory runs out (the old table stays).
bool refile(KeyIndex *x, const Element *entries, uint32_t size)
{
    auto *slots = static_cast<uint32_t *>(mem::zalloc(size, sizeof(uint32_t), mem::Need::Optional));
    if (!slots) return false;
    mem::release(x->slots);
    x->slots = slots;
    x->mask = size - 1;
    x->live = x->removed = x->duplicates = 0;
    for (int32_t p = 0; p < x->extent; ++p)
        if (x->hashes[p]) file(x, entries, p, x->hashes[p], true);
    return true;
}

void set_free(KeyIndex *x, int32_t p)
{
    const size_t w = static_cast<size_t>(p) / 64;
    x->free_words[w] |= uint64_t{1} << (p % 64);
    x->free_summary[w / 64] |= uint64_t{1} << (w % 64);
    ++x->free_count;
}

void clear_free(KeyIndex *x, int32_t p)
{
    const size_t w = static_cast<size_t>(p) / 64;
    const uint64_t bit = uint64_t{1} << (p % 64);
    if (!(x->free_words[w] & bit)) return;
    x->free_words[w] &= ~bit;
    if (x->free_words[w] == 0) x->free_summary[w / 64] &= ~(uint64_t{1} << (w % 64));
    --x->free_count;
}

// Per-position arrays covering `positions`; false when memory runs out.
bool cover(KeyIndex *x, int32_t positions)
{
    if (positions <= x->positions) return true;
    const size_t old_words = words_for(x->positions), words = words_for(positions);
    const size_t old_summary = words_for(static_cast<int32_t>(old_words)), summary = words_for(static_cast<int32_t>(words));
    auto *hashes = static_cast<uint32_t *>(mem::grow(x->hashes, static_cast<size_t>(positions) * sizeof(uint32_t), mem::Need::Optional));
    if (!hashes) return false;
    x->hashes = hashes;
    std::memset(hashes + x->positions, 0, static_cast<size_t>(positions - x->positions) * sizeof(uint32_t));
    auto *free_words = static_cast<uint64_t *>(mem::grow(x->free_words, words * sizeof(uint64_t), mem::Need::Optional));
    if (!free_words) return false;
    x->free_words = free_words;
    std::memset(free_words + old_words, 0, (words - old_words) * sizeof(uint64_t));
    auto *free_summary = static_cast<uint64_t *>(mem::grow(x->free_summary, summary * sizeof(uint64_t), mem::Need::Optional));
    if (!free_summary) return false;
    x->free_summary = free_summary;
    std::memset(free_summary + old_summary, 0, (summary - old_summary) * sizeof(uint64_t));
    x->positions = positions;
    return true;
}

bool note_borrowed(KeyIndex *x, int32_t p)
{
    if (x->borrowed_count == x->borrowed_room) {
        const int32_t room = std::max(8, x->borrowed_room * 2);
        auto *grown = static_cast<int32_t *>(mem::grow(x->borrowed, static_cast<size_t>(room) * sizeof(int32_t), mem::Need::Optional));
        if (!grown) return false;
        x->borrowed = grown;
        x->borrowed_room = room;
    }
    x->borrowed[x->borrowed_count++] = p;
    return true;
}

void forget_borrowed(KeyIndex *x, int32_t p)
{
    for (int32_t k = 0; k < x->borrowed_count; ++k)
        if (x->borrowed[k] == p) {
            x->borrowed[k] = x->borrowed[--x->borrowed_count];
            return;
        }
}

// Takes in the entry at `p` (not in the index yet): filed, free, or a
// borrowed text.  `hash` is its hash when the caller knows it, else 0.
// False when memory runs out.
bool learn(KeyIndex *x, const Element *entries, int32_t p, uint32_t hash, bool check)
{
    const Element &e = entries[p];
    if (e.tag == Null) {
        set_free(x, p);
        return true;
    }
    if (e.tag == String) return note_borrowed(x, p);
    if (!hash) hash = entry_hash(e, x->seed);
    if (!hash) return true;
    if ((x->live + x->removed + 1) * 10 > (x->mask + 1) * 7 && !refile(x, entries, slots_for(x->live + 1)))
        return false;
    x->hashes[p] = hash;
    file(x, entries, p, hash, check);
    return true;
}

// Lets go of the entry at `p`, as the index holds it.
void forget(KeyIndex *x, const Element *entries, int32_t p)
{
    clear_free(x, p);
    if (entries[p].tag == String) forget_borrowed(x, p);
    const uint32_t hash = x->hashes[p];
    if (!hash) return;
    x->slots[slot_of(x, p, hash)] = KeyIndex::kRemoved;
    x->hashes[p] = 0;
    --x->live;
    ++x->removed;
    // The key may be held elsewhere as well, which made one of them a
    // duplicate: while another holds it, one duplicate fewer.
    if (x->duplicates > 0 && x->find(entries, hash, [&](const Element &o) { return same_key(o, entries[p]); }) >= 0)
        --x->duplicates;
}

// Describes the store afresh; false when memory runs out.
bool rebuild(KeyIndex *x, ArrayInstance *store)
{
    const int32_t extent = storage::used(store);
    const Element *entries = storage::at(store, 0);
    if (!cover(x, store->capacity)) return false;
    std::memset(x->hashes, 0, static_cast<size_t>(x->positions) * sizeof(uint32_t));
    std::memset(x->free_words, 0, words_for(x->positions) * sizeof(uint64_t));
    std::memset(x->free_summary, 0, words_for(static_cast<int32_t>(words_for(x->positions))) * sizeof(uint64_t));
    x->free_count = 0;
    x->borrowed_count = 0;
    uint32_t live = 0;
    for (int32_t p = 0; p < extent; ++p) {
        const Element &e = entries[p];
        if (e.tag == Null) {
            set_free(x, p);
        } else if (e.tag == String) {
            if (!note_borrowed(x, p)) return false;
        } else if (const uint32_t hash = entry_hash(e, x->seed)) {
            x->hashes[p] = hash;
            ++live;
        }
    }
    x->extent = extent;
    if (!refile(x, entries, slots_for(live))) return false;
    x->seen = x->base.changes;
    return true;
}

}  // namespace

HashSeed process_seed()
{
    uint64_t a = g_seed_a.load(std::memory_order_relaxed);
    uint64_t b = g_seed_b.load(std::memory_order_relaxed);
    if (a != 0 && b != 0) return {a, b};
    // Two threads may both draw; the first to publish wins for both.
    uint64_t expected = 0;
    g_seed_a.compare_exchange_strong(expected, random_word(), std::memory_order_relaxed);
    expected = 0;
    g_seed_b.compare_exchange_strong(expected, random_word(), std::memory_order_relaxed);
    return {g_seed_a.load(std::memory_order_relaxed), g_seed_b.load(std::memory_order_relaxed)};
}

int32_t KeyIndex::first_free() const
{
    if (free_count == 0) return -1;
    for (size_t s = 0;; ++s)
        if (free_summary[s]) {
            const size_t w = s * 64 + static_cast<size_t>(__builtin_ctzll(free_summary[s]));
            return static_cast<int32_t>(w * 64 + static_cast<size_t>(__builtin_ctzll(free_words[w])));
        }
}

int32_t KeyIndex::last_free() const
{
    if (free_count == 0) return -1;
    for (size_t s = words_for(static_cast<int32_t>(words_for(extent)));; --s)
        if (free_summary[s - 1]) {
            const size_t w = (s - 1) * 64 + 63 - static_cast<size_t>(__builtin_clzll(free_summary[s - 1]));
            return static_cast<int32_t>(w * 64 + 63 - static_cast<size_t>(__builtin_clzll(free_words[w])));
        }
}

KeyIndex *index_for_search(ArrayInstance *store)
{
    if (!kKeyIndex) return nullptr;
    KeyIndex *x = index_of(store);
    if (x && x->seen == x->base.changes && x->extent == storage::used(store)) return x;
    if (!x) {
        if (storage::used(store) < kIndexThreshold) return nullptr;
        x = static_cast<KeyIndex *>(mem::zalloc(1, sizeof(KeyIndex), mem::Need::Optional));
        if (!x) return nullptr;
        x->base.release = release_index;
        x->seed = process_seed();
        storage::attach(store, &x->base);
    }
    if (rebuild(x, store)) return x;
    storage::attach(store, nullptr);  // walk until memory allows an index again
    return nullptr;
}

void index_after_entry(ArrayInstance *store, KeyIndex *x, int32_t position, uint32_t hash)
{
    const int32_t extent = storage::used(store);
    const Element *entries = storage::at(store, 0);
    bool ok = cover(x, store->capacity);
    if (ok && position >= 0 && position < x->extent) {
        forget(x, entries, position);
        ok = learn(x, entries, position, hash, false);
    }
    for (int32_t p = x->extent; ok && p < extent; ++p) ok = learn(x, entries, p, p == position ? hash : 0, p != position);
    x->extent = extent;
    x->seen = x->base.changes;
    if (!ok) storage::attach(store, nullptr);
}

bool index_clear(ArrayInstance *store, int32_t position, Element *taken)
{
    KeyIndex *x = index_of(store);
    if (!x || x->seen != x->base.changes || x->extent != storage::used(store)) return false;
    // ClearAt as Array's: the position selected, its content taken out.
    if (storage::select(store, position, false) != StatusOk || !storage::selected(store)) return false;
    const Element *entries = storage::at(store, 0);
    forget(x, entries, position);
    *taken = storage::take(store);
    set_free(x, position);
    x->seen = x->base.changes;
    return true;
}

}  // namespace qc
