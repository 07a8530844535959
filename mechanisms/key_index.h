// An index beside a key or member store: find and find-or-create by hash, the
// store left exactly as its walk would leave it.
//
// The store stays the only record of keys, positions and order; the index
// only points into it.  Two structures, each with one job:
//
//   slots      a sparse table, a power of two in size, addressed by a key's
//              32-bit hash under its match kind.  A slot is 0 (empty), 1 (a
//              position removed) or a position p: p + 2 in its low bits, the
//              hash's bits above them, so that most slots that hold another
//              key are passed over without reading the store.  Probing
//              starts at hash & mask (bits below the position's, so the two
//              are independent) and goes on to the next slot: the hash is
//              seeded and well mixed, so runs stay short, and a run's slots
//              share a cache line, where a scattered probe would miss the
//              cache once per step in a large table.  At most 7/10 of the
//              slots are in use.
//   positions  per position of the store: the hash of the entry there while
//              it is filed (else 0), so the table grows without hashing a
//              key again; and a bit set while the entry is Null (a free
//              position), with a summary bit per 64 of them, so the first or
//              the last free position is found in a few words.
//
// What is filed is what the store owns or holds by value: Integers,
// Doubles (NaN aside: it equals nothing), the store's own texts
// (OwnedString), and objects and pointers by identity.  A borrowed text
// (String) may be changed by its owner at any time, so it is never hashed:
// its positions are kept in a short list that every text lookup compares.
// Null, Boolean and unknown kinds have no meaning as keys and are left to
// the walk.  A key held twice (a stream may load one) counts as a duplicate,
// and while there are any, a lookup takes the lowest position among the
// matches, as the walk does.
//
// The index trusts the store to change only through the storage module:
// every change there withdraws what vouched for the store (storage.h,
// TablesPrefix), and an index that no longer vouches is rebuilt before its
// next use.  Texts the store
// owns and numbers it holds are trusted not to change in place: the pointers
// GetSymbol, GetStringSymbol and GetValue hand out are for reading.
//
// Hashes are keyed with a seed drawn once per process, so a file of keys
// built to collide under any fixed hash does not collide here.
//
// Memory: 4 bytes per slot at between 0.35 and 0.7 of the slots in use, 4
// bytes of hash and a little over a bit per position, the per-position
// arrays kept a little ahead of the store: at most 16 bytes per key beyond
// a fixed kilobyte.
//
// May touch: the index and the store's storage through the storage module.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "array/storage.h"

