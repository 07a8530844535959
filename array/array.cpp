// Array: its class, shape and element operations.
//
// The storage module (storage.h) selects positions, stores and leaves the
// walk state; this file carries the element rules on top of it: what PutAt
// releases and copies (the same-pointer rule, owned text copies), what reads
// hand out, how walks step, what Clear walks.
#include "array/array.h"

#include <algorithm>

extern "C" {
QUOLAN_EXPORT QuolanObject *array_baseclass = nullptr;
}

namespace qc {

int32_t Array::Init(QuolanObject *self)
{
    int32_t status = base_of(quolan_class)->Init(self);
    if (status == StatusOk) as_array(self)->dimension_count = 1;
    return status;
}

void Array::Clear(QuolanObject *self)
{
    clear_elements(self, keeps_array_slots(self, kClearSlots | slot_bit(ArraySlot_Next)));
}

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
        storage::set_cursor(a, after);
    }
}

void clear_elements(QuolanObject *self, bool walks_as_array)
{
    ArrayInstance *a = as_array(self);
    // The sizes are forgotten with the tables anyway; forgetting them first
    // lets the walk reach positions beyond a maximum lowered after they were
    // written, so subclasses release what they hold there too.
    if (a->dimensions) {
        storage::set_sizes(a, 0, 0);
        if (!walks_as_array) clear_by_walk(self);
    }
    // Whatever is left is released from storage that is already detached:
    // an owned object's Delete that reaches back finds an empty array.  If it
    // put something back, that is cleared too.
    while (a->elements || a->dimensions) {
        const storage::Detached d = storage::detach(a);
        for (int32_t p = 0; p < d.used; ++p) release(d.elements[p]);
        mem::release(d.elements);
    }
}

int32_t Array::SetDimension(QuolanObject *, int32_t) { return StatusFailed; }

void Array::SetSizes(QuolanObject *self, int32_t initial, int32_t maximum)
{
    QC_CHECK_STORAGE_ON_RETURN(self);
    storage::set_sizes(as_array(self), initial, maximum);
}

int32_t Array::GetSizes(QuolanObject *self, int32_t *initial, int32_t *maximum)
{
    ArrayInstance *a = as_array(self);
    int32_t status = storage::ensure_tables(a);
    if (status != StatusOk) return status;
    const DimensionRecord &rec = storage::record(a);
    if (initial) *initial = rec.initial_size;
    if (maximum) *maximum = rec.max_size;
    return std::max(rec.used_count, rec.initial_size);
}

int32_t Array::SetIndex(QuolanObject *self, int32_t index)
{
    QC_CHECK_STORAGE_ON_RETURN(self);
    return storage::select(as_array(self), index, false);
}

int32_t Array::GetIndex(QuolanObject *self, int32_t *index)
{
    ArrayInstance *a = as_array(self);
    int32_t status = storage::ensure_tables(a);
    if (status != StatusOk) return status;
    if (storage::cursor(a) == -1) return StatusOutOfRange;
    if (index) *index = storage::cursor(a);
    return StatusOk;
}

// PutAt of everything but a datum: the same-pointer rule, the copy of an
// owned text, the release of what the position held.
[[gnu::noinline]] static int32_t put_reference(QuolanObject *self, void *value, int32_t tag, int32_t index)
{
    // A missing string cannot be stored; refuse before anything changes.
    if (!value && tag == OwnedString) return StatusBadType;
    ArrayInstance *a = as_array(self);
    int32_t status = storage::select_for_write(a, index);
    if (status != StatusOk) return status;
    const Element &held = *storage::selected(a);
    if (is_owned(held.tag) && family(tag) == family(held.tag) && value == held.value.pointer) {
        storage::retag(a, tag);  // the same block changes hands; nothing is released or copied
        return StatusOk;
    }
    // Duplicate before anything is released: the new text may live inside
    // the old one.  Without the copy the position ends Null.
    Element incoming = element_from(value, tag);
    if (tag == OwnedString) incoming = text_element(copy_text(static_cast<const char *>(value)));
    release(storage::replace(a, incoming));
    return incoming.tag == tag ? StatusOk : StatusNoMemory;
}

int32_t Array::PutAt(QuolanObject *self, void *value, int32_t tag, int32_t index)
{
    QC_CHECK_STORAGE_ON_RETURN(self);
    if (!holds_datum(tag)) return put_reference(self, value, tag, index);
    // A missing datum cannot be stored; refuse before anything changes.
    if (!value) return StatusBadType;
    return put_datum(as_array(self), element_from(value, tag), index);
}

// The datum puts store straight into the storage when the object's PutAt is
// Array's own; otherwise they go through its table.
[[gnu::noinline]] static int32_t put_datum_by_table(QuolanObject *self, Element incoming, int32_t index)
{
    return array_of(self)->PutAt(self, &incoming.value, incoming.tag, index);
}
static int32_t put_datum_at(QuolanObject *self, Element incoming, int32_t index)
{
    if (!keeps_array_slots(self, kPutSlot)) return put_datum_by_table(self, incoming, index);
    QC_CHECK_STORAGE_ON_RETURN(self);
    return put_datum(as_array(self), incoming, index);
}
int32_t Array::PutBooleanAt(QuolanObject *self, int32_t value, int32_t index)
{
    return put_datum_at(self, int_element(Boolean, value), index);
}
int32_t Array::PutIntAt(QuolanObject *self, int32_t value, int32_t index)
{
    return put_datum_at(self, int_element(Integer, value), index);
}
int32_t Array::PutDoubleAt(QuolanObject *self, double value, int32_t index)
{
    return put_datum_at(self, double_element(value), index);
}
static int32_t put_pointer(QuolanObject *self, const void *value, int32_t tag, int32_t index)
{
    return put_at(self, const_cast<void *>(value), tag, index);
}
int32_t Array::PutStringAt(QuolanObject *self, const char *value, int32_t index)
{
    return put_pointer(self, value, String, index);
}
int32_t Array::PutStringCopyAt(QuolanObject *self, const char *value, int32_t index)
{
    return put_pointer(self, value, OwnedString, index);
}
int32_t Array::PutObjectAt(QuolanObject *self, QuolanObject *value, int32_t index)
{
    return put_pointer(self, value, Object, index);
}
int32_t Array::PutObjectCopyAt(QuolanObject *self, QuolanObject *value, int32_t index)
{
    return put_pointer(self, value, OwnedObject, index);
}
int32_t Array::PutPtrAt(QuolanObject *self, void *value, int32_t index)
{
    return put_pointer(self, value, Pointer, index);
}
int32_t Array::PutPtrCopyAt(QuolanObject *self, void *value, int32_t index)
{
    return put_pointer(self, value, OwnedPointer, index);
}

