// The key index: hostile keys, what the index trusts and what it does not,
// and its memory.  That it answers what the walk answers, step by step, is
// the model's (tests/model), for every keyed class and its subclasses.
#include <random>

#include "mechanisms/key_index.h"
#include "support.h"

using namespace qt;

namespace {

std::string key_text(int i) { return "key" + std::to_string(i); }
// The private store of a dictionary's keys (word 8, offset 64) or a set's members (word 3).
QuolanObject *&key_store(QuolanObject *o, size_t word = 8) { return reinterpret_cast<QuolanObject **>(o)[word]; }
const qc::KeyIndex *index_of(QuolanObject *d) { return qc::index_of(qc::as_array(key_store(d))); }

// Probes a lookup of each filed position takes, on average.
double mean_probes(const qc::KeyIndex &x)
{
    int64_t probes = 0, filed = 0;
    for (int32_t p = 0; p < x.extent; ++p) {
        const uint32_t hash = x.hashes[p];
        if (!hash) continue;
        for (uint32_t i = x.home(hash); ++probes, x.slots[i] != x.slot_for(p, hash);) i = x.after(i);
        ++filed;
    }
    return filed ? double(probes) / double(filed) : 0;
}

// Texts of 31 bytes whose hashes are all the same under the unseeded hash:
// after the first sixteen bytes the running value is known, and the third
// word cancels it, so the last step multiplies the same two values for all.
std::vector<std::string> colliding_texts(size_t n)
{
    const qc::HashSeed unseeded{0, 0};
    const uint64_t cancel = 0x3141592653589793ull;
    uint64_t last;
    std::memcpy(&last, "abcdefg", 8);  // the last word, its NUL included
    std::mt19937_64 random(7);
    std::vector<std::string> texts;
    while (texts.size() < n) {
        uint64_t w[4] = {0, 0, 0, last};
        for (size_t i = 0; i < 16; ++i) reinterpret_cast<char *>(w)[i] = char('a' + random() % 26);
        w[2] = qc::text_pair(unseeded.a, w[0], w[1], unseeded) ^ cancel;
        if (!qc::has_zero_byte(w[2])) texts.emplace_back(reinterpret_cast<const char *>(w), 31);
    }
    return texts;
}

struct KeyIndex : ::testing::Test {
    void SetUp() override { if (!qc::kKeyIndex) GTEST_SKIP() << "built with QUOLAN_KEY_INDEX=OFF"; }
};

}  // namespace

// Keys chosen to collide under a fixed hash are spread by the process's
// seed: each is found within a few probes, not after a walk of the others.
TEST_F(KeyIndex, KeysBuiltToCollideUnseededDoNotCollideHere)
{
    const std::vector<std::string> keys = colliding_texts(3000);
    const qc::Hash unseeded = qc::hash_text(keys[0].c_str(), 31, {0, 0});
    for (const std::string &k : keys) ASSERT_EQ(qc::hash_text(k.c_str(), 31, {0, 0}), unseeded);

    Obj d = make(dict_baseclass_init()), s = make(genset_baseclass_init());
    for (size_t i = 0; i < keys.size(); ++i) {
        ASSERT_EQ(D(d.get())->PutIntStringKey(d.get(), int32_t(i), keys[i].c_str()), 0);
        ASSERT_EQ(G(s.get())->AddString(s.get(), keys[i].c_str()), 0);
    }
    const qc::KeyIndex *x = index_of(d.get());
    ASSERT_NE(x, nullptr);
    EXPECT_LT(mean_probes(*x), 3.0);
    for (size_t i = 0; i < keys.size(); i += 97) {
        EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), keys[i].c_str()), int32_t(i));
        EXPECT_EQ(G(s.get())->StringGetIndex(s.get(), keys[i].c_str()), int32_t(i));
    }
}

// Keys sought in the order they were entered are answered as the walk
// answers, also when the next key in order is held a second time lower down
// (as a stream may load it), or a borrowed text lower down now reads as it:
// a borrowed text is its owner's, who may change it, so neither the index
// (100 keys) nor the note of a small store (20 keys) files it, and it is
// found under what it says now.
struct KeysSoughtInOrder : ::testing::TestWithParam<int> {};