namespace qc {

// ---- hashing ----

struct HashSeed {
    uint64_t a, b;
};

// The process's seed: drawn from the system's random source on first use.
inline std::atomic<uint64_t> g_seed_a{0};
inline std::atomic<uint64_t> g_seed_b{0};
HashSeed draw_seed();
inline HashSeed process_seed()
{
    const uint64_t a = g_seed_a.load(std::memory_order_relaxed);
    const uint64_t b = g_seed_b.load(std::memory_order_relaxed);
    return a != 0 && b != 0 ? HashSeed{a, b} : draw_seed();
}

__extension__ typedef unsigned __int128 Wide;  // GCC and clang on 64-bit targets

// A 64x64-bit multiply folded to 64 bits: every input bit reaches the middle
// output bits.
inline uint64_t fold_multiply(uint64_t x, uint64_t y)
{
    const Wide r = static_cast<Wide>(x) * y;
    return static_cast<uint64_t>(r) ^ static_cast<uint64_t>(r >> 64);
}

// Odd constants with well-mixed bits, one per kind of input.
constexpr uint64_t kHashInteger = 0xa0761d6478bd642full;
constexpr uint64_t kHashDouble = 0xe7037ed1a0b428dbull;
constexpr uint64_t kHashObject = 0x8ebc6af09c88c6e3ull;
constexpr uint64_t kHashPointer = 0x589965cc75374cc3ull;
constexpr uint64_t kHashOwnedPointer = 0x1d8e4e27c47d124full;
constexpr uint64_t kHashText = 0x9e3779b97f4a7c15ull;
constexpr uint64_t kHashFinal = 0xbf58476d1ce4e5b9ull;

// The index keeps 32 bits of a hash, never 0, which stands for "not filed".
using Hash = uint32_t;
inline Hash as_filed(uint64_t h)
{
    const auto f = static_cast<Hash>(h ^ (h >> 32));
    return f ? f : 1;
}

inline Hash hash_word(uint64_t word, uint64_t kind, const HashSeed &s)
{
    return as_filed(fold_multiply(word ^ s.a, kind ^ s.b));
}

// Texts are hashed over their bytes, their NUL and the zeros after it to
// the end of that word, two words (sixteen bytes) at a step: each step
// multiplies the running value, mixed with the first word, by the second
// mixed with a constant that depends on the seed, so a short key costs one
// multiply.  The store's own texts are kept in blocks padded that way
// (alloc_text in array/element.h), so they are hashed without being
// measured.
inline uint64_t text_pair(uint64_t h, uint64_t first, uint64_t second, const HashSeed &s)
{
    return fold_multiply(h ^ first, second ^ kHashText ^ s.b);
}
inline Hash text_end(uint64_t h, const HashSeed &s) { return as_filed(h ^ s.a); }

// The same of a text of up to seven bytes, one padded word.
inline Hash hash_word_text(uint64_t word, const HashSeed &s) { return text_end(text_pair(s.a, word, kHashFinal, s), s); }

inline Hash hash_words(const uint64_t *words, size_t count, const HashSeed &s)
{
    uint64_t h = s.a;
    size_t i = 0;
    for (; i + 1 < count; i += 2) h = text_pair(h, words[i], words[i + 1], s);
    if (i < count) h = text_pair(h, words[i], kHashFinal, s);
    return text_end(h, s);
}

inline Hash hash_text(const char *text, size_t length, const HashSeed &s)
{
    uint64_t words[2];
    uint64_t h = s.a;
    size_t n = length + 1;  // with the NUL
    for (; n > 16; n -= 16, text += 16) {
        std::memcpy(words, text, 16);
        h = text_pair(h, words[0], words[1], s);
    }
    load_text_words(text, n, words);  // the tail as its padded block holds it
    return text_end(n > 8 ? text_pair(h, words[0], words[1], s) : text_pair(h, words[0], kHashFinal, s), s);
}

inline bool has_zero_byte(uint64_t w) { return ((w - 0x0101010101010101ull) & ~w & 0x8080808080808080ull) != 0; }

// The same hash of a text in a padded block.
inline Hash hash_padded_text(const char *block, const HashSeed &s)
{
    uint64_t h = s.a;
    for (;; block += 16) {
        uint64_t first, second;
        std::memcpy(&first, block, 8);
        if (has_zero_byte(first)) return text_end(text_pair(h, first, kHashFinal, s), s);
        std::memcpy(&second, block + 8, 8);
        h = text_pair(h, first, second, s);
        if (has_zero_byte(second)) return text_end(h, s);
    }
}

inline uint64_t double_bits(double v)
{
    const double normal = v + 0.0;  // -0.0 hashes as 0.0, which it equals
    uint64_t bits;
    std::memcpy(&bits, &normal, sizeof bits);
    return bits;
}

inline uint64_t identity_kind(int32_t match)
{
    return match == Object ? kHashObject : match == Pointer ? kHashPointer : kHashOwnedPointer;
}

// The hash of a store entry under its match kind, or 0 when the index does
// not file it (see above).
inline Hash entry_hash(const Element &e, const HashSeed &s)
{
    switch (e.tag) {
    case Integer: return hash_word(static_cast<uint32_t>(e.value.integer), kHashInteger, s);
    case Double: return std::isnan(e.value.real) ? 0 : hash_word(double_bits(e.value.real), kHashDouble, s);
    case OwnedString: {
        const auto *text = static_cast<const char *>(e.value.pointer);
        return text ? hash_padded_text(text, s) : 0;
    }
    case Object:
    case OwnedObject:
    case Pointer:
    case OwnedPointer:
        return hash_word(reinterpret_cast<uintptr_t>(e.value.pointer), identity_kind(match_kind(e.tag)), s);
    default: return 0;
    }
}

// Whether two filed entries are the same key.
inline bool same_key(const Element &x, const Element &y)
{
    if (match_kind(x.tag) != match_kind(y.tag)) return false;
    switch (x.tag) {
    case Integer: return x.value.integer == y.value.integer;
    case Double: return x.value.real == y.value.real;
    case OwnedString:
        return std::strcmp(static_cast<const char *>(x.value.pointer), static_cast<const char *>(y.value.pointer)) == 0;
    default: return x.value.pointer == y.value.pointer;
    }
}

// ---- the index ----

#ifdef QUOLAN_NO_KEY_INDEX
constexpr bool kKeyIndex = false;  // searches walk, as the walk's cost is stated
#else
constexpr bool kKeyIndex = true;
#endif

// Stores with fewer positions are scanned, with the note below beside
// them: under 32 positions a scan of the storage costs less than a table.
constexpr int32_t kIndexThreshold = 32;

// The answers a search gave, as the index and the note keep them for a
// caller going through the keys in the order they were entered (a record's
// fields read as they were written): where it looks next is the position
// after the last answer, when that followed the one before; else -1.  Only
// a hint: the entry there is compared with the key, and taken as the walk's
// answer only while no other entry can match it.
template <class Position>
struct AnswerTrail {
    Position last_hit;  // the position the last search answered, or -1
    bool in_order;      // and it followed the one before