// GetAt of anything but a position in use: reads that extend the array up
// to its initial size, the special indexes, bounds, tables not yet made.
[[gnu::noinline]] static int32_t get_at_rest(ArrayInstance *a, void **value, int32_t *tag, int32_t index)
{
    int32_t status = storage::ensure_tables(a);
    if (status != StatusOk) return status;
    const DimensionRecord &rec = storage::record(a);

    if (index >= rec.used_count) {
        // Reads up to the initial size extend the array with Null positions.
        if (index > rec.initial_size) return StatusOutOfRange;
        status = storage::select(a, index, true);
        if (status != StatusOk) return status;
    }
    if (index == -2) return StatusOutOfRange;
    // -1 on an empty array names position 0, which has no storage yet.
    if (index == -1 && rec.used_count == 0) return StatusOutOfRange;
    status = storage::select(a, index, false);
    if (status != StatusOk) return status;
    read_out(*storage::selected(a), value, tag);
    return StatusOk;
}

int32_t Array::GetAt(QuolanObject *self, void **value, int32_t *tag, int32_t index)
{
    QC_CHECK_STORAGE_ON_RETURN(self);
    ArrayInstance *a = as_array(self);
    const Element *e = storage::select_in_use(a, index);
    if (!e) return get_at_rest(a, value, tag, index);
    read_out(*e, value, tag);
    return StatusOk;
}

// A walk's step as defined: the position read with the object's own GetAt,
// then the cursor moved past it by `delta`.
[[gnu::noinline]] static int32_t step_by_table(QuolanObject *self, int32_t position, int32_t delta, void **value,
                                               int32_t *tag)
{
    int32_t status = array_of(self)->GetAt(self, value, tag, position);
    if (status != StatusOk) return status;
    storage::step_cursor(as_array(self), delta);
    return StatusOk;
}

[[gnu::noinline]] static int32_t next_by_table(QuolanObject *self, void **value, int32_t *tag)
{
    int32_t position = 0;
    int32_t status = storage::next_position(as_array(self), &position);
    if (status != StatusOk) return status;
    return step_by_table(self, position, +1, value, tag);
}

int32_t Array::Next(QuolanObject *self, void **value, int32_t *tag)
{
    QC_CHECK_STORAGE_ON_RETURN(self);
    // An object that reads with Array's own GetAt steps onto a position in
    // use in place: that GetAt would select the position and read it.
    if (keeps_array_slots(self, slot_bit(ArraySlot_GetAt)) && storage::next_in_place(as_array(self), value, tag))
        return StatusOk;
    return next_by_table(self, value, tag);
}

int32_t Array::Previous(QuolanObject *self, void **value, int32_t *tag)
{
    QC_CHECK_STORAGE_ON_RETURN(self);
    int32_t position = 0;
    int32_t status = storage::previous_position(as_array(self), &position);
    if (status != StatusOk) return status;
    return step_by_table(self, position, -1, value, tag);
}

int32_t take_at(QuolanObject *self, int32_t index, Element *taken)
{
    *taken = Element{Null, {.pointer = nullptr}};
    ArrayInstance *a = as_array(self);
    if (!a->elements) return StatusOk;  // never written: nothing to clear
    if (index == -2) return StatusOutOfRange;
    int32_t status = array_of(self)->SetIndex(self, index);
    if (status != StatusOk) return status;
    if (!storage::selected(a)) return StatusOutOfRange;
    *taken = storage::take(a);
    return StatusOk;
}

int32_t Array::ClearAt(QuolanObject *self, int32_t index)
{
    QC_CHECK_STORAGE_ON_RETURN(self);
    Element old;
    const int32_t status = take_at(self, index, &old);
    release(old);
    return status;
}

QuolanObject *new_plain_array()
{
    QuolanObject *cls = array_baseclass_init();
    return cls ? base_of(cls)->New(cls) : nullptr;
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
    if (class_record(o).array_layout) return true;
    // A known class without the layout (GenSet) is never one; a class a
    // client made is taken at its word when it is large enough.
    if (is_library_class(o)) return false;
    return o->size >= sizeof(ArrayInstance) && is_a(o, "Array");
}

static const MethodKeyword kArrayKeywords[] = {QUOLAN_ARRAY_METHOD_LIST(QC_KEYWORD_ROW, _) QC_KEYWORD_END};

constinit const ClassDescriptor kArrayClass = describe_class<Array, ArrayMethods, ArrayInstance>(
    ClassId::Array, "Array", &array_baseclass, array_baseclass_init,
    /* parent */ kRootClass, kArrayVersion, kArrayKeywords, /* array layout */ true);

}  // namespace qc

extern "C" QUOLAN_EXPORT QuolanObject *array_baseclass_init(void)
{
    return qc::create_class(qc::kArrayClass);
}
