// The key index (see key_index.h): its seed, building it, keeping it up to
// date with the search's own changes, and the free positions.
//
// Every allocation here is an optional one (framework/memory.h): an index
// that cannot be built, or cannot grow with its store, is dropped, and the
// search walks the store as if there were none.  No operation fails for want
// of an index.
#include "mechanisms/key_index.h"

#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <ctime>

namespace qc {

namespace {

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
constexpr mem::Need kOptional = mem::Need::Optional;

// The smallest table that holds `live` positions at most 7/10 full.
uint32_t slots_for(uint32_t live)
{
    uint32_t n = kMinSlots;
    while (static_cast<uint64_t>(live) * 10 >= static_cast<uint64_t>(n) * 7) n *= 2;
    return n;
}

// The low bits a slot needs for every position of a store of `capacity`.
uint32_t bits_for(int32_t capacity)
{
    uint32_t bits = 1;
    while (bits < 32 && (uint64_t{1} << bits) <= static_cast<uint64_t>(capacity) + KeyIndex::kPositionBase) ++bits;
    return bits;
}

size_t words_for(int64_t positions) { return static_cast<size_t>((positions + 63) / 64); }

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

}  // namespace

void file(KeyIndex *x, const Element *entries, int32_t position, Hash hash, bool check)
{
    const uint32_t tag = x->tag_of(hash), low = x->low;
    uint32_t i = x->home(hash);
    int64_t spare = -1;  // the first removed slot met
    bool equal = false;
    for (;;) {
        const uint32_t s = x->slots[i];
        if (s == KeyIndex::kEmpty) break;
        if (s == KeyIndex::kRemoved) {
            if (spare < 0) spare = i;
            if (!check) break;
        } else if (check && !equal && (s & ~low) == tag) {
            equal = same_key(entries[(s & low) - KeyIndex::kPositionBase], entries[position]);
        }
        i = x->after(i);
    }
    if (spare >= 0) {
        i = static_cast<uint32_t>(spare);
        --x->removed;
    }
    x->slots[i] = x->slot_for(position, hash);
    x->hashes[position] = hash;
    ++x->live;
    if (equal) ++x->duplicates;
}

namespace {

// The table's slot holding `position`, filed under `hash`.
uint32_t slot_of(const KeyIndex *x, int32_t position, Hash hash)
{
    const uint32_t wanted = x->slot_for(position, hash);
    uint32_t i = x->home(hash);
    while (x->slots[i] != wanted) i = x->after(i);
    return i;
}

// A new table of `size` slots whose slots hold positions up to `capacity`,
// holding every entry the index files but `skip` (the one being taken in),
// under the hashes it keeps for them.  With `count`, the index is being
// built and the duplicates are counted afresh.  False when memory runs out
// (the old table stays).
bool refile(KeyIndex *x, const Element *entries, uint32_t size, int32_t capacity, bool count, int32_t skip = -1)
{
    auto *slots = static_cast<uint32_t *>(mem::zalloc(size, sizeof(uint32_t), kOptional));
    if (!slots) return false;
    mem::release(x->slots);
    x->slots = slots;
    x->mask = size - 1;
    // Room for positions up to twice the larger of the store and the table:
    // a store that grows needs more bits only about when the table needs
    // more slots, so one filing afresh serves both.
    const uint32_t bits = bits_for(2 * std::max<int32_t>(capacity, static_cast<int32_t>(size)));
    x->low = bits >= 32 ? ~0u : (1u << bits) - 1;
    x->live = x->removed = 0;
    if (count) x->duplicates = 0;
    for (int32_t p = 0; p < x->extent; ++p) {
        const Hash hash = x->hashes[p];
        if (!hash || p == skip) continue;
        if (count) {
            file(x, entries, p, hash, true);
            continue;
        }
        // A fresh table holds no removed slot and no entry of this key: the
        // first empty slot of the probe takes it.
        uint32_t i = x->home(hash);
        while (x->slots[i] != KeyIndex::kEmpty) i = x->after(i);
        x->slots[i] = x->slot_for(p, hash);
        ++x->live;
    }
    return true;
}

// Per-position arrays covering `positions`, rounded up to whole words of
// free bits; false when memory runs out.
bool cover(KeyIndex *x, int32_t positions)
{
    if (positions <= x->positions) return true;
    // Ahead of what is asked, so that a growing store reallocates the arrays
    // a bounded number of times per doubling, not once per 64 positions: a
    // sixteenth more, and at least 192 positions (under 1 KB) more, which
    // keeps the index within 16 bytes a key beyond a fixed kilobyte.
    const int64_t more = std::max<int64_t>(positions / 16, 192);
    const int32_t ahead = static_cast<int32_t>(std::min<int64_t>(INT32_MAX - 63, int64_t{positions} + more));
    const size_t old_words = words_for(x->positions), words = words_for(ahead);
    const size_t old_summary = words_for(static_cast<int64_t>(old_words)), summary = words_for(static_cast<int64_t>(words));
    const size_t covered = words * 64;
    auto *hashes = static_cast<Hash *>(mem::grow(x->hashes, covered * sizeof(Hash), kOptional));
    if (!hashes) return false;
    x->hashes = hashes;
    std::memset(hashes + x->positions, 0, (covered - static_cast<size_t>(x->positions)) * sizeof(Hash));
    auto *free_words = static_cast<uint64_t *>(mem::grow(x->free_words, words * sizeof(uint64_t), kOptional));
    if (!free_words) return false;
    x->free_words = free_words;
    std::memset(free_words + old_words, 0, (words - old_words) * sizeof(uint64_t));
    auto *free_summary = static_cast<uint64_t *>(mem::grow(x->free_summary, summary * sizeof(uint64_t), kOptional));
    if (!free_summary) return false;
    x->free_summary = free_summary;
    std::memset(free_summary + old_summary, 0, (summary - old_summary) * sizeof(uint64_t));
    x->positions = static_cast<int32_t>(covered);
    return true;
}

bool note_borrowed(KeyIndex *x, int32_t p)
{
    if (x->borrowed_count == x->borrowed_room) {
        const int32_t room = std::max(8, x->borrowed_room * 2);
        auto *grown = static_cast<int32_t *>(mem::grow(x->borrowed, static_cast<size_t>(room) * sizeof(int32_t), kOptional));
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

// Takes in the entry at `p`, which the index does not hold yet: filed, free,
// or a borrowed text.  `hash` is its hash when the caller knows it, else 0;
// `check` whether another entry may hold its key.  The index describes the
// positions below its extent (p among them, or p the extent itself).  False
// when memory runs out.
bool learn(KeyIndex *x, ArrayInstance *store, int32_t p, Hash hash, bool check)
{
    const Element *entries = storage::at(store, 0);
    const Element &e = entries[p];
    if (e.tag == Null) {
        x->set_free(p);
        return true;
    }
    if (e.tag == String) return note_borrowed(x, p);
    if (!hash) hash = entry_hash(e, x->seed);
    if (!hash) return true;
    // A fuller table, or a store grown past what the slots can say, is
    // filed afresh first.
    const bool fits = x->can_say(store->capacity);
    if ((!x->has_room() || !fits) && !refile(x, entries, slots_for(x->live + 1), store->capacity, false, p))
        return false;
    file(x, entries, p, hash, check);
    return true;
}

// Lets go of the entry at `p`, which still holds what the index took in.
void forget(KeyIndex *x, const Element *entries, int32_t p)
{
    x->clear_free(p);
    if (entries[p].tag == String) forget_borrowed(x, p);
    const Hash hash = x->hashes[p];
    if (!hash) return;
    x->slots[slot_of(x, p, hash)] = KeyIndex::kRemoved;
    x->hashes[p] = 0;
    --x->live;
    ++x->removed;
    // The key may be held elsewhere as well, which made one of them a
    // duplicate: while another holds it, one duplicate fewer.
    if (x->duplicates > 0 && x->find(entries, hash, [&](const Element &o) { return &o != &entries[p] && same_key(o, entries[p]); }) >= 0)
        --x->duplicates;
}

// Describes the store afresh; false when memory runs out.
bool rebuild(KeyIndex *x, ArrayInstance *store)
{
    const int32_t extent = storage::used(store);
    const Element *entries = storage::at(store, 0);
    if (!cover(x, store->capacity)) return false;
    std::memset(x->hashes, 0, static_cast<size_t>(x->positions) * sizeof(Hash));
    std::memset(x->free_words, 0, words_for(x->positions) * sizeof(uint64_t));
    std::memset(x->free_summary, 0, words_for(static_cast<int64_t>(words_for(x->positions))) * sizeof(uint64_t));
    x->free_count = 0;
    x->borrowed_count = 0;
    uint32_t live = 0;
    for (int32_t p = 0; p < extent; ++p) {
        const Element &e = entries[p];
        if (e.tag == Null) {
            x->set_free(p);
        } else if (e.tag == String) {
            if (!note_borrowed(x, p)) return false;
        } else if ((x->hashes[p] = entry_hash(e, x->seed))) {
            ++live;
        }
    }
    x->extent = extent;
    if (!refile(x, entries, slots_for(live), store->capacity, true)) return false;
    storage::vouch(store, kIndexVouches);
    return true;
}

}  // namespace

HashSeed draw_seed()
{
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
    for (size_t s = words_for(static_cast<int64_t>(words_for(extent)));; --s)
        if (free_summary[s - 1]) {
            const size_t w = (s - 1) * 64 + 63 - static_cast<size_t>(__builtin_clzll(free_summary[s - 1]));
            return static_cast<int32_t>(w * 64 + 63 - static_cast<size_t>(__builtin_clzll(free_words[w])));
        }
}

KeyIndex *index_for_search_rest(ArrayInstance *store)
{
    if (!kKeyIndex) return nullptr;
    KeyIndex *x = index_of(store);
    if (!x) {
        if (storage::used(store) < kIndexThreshold) return nullptr;
        x = static_cast<KeyIndex *>(mem::zalloc(1, sizeof(KeyIndex), kOptional));
        if (!x) return nullptr;
        x->base.release = release_index;
        x->seed = process_seed();
        x->trail.last_hit = -1;
        storage::attach(store, &x->base);
    }
    if (rebuild(x, store)) return x;
    storage::attach(store, nullptr);  // walk until memory allows an index again
    return nullptr;
}

void index_after_entry_rest(ArrayInstance *store, KeyIndex *x, int32_t position, Hash hash)
{
    const int32_t extent = storage::used(store);
    bool ok = cover(x, store->capacity);
    if (ok && position >= 0 && position < x->extent) {
        // A free position took the entry: it is free no longer.
        x->clear_free(position);
        ok = learn(x, store, position, hash, false);
    }
    for (int32_t p = x->extent; ok && p < extent; x->extent = ++p)
        ok = learn(x, store, p, p == position ? hash : 0, p != position);
    x->extent = extent;
    storage::vouch(store, kIndexVouches);
    if (!ok) storage::attach(store, nullptr);
}

#ifndef NDEBUG
void stamp(const KeyNote &n, const ArrayInstance *store)
{
    if (const char *wrong = note_broken(store, n, process_seed())) storage::report_broken(wrong, "the key search");
    storage::vouch(store, kNoteVouches);
}
#endif

bool survey(ArrayInstance *store)
{
    KeyNote &n = note_of(store);
    const int32_t used = storage::used(store);
    const Element *entries = storage::at(store, 0);
    const HashSeed seed = process_seed();
    Hash hashes[kIndexThreshold];
    n = KeyNote{};
    n.trail.last_hit = -1;
    if (used >= kIndexThreshold) {
        n.borrowed = n.twice = true;
        n.free_count = 1;  // a free position is looked for, and may not be found
        return false;
    }
    for (int32_t p = 0; p < used; ++p) {
        const Element &e = entries[p];
        hashes[p] = 0;
        if (e.tag == Null) {
            ++n.free_count;
        } else if (e.tag == String) {
            n.borrowed = true;
        } else if (const Hash hash = entry_hash(e, seed)) {
            n.fingerprint |= KeyNote::bit(hash);
            hashes[p] = hash;
            for (int32_t q = 0; q < p && !n.twice; ++q) n.twice = hashes[q] == hash && same_key(entries[q], e);
        }
    }
    stamp(n, store);
    return true;
}

bool index_clear(ArrayInstance *store, int32_t position, Element *taken)
{
    if (!store->dimensions) return false;
    KeyIndex *x = index_of(store);
    const bool indexed = x && x->current(store);
    KeyNote &n = note_of(store);
    const bool noted = describes(store);
    if (!indexed && !noted) return false;
    // ClearAt as Array's: the position selected, its content taken out.
    if (storage::select(store, position, false) != StatusOk || !storage::selected(store)) return false;
    const bool was_free = storage::selected(store)->tag == Null;
    if (indexed) forget(x, storage::at(store, 0), position);
    *taken = storage::take(store);
    if (indexed) {
        x->set_free(position);
        storage::vouch(store, kIndexVouches);
    }
    if (noted) {
        // Its key's bit stays set: a bit says only that a key may be held.
        n.free_count += !was_free;
        stamp(n, store);
    }
    return true;
}

}  // namespace qc