    int32_t next(int32_t extent) const { return in_order && last_hit + 1 < extent ? last_hit + 1 : -1; }
    void note(int32_t p)
    {
        in_order = p == last_hit + 1;
        last_hit = static_cast<Position>(p);
    }
};

// ---- the note: what the search keeps about a small store ----
//
// A store has no index below kIndexThreshold positions; the search keeps a
// note about it in its tables' block instead (storage.h: no allocation),
// which describes the store while it vouches for it:
//
//   fingerprint  bit (hash % 64) of the hash of every key the index would
//                file: a key whose bit is clear is held nowhere, so a new
//                key is entered without a scan
//   borrowed     a borrowed text may be held; those are not filed, so the
//                fingerprint rules nothing out
//   twice        a key may be held twice
//   trail        as the index's: while neither of the two above may be, a
//                key that matches the entry after the last answer is held
//                there only, which is the walk's answer
//   free_count   the Null positions, so that a new key looks for one only
//                when there is one
//
// The search keeps it up to date through its own puts and clears; after any
// other change the next search surveys the store afresh.
// What the note and the index vouch with (storage::vouch).
constexpr uint32_t kIndexVouches = 1;
constexpr uint32_t kNoteVouches = 2;

struct [[gnu::packed]] KeyNote {
    uint64_t fingerprint;
    int8_t free_count;  // at most kIndexThreshold
    AnswerTrail<int8_t> trail;
    bool borrowed : 1;
    bool twice : 1;

