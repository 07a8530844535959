// Array: shape, indexing, growth and the element operations.
//
// Invariants: used_count <= capacity once storage exists; storage beyond
// used_count is zero (reads as Null); used_count only grows until Clear.
// The cursor is the position Next reads next; Previous steps it back to -1
// in front of position 0.
#include "array/array.h"

#include <algorithm>
#include <climits>

extern "C" {
QUOLAN_EXPORT QuolanObject *array_baseclass = nullptr;
}

namespace qc {

static_assert(alignof(DimensionRecord) >= alignof(int32_t), "the cursors may follow the records");

int32_t create_tables(ArrayInstance *a)
{
    if (a->dimensions) return StatusOk;
    if (a->dimension_count < 1) return StatusNoMemory;
    // One block: `dimension_count` records, then as many cursors.
    const size_t n = static_cast<size_t>(a->dimension_count);
    void *block = mem::zalloc(n, sizeof(DimensionRecord) + sizeof(int32_t));
    if (!block) return StatusNoMemory;
    a->dimensions = static_cast<DimensionRecord *>(block);
    a->cursors = reinterpret_cast<int32_t *>(a->dimensions + n);
    return StatusOk;
}

// Grows the storage to hold `capacity` elements, zeroing the new ones.  On
// failure the array is left exactly as it was.
static int32_t grow_storage(ArrayInstance *a, int64_t capacity)
{
    if (capacity > INT32_MAX) return StatusNoMemory;
    auto *grown = static_cast<Element *>(
        mem::grow(a->elements, static_cast<size_t>(capacity) * sizeof(Element)));
    if (!grown) return StatusNoMemory;
    std::memset(grown + a->capacity, 0,
                static_cast<size_t>(capacity - a->capacity) * sizeof(Element));
    a->elements = grown;
    a->capacity = static_cast<int32_t>(capacity);
    return StatusOk;
}

int32_t select_unfilled(ArrayInstance *a, int32_t extent, bool *zeroed)
{
    *zeroed = true;
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    const DimensionRecord &rec = record_of(a);
    if (a->elements || rec.max_size != 0 || rec.initial_size != 0 || rec.used_count != 0 || extent < 1)
        return select_index(a, extent - 1, true);
    const int64_t capacity = (int64_t{extent} + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
    if (capacity > INT32_MAX) return StatusNoMemory;
    auto *storage = static_cast<Element *>(mem::grow(nullptr, static_cast<size_t>(capacity) * sizeof(Element)));
    if (!storage) return StatusNoMemory;
    a->elements = storage;
    a->capacity = static_cast<int32_t>(capacity);
    record_of(a).used_count = extent;
    cursor_of(a) = extent - 1;
    a->current_slot = extent - 1;
    *zeroed = false;
    return StatusOk;
}

int32_t select_index(ArrayInstance *a, int32_t index, bool grow)
{
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    DimensionRecord &rec = record_of(a);

    int64_t position;
    if (index == -2) {
        position = rec.used_count;
    } else if (index == -1) {
        position = rec.used_count > 0 ? rec.used_count - 1 : 0;
    } else if (index < -2) {
        return StatusOutOfRange;  // below the special indexes: nothing there
    } else {
        position = index;
        if (!grow && index > 0 && index >= rec.used_count) return StatusOutOfRange;
    }
    if (rec.max_size != 0 && position >= rec.max_size) return StatusOutOfRange;

    if (grow) {
        int64_t needed = std::max<int64_t>(rec.used_count, position + 1);
        int64_t capacity = (needed + kGrowthStep - 1) / kGrowthStep * kGrowthStep;
        if (rec.max_size != 0) {
            capacity = std::min<int64_t>(capacity, rec.max_size);
            capacity = std::max<int64_t>(capacity, rec.initial_size);
        }
        if (capacity > a->capacity) {
            status = grow_storage(a, capacity);
            if (status != StatusOk) return status;
        }
        rec.used_count = static_cast<int32_t>(needed);
    }
    cursor_of(a) = static_cast<int32_t>(position);
    a->current_slot = static_cast<int32_t>(position);
    return StatusOk;
}

int32_t Array_Init(QuolanObject *self)
{
    int32_t status = base_of(quolan_class)->Init(self);
    if (status == StatusOk) as_array(self)->dimension_count = 1;
    return status;
}

void Array_Clear(QuolanObject *self) { clear_elements(self, keeps_array_slots(self, kClearSlots | slot_bit(ArraySlot_Next))); }

// Walks the array with its own methods, clearing each position read, as
// subclasses that keep per-position state (type lists, loader keys, parked
// objects) need.
static void clear_by_walk(QuolanObject *self)
{
    ArrayInstance *a = as_array(self);
    const ArrayMethods *m = array_of(self);
    m->SetIndex(self, 0);
    void *value;
    int32_t tag;
    while (m->Next(self, &value, &tag) == StatusOk) {
        int32_t after = 0;
        m->GetIndex(self, &after);
        m->ClearAt(self, after - 1);
        if (a->cursors) cursor_of(a) = after;
    }
}

void clear_elements(QuolanObject *self, bool walks_as_array)
{
    ArrayInstance *a = as_array(self);
    // The sizes are forgotten with the tables anyway; forgetting them first
    // lets the walk reach positions beyond a maximum lowered after they were
    // written, so subclasses release what they hold there too.
    if (a->dimensions) {
        record_of(a).initial_size = 0;
        record_of(a).max_size = 0;
        if (!walks_as_array) clear_by_walk(self);
    }
    // Whatever is left is released from storage that is already detached:
    // an owned object's Delete that reaches back finds an empty array.  If it
    // put something back, that is cleared too.
    while (a->elements || a->dimensions) {
        Element *elements = a->elements;
        const int32_t used = a->dimensions ? std::min(record_of(a).used_count, a->capacity) : 0;
        mem::release(a->dimensions);  // the cursors with them: one block
        a->elements = nullptr;
        a->dimensions = nullptr;
        a->cursors = nullptr;
        a->capacity = 0;
        a->current_slot = 0;
        for (int32_t p = 0; p < used; ++p) release(elements[p]);
        mem::release(elements);
    }
}

static int32_t Array_SetDimension(QuolanObject *, int32_t) { return StatusFailed; }

static void Array_SetSizes(QuolanObject *self, int32_t initial, int32_t maximum)
{
    ArrayInstance *a = as_array(self);
    if (ensure_tables(a) != StatusOk) return;
    DimensionRecord &rec = record_of(a);
    rec.initial_size = std::min(initial, maximum);
    rec.max_size = maximum;
}

int32_t Array_GetSizes(QuolanObject *self, int32_t *initial, int32_t *maximum)
{
    ArrayInstance *a = as_array(self);
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    const DimensionRecord &rec = record_of(a);
    if (initial) *initial = rec.initial_size;
    if (maximum) *maximum = rec.max_size;
    return std::max(rec.used_count, rec.initial_size);
}

int32_t Array_SetIndex(QuolanObject *self, int32_t index)
{
    return select_index(as_array(self), index, false);
}

int32_t Array_GetIndex(QuolanObject *self, int32_t *index)
{
    ArrayInstance *a = as_array(self);
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    if (cursor_of(a) == -1) return StatusOutOfRange;
    if (index) *index = cursor_of(a);
    return StatusOk;
}

// PutAt of everything but a datum: the same-pointer rule, the copy of an
// owned text, the release of what the position held.
[[gnu::noinline]] static int32_t put_reference(QuolanObject *self, void *value, int32_t tag, int32_t index)
{
    // A missing string cannot be stored; refuse before anything changes.
    if (!value && tag == OwnedString) return StatusBadType;
    Element incoming = element_from(value, tag);

    ArrayInstance *a = as_array(self);
    const int32_t position = select_for_write(a, index);
    if (position < 0) {
        int32_t status = select_index(a, index, true);
        if (status != StatusOk) return status;
    }
    Element *slot = &a->elements[a->current_slot];
    if (is_owned(slot->tag) && family(tag) == family(slot->tag) && value == slot->value.pointer) {
        slot->tag = tag;  // the same block changes hands; nothing is released or copied
        return StatusOk;
    }
    // Duplicate before anything is released: the new text may live inside
    // the old one.  Without the copy the position ends Null.
    if (tag == OwnedString) {
        incoming.value.pointer = copy_text(static_cast<const char *>(value));
        if (!incoming.value.pointer) incoming.tag = Null;
    }
    // The position holds its new value before the old one is released.
    Element old = *slot;
    *slot = incoming;
    release(old);
    return incoming.tag == tag ? StatusOk : StatusNoMemory;
}

int32_t Array_PutAt(QuolanObject *self, void *value, int32_t tag, int32_t index)
{
    if (!holds_datum(tag)) return put_reference(self, value, tag, index);
    // A missing datum cannot be stored; refuse before anything changes.
    if (!value) return StatusBadType;
    return put_datum(as_array(self), element_from(value, tag), index);
}

int32_t put_datum_rest(ArrayInstance *a, Element incoming, int32_t index, Element *slot)
{
    if (!slot) {
        int32_t status = select_index(a, index, true);
        if (status != StatusOk) return status;
        slot = &a->elements[a->current_slot];
    }
    const Element old = *slot;
    *slot = incoming;
    release(old);
    return StatusOk;
}

int32_t put_text_copy(ArrayInstance *a, char *copy, int32_t index)
{
    if (select_for_write(a, index) < 0) {
        int32_t status = select_index(a, index, true);
        if (status != StatusOk) {
            mem::release(copy);
            return status;
        }
    }
    Element *slot = &a->elements[a->current_slot];
    Element incoming;
    incoming.tag = copy ? OwnedString : Null;
    incoming.value.pointer = copy;
    const Element old = *slot;
    *slot = incoming;
    release(old);
    return copy ? StatusOk : StatusNoMemory;
}

[[gnu::noinline]] static int32_t put_datum_by_table(QuolanObject *self, Element incoming, int32_t index)
{
    return array_of(self)->PutAt(self, &incoming.value, incoming.tag, index);
}

// The datum puts store straight into the storage when the object's PutAt is
// Array's own; otherwise they go through its table.
inline int32_t put_datum_at(QuolanObject *self, Element incoming, int32_t index)
{
    if (!keeps_array_slots(self, kPutSlot)) return put_datum_by_table(self, incoming, index);
    return put_datum(as_array(self), incoming, index);
}
static int32_t Array_PutBooleanAt(QuolanObject *self, int32_t value, int32_t index)
{
    return put_datum_at(self, int_element(Boolean, value), index);
}
static int32_t Array_PutIntAt(QuolanObject *self, int32_t value, int32_t index)
{
    return put_datum_at(self, int_element(Integer, value), index);
}
static int32_t Array_PutDoubleAt(QuolanObject *self, double value, int32_t index)
{
    Element incoming;
    incoming.tag = Double;
    incoming.value.real = value;
    return put_datum_at(self, incoming, index);
}
static int32_t put_pointer(QuolanObject *self, const void *value, int32_t tag, int32_t index)
{
    return put_at(self, const_cast<void *>(value), tag, index);
}
static int32_t Array_PutStringAt(QuolanObject *self, const char *value, int32_t index)
{
    return put_pointer(self, value, String, index);
}
static int32_t Array_PutStringCopyAt(QuolanObject *self, const char *value, int32_t index)
{
    return put_pointer(self, value, OwnedString, index);
}
static int32_t Array_PutObjectAt(QuolanObject *self, QuolanObject *value, int32_t index)
{
    return put_pointer(self, value, Object, index);
}
static int32_t Array_PutObjectCopyAt(QuolanObject *self, QuolanObject *value, int32_t index)
{
    return put_pointer(self, value, OwnedObject, index);
}
static int32_t Array_PutPtrAt(QuolanObject *self, void *value, int32_t index)
{
    return put_pointer(self, value, Pointer, index);
}
static int32_t Array_PutPtrCopyAt(QuolanObject *self, void *value, int32_t index)
{
    return put_pointer(self, value, OwnedPointer, index);
}

// GetAt of anything but a position in use: reads that extend the array up
// to its initial size, the special indexes, bounds, tables not yet made.
[[gnu::noinline]] static int32_t get_at_rest(ArrayInstance *a, void **value, int32_t *tag, int32_t index)
{
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    const DimensionRecord &rec = record_of(a);

    if (index >= rec.used_count) {
        // Reads up to the initial size extend the array with Null positions.
        if (index > rec.initial_size) return StatusOutOfRange;
        status = select_index(a, index, true);
        if (status != StatusOk) return status;
    }
    if (index == -2) return StatusOutOfRange;
    // -1 on an empty array names position 0, which has no storage yet.
    if (index == -1 && rec.used_count == 0) return StatusOutOfRange;
    status = select_index(a, index, false);
    if (status != StatusOk) return status;
    read_out(a->elements[a->current_slot], value, tag);
    return StatusOk;
}

int32_t Array_GetAt(QuolanObject *self, void **value, int32_t *tag, int32_t index)
{
    ArrayInstance *a = as_array(self);
    if (!select_in_use(a, index)) return get_at_rest(a, value, tag, index);
    read_out(a->elements[index], value, tag);
    return StatusOk;
}

// Next as defined: the cursor read through the tables, the position read
// with the object's own GetAt, the cursor stepped past it.
[[gnu::noinline]] static int32_t next_rest(QuolanObject *self, void **value, int32_t *tag)
{
    ArrayInstance *a = as_array(self);
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    int32_t &cursor = cursor_of(a);
    if (cursor == -1) cursor = 0;
    if (cursor >= record_of(a).used_count) return StatusOutOfRange;
    status = array_of(self)->GetAt(self, value, tag, cursor);
    if (status != StatusOk) return status;
    if (a->cursors) cursor_of(a) += 1;
    return StatusOk;
}

int32_t Array_Next(QuolanObject *self, void **value, int32_t *tag)
{
    // A step onto a position in use, by an object that reads with Array's
    // own GetAt, reads in place: that GetAt would select the position (cursor
    // and current_slot on it) and read it, and the step moves the cursor on.
    ArrayInstance *a = as_array(self);
    if (const DimensionRecord *rec = single_record(a)) {
        int32_t &cursor = a->cursors[0];
        const int32_t at = cursor == -1 ? 0 : cursor;
        if (static_cast<uint32_t>(at) < static_cast<uint32_t>(rec->used_count) &&
            (rec->max_size == 0 || at < rec->max_size) &&
            keeps_array_slots(self, slot_bit(ArraySlot_GetAt))) {
            read_out(a->elements[at], value, tag);
            cursor = at + 1;
            a->current_slot = at;
            return StatusOk;
        }
    }
    return next_rest(self, value, tag);
}

int32_t Array_Previous(QuolanObject *self, void **value, int32_t *tag)
{
    ArrayInstance *a = as_array(self);
    int32_t status = ensure_tables(a);
    if (status != StatusOk) return status;
    int32_t used = record_of(a).used_count;
    int32_t &cursor = cursor_of(a);
    if (used == 0 || cursor == -1 || cursor > used) return StatusOutOfRange;
    if (cursor == used) cursor = used - 1;
    status = array_of(self)->GetAt(self, value, tag, cursor);
    if (status != StatusOk) return status;
    if (a->cursors) cursor_of(a) -= 1;
    return StatusOk;
}

int32_t take_at(QuolanObject *self, int32_t index, Element *taken)
{
    *taken = Element{Null, {.pointer = nullptr}};
    ArrayInstance *a = as_array(self);
    if (!a->elements) return StatusOk;  // never written: nothing to clear
    if (index == -2) return StatusOutOfRange;
    int32_t status = array_of(self)->SetIndex(self, index);
    if (status != StatusOk) return status;
    const int32_t slot = a->current_slot;
    if (!a->elements || slot >= a->capacity) return StatusOutOfRange;
    *taken = take(a->elements[slot]);
    return StatusOk;
}

int32_t Array_ClearAt(QuolanObject *self, int32_t index)
{
    Element old;
    int32_t status = take_at(self, index, &old);
    release(old);
    return status;
}

QuolanObject *new_plain_array()
{
    QuolanObject *cls = array_baseclass_init();
    return cls ? base_of(cls)->New(cls) : nullptr;
}

QuolanObject *ensure_store(QuolanObject **slot)
{
    if (!*slot) *slot = new_plain_array();
    return *slot;
}

void drop_store(QuolanObject **slot)
{
    while (QuolanObject *store = *slot) {
        *slot = nullptr;
        base_of(store)->Delete(store);
    }
}

bool laid_out_as_array(QuolanObject *o)
{
    const ClassRecord &record = class_record(o);
    if (record.array_layout) return true;
    // A known class without the layout (GenSet) is never one; a class a
    // client made is taken at its word when it is large enough.
    for (const RegisteredClass &c : g_registered)
        if (c.table == o->methods) return false;
    return o->size >= sizeof(ArrayInstance) && is_a(o, "Array");
}

static const MethodKeyword kArrayKeywords[] = {
    QUOLAN_ARRAY_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

static void fill_array(QuolanObject *cls);

const ClassDescriptor kArrayClass = {
    .id = ClassId::Array,
    .name = "Array",
    .class_pointer = &array_baseclass,
    .parent_pointer = &quolan_class,
    .parent_init = root_class_init,
    .parent_name = "QUOLAN",
    .parent_version = kRootVersion,
    .version = kArrayVersion,
    .instance_size = sizeof(ArrayInstance),
    .slot_count = ArraySlot_Count,
    .keywords = kArrayKeywords,
    .fill = fill_array,
    .record = {.array_layout = true, .array_slots = kArraySlots},
};

static void fill_array(QuolanObject *cls)
{
    auto *t = writable_table<ArrayMethods>(cls);
    t->Init = Array_Init;
    t->Clear = Array_Clear;
    ClassFramework<kArrayClass>::install(t);
    t->Save = Array_Save;
    t->Load = Array_Load;
    t->Copy = Array_Copy;
    t->IsEqual = Array_IsEqual;
    QUOLAN_ARRAY_METHOD_LIST(QC_FILL_OWN, Array)
}

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *array_baseclass_init(void)
{
    return qc::create_class(qc::kArrayClass);
}
