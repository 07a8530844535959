// GenSet: a set of tagged values, each present at most once.
//
// Members live in the member store, a private plain Array created on first
// use (a pure lookup included) and deleted by Clear, one member per position.
// Members never move; removing one leaves a Null entry, a free position, and
// the next new member takes the first free position, else it is appended.
// Lookup is the linear search shared with Dict's keys (dict/key_search.h),
// with the same match kinds and equality; only the free-position rule
// differs.  The store owns what its element rules say: its own copy of an
// OwnedString member, OwnedObject and OwnedPointer members.
//
// On a stream a set is the member store's array record followed by whatever
// the root class writes for the object; the root's "nothing done" answer
// (-11) counts as success.  A set is not copied through the base Copy slot.
#include "genset/genset.h"

#include "dict/key_search.h"

extern "C" {
QUOLAN_EXPORT QuolanObject *genset_baseclass = nullptr;
}

namespace qc {

namespace {

inline const GenSetMethods *genset_of(const QuolanObject *o) { return quolan_genset_methods(o); }

QuolanObject *member_store_of(QuolanObject *set)
{
    QuolanObject *store = as_genset(set)->member_store;
    return store ? store : ensure_store(&as_genset(set)->member_store);
}

// A new member takes the first free position (a Dict key takes the last).
constexpr FreePosition kFreePosition = FreePosition::First;

// The position of `value` of `kind`, or -1; with `add`, a missing member is
// entered first.
int32_t find_member(QuolanObject *set, const void *value, int32_t kind, bool add)
{
    QuolanObject *store = member_store_of(set);
    if (!store) return -1;
    if (kind == Integer) return find_int32(store, value, add, kFreePosition);
    return find_in_store(store, value, kind, add, kFreePosition, nullptr);
}

int32_t contains(QuolanObject *set, const void *value, int32_t kind)
{
    return find_member(set, value, kind, false) >= 0 ? 1 : 0;
}

}  // namespace

static int32_t GenSet_Init(QuolanObject *self)
{
    int32_t status = base_of(quolan_class)->Init(self);
    if (status == StatusOk) as_genset(self)->member_store = nullptr;
    return status;
}

static void GenSet_Clear(QuolanObject *self)
{
    drop_store(&as_genset(self)->member_store);
    base_of(quolan_class)->Clear(self);
}

static QuolanObject *GenSet_Copy(QuolanObject *, QuolanObject *) { return nullptr; }

static bool root_succeeded(int32_t status)
{
    return status == StatusOk || status == StatusBaseIgnored;
}

static int32_t GenSet_Save(QuolanObject *self, QuolanObject *stream, int32_t mode)
{
    QuolanObject *store = member_store_of(self);
    if (!store) return StatusFailedFlag;
    int32_t status = base_of(store)->Save(store, stream, mode);
    if (status != StatusOk) return status;
    status = base_of(quolan_class)->Save(self, stream, mode);
    return root_succeeded(status) ? StatusOk : status;
}

static int32_t GenSet_Load(QuolanObject *self, QuolanObject *stream, int32_t mode)
{
    QuolanObject *store = member_store_of(self);
    if (!store) return StatusFailedFlag;
    int32_t status = base_of(store)->Load(store, stream, mode);
    if (status != StatusOk) return status;  // a NULL stream ends here, refused
    status = base_of(quolan_class)->Load(self, stream, mode);
    // Whatever the root read, a failed read shows in the status word.
    return root_succeeded(status) ? quolan_stream_status(stream) : status;
}

// ---- members ---------------------------------------------------------------

static int32_t GenSet_StringGetIndex(QuolanObject *self, const char *value)
{
    return find_member(self, value, String, false);
}

static int32_t GenSet_GetIndex(QuolanObject *self, void *value, int32_t kind)
{
    return find_member(self, value, kind, false);
}

static const char *GenSet_GetStringValue(QuolanObject *self, int32_t position)
{
    return store_text_at(&as_genset(self)->member_store, position);
}

static int32_t GenSet_GetValue(QuolanObject *self, void **value, int32_t *kind, int32_t position)
{
    return store_entry_at(&as_genset(self)->member_store, value, kind, position);
}

static int32_t GenSet_Add(QuolanObject *self, void *value, int32_t kind)
{
    if (!member_store_of(self)) return StatusNoMemory;
    if (lacks_referent(value, kind)) return StatusBadType;
    return find_member(self, value, kind, true) >= 0 ? StatusOk : StatusNoMemory;
}

static int32_t GenSet_AddString(QuolanObject *self, const char *value)
{
    return genset_of(self)->Add(self, const_cast<char *>(value), OwnedString);
}

static int32_t GenSet_AddInt32(QuolanObject *self, int32_t value)
{
    return genset_of(self)->Add(self, &value, Integer);
}

static int32_t GenSet_Contains(QuolanObject *self, void *value, int32_t kind)
{
    return contains(self, value, kind);
}

static int32_t GenSet_ContainsString(QuolanObject *self, const char *value)
{
    return contains(self, value, String);
}

static int32_t GenSet_ContainsInt32(QuolanObject *self, int32_t value)
{
    return contains(self, &value, Integer);
}

static int32_t GenSet_ClearElement(QuolanObject *self, void *value, int32_t kind)
{
    QuolanObject *store = member_store_of(self);
    if (!store) return StatusNoMemory;
    int32_t position = find_member(self, value, kind, false);
    if (position < 0) return StatusOutOfRange;
    return array_of(store)->ClearAt(store, position);
}

// ---- class -------------------------------------------------------------------

static const MethodKeyword kGenSetKeywords[] = {
    QUOLAN_GENSET_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

static void fill_genset(QuolanObject *cls);

const ClassDescriptor kGenSetClass = {
    .id = ClassId::GenSet,
    .name = "GenSet",
    .class_pointer = &genset_baseclass,
    .parent_pointer = &quolan_class,
    .parent_init = root_class_init,
    .parent_name = "QUOLAN",
    .parent_version = kRootVersion,
    .version = kArrayVersion,
    .instance_size = sizeof(GenSetInstance),
    .slot_count = GenSetSlot_Count,
    .keywords = kGenSetKeywords,
    .fill = fill_genset,
    .record = {},  // not an Array: no Array fast path applies
};

static void fill_genset(QuolanObject *cls)
{
    auto *t = writable_table<GenSetMethods>(cls);
    t->Init = GenSet_Init;
    t->Clear = GenSet_Clear;
    ClassFramework<kGenSetClass>::install(t);
    t->Save = GenSet_Save;
    t->Load = GenSet_Load;
    t->Copy = GenSet_Copy;
    QUOLAN_GENSET_METHOD_LIST(QC_FILL_OWN, GenSet)
}

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *genset_baseclass_init(void)
{
    return qc::create_class(qc::kGenSetClass);
}