    static uint64_t bit(Hash hash) { return uint64_t{1} << (hash % 64); }
    bool may_hold(Hash hash) const { return (fingerprint & bit(hash)) != 0; }
    // Where the next key in order lies, when a match there is the only one;
    // else -1.
    int32_t next_in_order(int32_t used) const { return borrowed || twice ? -1 : trail.next(used); }
};
static_assert(sizeof(KeyNote) <= kNoteBytes && std::is_trivially_copyable_v<KeyNote>);
static_assert(kIndexThreshold <= INT8_MAX);

// REQUIRES: the tables exist.
inline KeyNote &note_of(const ArrayInstance *store) { return *reinterpret_cast<KeyNote *>(storage::prefix(store)->note); }
inline bool describes(const ArrayInstance *store) { return storage::vouched(store, kNoteVouches); }

// The first thing `n` says wrong about `store`, or NULL: a filed key whose
// bit is clear, a borrowed text or a key held twice it does not allow for,
// a wrong count of free positions.
inline const char *note_broken(const ArrayInstance *store, const KeyNote &n, const HashSeed &seed)
{
    const Element *e = storage::at(store, 0);
    const int32_t used = storage::used(store);
    if (used > kIndexThreshold && !n.twice) return "a note of a store too large for it";
    Hash hashes[kIndexThreshold];
    int32_t free_count = 0;
    for (int32_t p = 0; p < used; ++p) {
        free_count += e[p].tag == Null;
        if (e[p].tag == String && !n.borrowed) return "a borrowed text the note does not allow for";
        const Hash hash = entry_hash(e[p], seed);
        if (hash && !n.may_hold(hash)) return "a key the note's fingerprint rules out";
        if (p >= kIndexThreshold) continue;
        hashes[p] = hash;
        for (int32_t q = 0; hash && q < p && !n.twice; ++q)
            if (hashes[q] == hash && same_key(e[q], e[p])) return "a key held twice the note does not allow for";
    }
    return free_count == n.free_count ? nullptr : "the note counts the free positions wrong";
}

// Makes `n` describe `store` as it is now.  Debug builds check first that
// it does, and stop the process naming what it says wrong.
#ifdef NDEBUG
inline void stamp(const KeyNote &, const ArrayInstance *store) { storage::vouch(store, kNoteVouches); }
#else
void stamp(const KeyNote &n, const ArrayInstance *store);
#endif

// Describes a store of fewer than kIndexThreshold positions afresh and
// answers true.  A larger one gets a note that rules nothing out and does
// not vouch for it: false.
bool survey(ArrayInstance *store);

struct KeyIndex {
    Attachment base;       // first, so the store's attachment is the index
    HashSeed seed;
    uint32_t *slots;       // see above
    uint32_t mask;         // slots - 1
    uint32_t low;          // the low bits of a slot, which hold a position + 2
    uint32_t live;         // slots holding a position
    uint32_t removed;      // slots marked removed
    uint32_t duplicates;   // entries whose key an entry filed before holds too
    Hash *hashes;          // per position
    uint64_t *free_words;  // one bit per position
    uint64_t *free_summary;  // one bit per word of free_words
    int32_t positions;     // positions the per-position arrays cover
    int32_t extent;        // the store's used count the index describes
    int32_t free_count;
    int32_t *borrowed;     // positions of borrowed texts, in no order
    int32_t borrowed_count;
    int32_t borrowed_room;
    AnswerTrail<int32_t> trail;

    static constexpr uint32_t kEmpty = 0;
    static constexpr uint32_t kRemoved = 1;
    static constexpr uint32_t kPositionBase = 2;

    // A slot's parts: above the position, the hash's bits there.
    uint32_t tag_of(Hash hash) const { return hash & ~low; }
    uint32_t position_mask() const { return low; }
    uint32_t slot_for(int32_t position, Hash hash) const
    {
        return tag_of(hash) | (static_cast<uint32_t>(position) + kPositionBase);
    }
    // The probe: where a hash starts, and the slot after `i`.
    uint32_t home(Hash hash) const { return hash & mask; }
    uint32_t after(uint32_t i) const { return (i + 1) & mask; }

    // The lowest position whose entry `match` accepts among those filed
    // under `hash`, or -1.  `*vacancy` receives the slot a new entry of that
    // hash would take: the first removed one met, else the empty one that
    // ended the probe.
    template <class Match>
    int32_t find(const Element *entries, Hash hash, const Match &match, uint32_t *vacancy = nullptr) const
    {
        const uint32_t tag = tag_of(hash);
        uint32_t i = home(hash);
        int32_t best = -1;
        bool spare = false;
        for (;;) {
            const uint32_t s = slots[i];
            if (s == kEmpty) {
                if (vacancy && !spare) *vacancy = i;
                return best;
            }
            if (s == kRemoved) {
                if (vacancy && !spare) *vacancy = i;
                spare = true;
            } else if ((s & ~low) == tag) {
                const int32_t p = static_cast<int32_t>((s & low) - kPositionBase);
                if (match(entries[p])) {
                    if (duplicates == 0) return p;
                    if (best < 0 || p < best) best = p;
                }
            }
            i = after(i);
        }
    }