TEST_P(KeysSoughtInOrder, GetTheWalksAnswer)
{
    const int n = GetParam();
    // The chain of answers in order re-forms between `low` and `twice`.
    const int twice = n / 2, low = n / 5, cleared = 2 * n / 5, renamed = 7 * n / 10;
    Obj d = make(dict_baseclass_init());
    QuolanObject *o = d.get();
    // Every key in order: key `moved` is found at `at`, key `gone` nowhere.
    auto seek_in_order = [o, n](int moved, int32_t at, int gone) {
        for (int i = 0; i < n; ++i)
            EXPECT_EQ(D(o)->StringSymbolIndex(o, key_text(i).c_str()), i == moved ? at : i == gone ? -1 : i)
                << key_text(i);
    };
    for (int i = 0; i < n; ++i) D(o)->PutIntStringKey(o, i, key_text(i).c_str());
    seek_in_order(-1, -1, -1);
    QuolanObject *keys = key_store(o);
    ASSERT_EQ(A(keys)->PutStringCopyAt(keys, key_text(twice).c_str(), low), 0);  // held twice
    seek_in_order(twice, low, low);
    ASSERT_EQ(A(keys)->PutStringCopyAt(keys, key_text(low).c_str(), low), 0);
    ASSERT_EQ(D(o)->ClearKey(o, K(key_text(cleared).c_str()), String), 0);
    char borrowed[] = "other";
    ASSERT_EQ(D(o)->PutKey(o, nullptr, Null, borrowed, String), 0);  // into the cleared position
    std::strcpy(borrowed, key_text(renamed).c_str());
    seek_in_order(renamed, cleared, cleared);
    EXPECT_EQ(D(o)->StringSymbolIndex(o, "other"), -1);
    EXPECT_EQ(D(o)->PutIntStringKey(o, 7, key_text(renamed).c_str()), 0);  // the borrowed key's value
    EXPECT_EQ(D(o)->StringSymbolIndex(o, key_text(renamed).c_str()), cleared);
}

INSTANTIATE_TEST_SUITE_P(SmallAndIndexed, KeysSoughtInOrder, ::testing::Values(20, 100));

// The store changed behind the index, through its own methods or by a store
// of a client's class put in its place, is seen: the index is rebuilt, or the
// search walks the client's store through its table.
TEST_F(KeyIndex, AStoreChangedBehindTheIndexIsSeen)
{
    Obj d = make(dict_baseclass_init());
    for (int i = 0; i < 100; ++i) D(d.get())->PutIntStringKey(d.get(), i, key_text(i).c_str());
    QuolanObject *keys = key_store(d.get());
    ASSERT_EQ(A(keys)->PutStringCopyAt(keys, "planted", 40), 0);  // over key40
    ASSERT_EQ(A(keys)->ClearAt(keys, 41), 0);
    EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), "planted"), 40);
    EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), key_text(40).c_str()), -1);

    // A client's store: every step of the search through its own slots.
    static int32_t reads = 0;
    QuolanObject *counting = subclass_with<ArrayMethods>(array_baseclass_init(), [](ArrayMethods &t) {
        t.GetAt = [](QuolanObject *o, void **v, int32_t *tag, int32_t i) {
            ++reads;
            return A(array_baseclass)->GetAt(o, v, tag, i);
        };
    });
    QuolanObject *client = make(counting).release();
    for (int i = 0; i < 100; ++i) A(client)->PutStringCopyAt(client, key_text(i).c_str(), i);
    key_store(d.get()) = client;
    B(keys)->Delete(keys);
    EXPECT_EQ(D(d.get())->StringSymbolIndex(d.get(), key_text(99).c_str()), 99);
    EXPECT_EQ(reads, 100) << "walked, not looked up";
}

// At most 16 bytes of index per key beyond a fixed kilobyte, whatever the
// number of keys.
TEST_F(KeyIndex, HoldsAtMostSixteenBytesPerKey)
{
    Obj s = make(genset_baseclass_init());
    for (int32_t n = 1; n <= 6000; ++n) {
        ASSERT_EQ(G(s.get())->AddInt32(s.get(), n * 7919), 0);
        const auto *x = qc::index_of(qc::as_array(key_store(s.get(), 3)));
        if (!x) continue;
        const size_t words = (size_t(x->positions) + 63) / 64;
        const size_t bytes = sizeof *x + (x->mask + 1) * sizeof(uint32_t) + size_t(x->positions) * sizeof(qc::Hash) +
                             (words + (words + 63) / 64) * sizeof(uint64_t);
        ASSERT_LE(bytes, 16 * size_t(n) + 1024) << n;
    }
}
