// GenSet: a set of tagged values, each present at most once.
//
// Members live in the member store, a private plain Array created on first
// use (a pure lookup included) and deleted by Clear, one member per position.
// Members never move; removing one leaves a Null entry, a free position, and
// the next new member takes the first free position, else it is appended.
// Lookup is the search shared with Dict's keys (mechanisms/key_search.h),
// with the same match kinds and equality; only the free-position rule
// differs.  The store owns what its element rules say: its own copy of an
// OwnedString member, OwnedObject and OwnedPointer members.
//
// On a stream a set is the member store's array record followed by whatever
// the root class writes for the object; the root's "nothing done" answer
// (StatusBaseIgnored) counts as success.  A set is not copied through the base Copy slot.
#include "genset/genset.h"

#include "mechanisms/key_search.h"

extern "C" {
QUOLAN_EXPORT QuolanObject *genset_baseclass = nullptr;
}

namespace qc {

namespace {

inline const GenSetMethods *genset_of(const QuolanObject *o) { return quolan_genset_methods(o); }

QuolanObject *member_store_of(QuolanObject *set) { return ensure_store(&as_genset(set)->member_store); }

// A new member takes the first free position (a Dict key takes the last).
constexpr FreePosition kFreePosition = FreePosition::First;

// The position of `value` of `kind`, or -1; with `add`, a missing member is
// entered first.
int32_t find_member(QuolanObject *set, const void *value, int32_t kind, bool add)
{
    QuolanObject *store = member_store_of(set);
    if (!store) return -1;
    return find_in_store<kFreePosition>(store, value, kind, add, nullptr);
}

int32_t contains(QuolanObject *set, const void *value, int32_t kind)
{
    return find_member(set, value, kind, false) >= 0 ? 1 : 0;
}

bool root_succeeded(int32_t status) { return status == StatusOk || status == StatusBaseIgnored; }

}  // namespace

struct GenSet : ClassFramework<kGenSetClass> {
    static int32_t Init(QuolanObject *self)
    {
        int32_t status = base_of(quolan_class)->Init(self);
        if (status == StatusOk) as_genset(self)->member_store = nullptr;
        return status;
    }

    static void Clear(QuolanObject *self)
    {
        drop_store(&as_genset(self)->member_store);
        base_of(quolan_class)->Clear(self);
    }

    static QuolanObject *Copy(QuolanObject *, QuolanObject *) { return nullptr; }

    static int32_t Save(QuolanObject *self, QuolanObject *stream, int32_t mode)
    {
        QuolanObject *store = member_store_of(self);
        if (!store) return StatusFailedFlag;
        int32_t status = base_of(store)->Save(store, stream, mode);
        if (status != StatusOk) return status;
        status = base_of(quolan_class)->Save(self, stream, mode);
        return root_succeeded(status) ? StatusOk : status;
    }

    static int32_t Load(QuolanObject *self, QuolanObject *stream, int32_t mode)
    {
        QuolanObject *store = member_store_of(self);
        if (!store) return StatusFailedFlag;
        int32_t status = base_of(store)->Load(store, stream, mode);
        if (status != StatusOk) return status;  // a NULL stream ends here, refused
        status = base_of(quolan_class)->Load(self, stream, mode);
        // Whatever the root read, a failed read shows in the status word.
        return root_succeeded(status) ? quolan_stream_status(stream) : status;
    }

    static int32_t StringGetIndex(QuolanObject *self, const char *value)
    {
        return find_member(self, value, String, false);
    }
    static int32_t GetIndex(QuolanObject *self, void *value, int32_t kind)
    {
        return find_member(self, value, kind, false);
    }
    static const char *GetStringValue(QuolanObject *self, int32_t position)
    {
        return store_text_at(&as_genset(self)->member_store, position);
    }
    static int32_t GetValue(QuolanObject *self, void **value, int32_t *kind, int32_t position)
    {
        return store_entry_at(&as_genset(self)->member_store, value, kind, position);
    }

    static int32_t Add(QuolanObject *self, void *value, int32_t kind)
    {
        QuolanObject *store = member_store_of(self);
        if (!store) return StatusNoMemory;
        if (lacks_referent(value, kind)) return StatusBadType;
        return find_in_store<kFreePosition>(store, value, kind, true, nullptr) >= 0 ? StatusOk : StatusNoMemory;
    }
    // The typed adds end in the object's own Add: the set's, without the
    // call through its table, when the table is the set's own.
    static int32_t add_through_own(QuolanObject *self, void *value, int32_t kind)
    {
        if (is_exactly(self, ClassId::GenSet)) return Add(self, value, kind);
        return genset_of(self)->Add(self, value, kind);
    }
    static int32_t AddString(QuolanObject *self, const char *value)
    {
        return add_through_own(self, const_cast<char *>(value), OwnedString);
    }
    static int32_t AddInt32(QuolanObject *self, int32_t value) { return add_through_own(self, &value, Integer); }

    static int32_t Contains(QuolanObject *self, void *value, int32_t kind) { return contains(self, value, kind); }
    static int32_t ContainsString(QuolanObject *self, const char *value) { return contains(self, value, String); }
    static int32_t ContainsInt32(QuolanObject *self, int32_t value) { return contains(self, &value, Integer); }

    static int32_t ClearElement(QuolanObject *self, void *value, int32_t kind)
    {
        QuolanObject *store = member_store_of(self);
        if (!store) return StatusNoMemory;
        const int32_t position = find_member(self, value, kind, false);
        if (position < 0) return StatusOutOfRange;
        return clear_in_store(store, position);
    }
};

static const MethodKeyword kGenSetKeywords[] = {QUOLAN_GENSET_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

// Not laid out as an Array: no Array fast path applies.
constinit const ClassDescriptor kGenSetClass = describe_class<GenSet, GenSetMethods, GenSetInstance>(
    ClassId::GenSet, "GenSet", &genset_baseclass, genset_baseclass_init,
    /* parent */ kRootClass, kArrayVersion, kGenSetKeywords, /* array layout */ false);

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *genset_baseclass_init(void)
{
    return qc::create_class(qc::kGenSetClass);
}