    // Where the next key in order lies, when a match there is the only one
    // (every entry that can match is filed once); else -1.
    int32_t next_in_order() const { return duplicates == 0 && borrowed_count == 0 ? trail.next(extent) : -1; }

    // The last (or first) free position, or -1.
    int32_t last_free() const;
    int32_t first_free() const;
    bool is_free(int32_t p) const { return (free_words[static_cast<size_t>(p) / 64] >> (p % 64)) & 1; }

    // Whether one more position may be filed without a larger table.
    bool has_room() const { return (live + removed + 1) * 10 <= (mask + 1) * 7; }
    // Whether a slot can say `position`.
    bool can_say(int32_t position) const { return static_cast<uint32_t>(position) + kPositionBase <= position_mask(); }

    // Files `position` under `hash` at `vacancy`, the slot find named for it.
    void fill(uint32_t vacancy, int32_t position, Hash hash)
    {
        if (slots[vacancy] == kRemoved) --removed;
        slots[vacancy] = slot_for(position, hash);
        hashes[position] = hash;
        ++live;
    }

    void set_free(int32_t p)
    {
        const size_t w = static_cast<size_t>(p) / 64;
        free_words[w] |= uint64_t{1} << (p % 64);
        free_summary[w / 64] |= uint64_t{1} << (w % 64);
        ++free_count;
    }
    void clear_free(int32_t p)
    {
        const size_t w = static_cast<size_t>(p) / 64;
        const uint64_t bit = uint64_t{1} << (p % 64);
        if (!(free_words[w] & bit)) return;
        free_words[w] &= ~bit;
        if (free_words[w] == 0) free_summary[w / 64] &= ~(uint64_t{1} << (w % 64));
        --free_count;
    }
    // Whether the index describes `store` as it is.
    bool current(const ArrayInstance *store) const
    {
        return storage::vouched(store, kIndexVouches) && extent == storage::used(store);
    }
};

inline KeyIndex *index_of(const ArrayInstance *store) { return reinterpret_cast<KeyIndex *>(storage::attachment(store)); }

// Files `position`, known not to be filed, under `hash` in a table that has
// room; with `check`, counts it as a duplicate when an entry of the same key
// is filed already.
void file(KeyIndex *x, const Element *entries, int32_t position, Hash hash, bool check);

// The store's index, made or brought up to date first; NULL when the store
// is too small for one or memory for it runs out (the caller then scans).
// REQUIRES: a plain store without a maximum size.
KeyIndex *index_for_search_rest(ArrayInstance *store);
inline KeyIndex *index_for_search(ArrayInstance *store)
{
    KeyIndex *x = index_of(store);
    return x && x->current(store) ? x : index_for_search_rest(store);
}

// After the search itself changed the store (an entry put at `position`,
// which was free or new; -1 when the put failed), brings the index up to
// date; `hash` is the new entry's when it is filed under one (else 0), and
// `vacancy` the slot the search's probe named for it.  An index that cannot
// follow is dropped.  The common case, one entry filed where the index has
// room for it, is done inline.
void index_after_entry_rest(ArrayInstance *store, KeyIndex *index, int32_t position, Hash hash);
inline void index_after_entry(ArrayInstance *store, KeyIndex *x, int32_t position, Hash hash, uint32_t vacancy)
{
    const int32_t extent = x->extent;
    if (hash && position >= 0 && position <= extent && storage::used(store) == (position < extent ? extent : extent + 1) &&
        position < x->positions && x->can_say(position) && x->has_room()) {
        if (position < extent) x->clear_free(position);
        else x->extent = position + 1;
        x->fill(vacancy, position, hash);
        storage::vouch(store, kIndexVouches);
        return;
    }
    index_after_entry_rest(store, x, position, hash);
}

// Clears `position` of a plain store whose index or note is up to date as
// the store's ClearAt would, keeping them so; false when neither is (then
// ClearAt it through the store's table).  Answers the element taken out,
// for the caller to release.
bool index_clear(ArrayInstance *store, int32_t position, Element *taken);

}  // namespace qc
