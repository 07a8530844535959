// The typed containers: one mechanism behind ArrayTyped and DictTyped.
//
// A typed container is its parent (Array or Dict) plus three fields:
//
//   type_store  a private plain Array, owned, created by Init and deleted by
//               Clear.  Element p holds the type list of position p as an
//               OwnedString; a Null element, or a position beyond the store's
//               extent, means "untyped".  The store is addressed with the very
//               index the caller gave (-1 and -2 included), so each of the
//               two arrays resolves special indexes against its own extent.
//   lock        0 unlocked; any other value freezes type lists and access.
//   access      0 ReadWrite; any other value refuses every put.
//
// Every put goes through the check: read the position's type list; an
// untyped position of an unlocked container is first bound to the name of
// the value's type (and stays bound whatever follows); then the list decides.
// An Integer that the list admits only as a Double is stored converted.
//
// Parked objects: a Null put over an OwnedObject only turns the tag to Null
// and leaves the object in the value field, still owned.  A Null element
// whose value field is not NULL is therefore always a parked object, which is
// why every Null this mechanism stores carries a NULL value.  GetAt reports the
// parked object, putting it back as OwnedObject re-owns it, and ClearAt (so
// Clear and Delete) deletes it.
//
// The two classes differ only in what a Policy supplies: the instance layout,
// the class descriptor (parent, own class, name), how an object's type is
// named, and how a binding is recorded (by position through the object's own
// SetSlotType, or through the position's key with its own GetSymbol and
// SetKeyType).  Parent behaviour is always reached through the parent
// class's table, overridable behaviour through the object's own.
//
// May touch: the container's positions, through its own table and its
// parent's, and the value field of the element just selected (parking); the
// type store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "array/array.h"
#include "mechanisms/type_list.h"

namespace qc {

struct TypedFields {
    QuolanObject *type_store;  // owned plain Array; NULL if Init could not make it, and after Clear
    int32_t lock;              // 0 unlocked
    int32_t access;            // 0 ReadWrite; any other value refuses puts
};

// A typed class's layout: its parent's fields, then the typed ones.
template <class Base>
struct TypedLayout {
    Base base;
    TypedFields typed;
};

// A Policy provides:
//   using Instance = ...;                         layout with a `typed` member
//   static constexpr TypeNameForm kNaming;        how bindings name objects
//   static constexpr const ClassDescriptor &kClass;  this class
//   static int32_t bind(self, name, index);       records `name` for the position
template <class Policy>
class TypedContainer {
public:
    static TypedFields &typed(QuolanObject *self)
    {
        return reinterpret_cast<typename Policy::Instance *>(self)->typed;
    }

    // The check shared by PutAt and the Check* methods: StatusOk, StatusNeedsDouble,
    // StatusBadType, or the failure of reading or recording the type list.
    static int32_t check(QuolanObject *self, void *value, int32_t tag, int32_t index)
    {
        TypedFields &f = typed(self);
        if (!f.type_store) return StatusNoMemory;
        void *types = nullptr;
        int32_t types_tag = Null;
        int32_t status = array_of(f.type_store)->GetAt(f.type_store, &types, &types_tag, index);
        bool untyped = status == StatusOutOfRange || (status == StatusOk && types_tag == Null);
        if (f.lock) {
            if (status != StatusOk) return status;
            // Locked, and no list here: a binding would change the frozen
            // lists, so the position admits nothing rather than everything.
            if (untyped) return StatusBadType;
        } else if (status != StatusOk && status != StatusOutOfRange) {
            return status;
        }
        if (!untyped) {
            // The store is ours, but Load fills it from a stream: an entry
            // that is not text is no list and admits nothing.
            return type_list_accepts(family(types_tag) == String ? static_cast<char *>(types) : nullptr,
                                     tag, value);
        }
        char name[kTypeNameSize];
        element_type_name(value, tag, Policy::kNaming, name);
        status = Policy::bind(self, name, index);
        if (status != StatusOk) return status;
        return type_list_accepts(name, tag, value);
    }

    // Records a copy of `types` at the position `locate` finds; the order of
    // refusals is: no store, locked, no position.
    template <class Locate>
    static int32_t record_type(QuolanObject *self, const char *types, Locate locate)
    {
        TypedFields &f = typed(self);
        if (!f.type_store) return StatusNoMemory;
        if (f.lock) return StatusLocked;
        int32_t position = 0;
        int32_t status = locate(&position);
        if (status != StatusOk) return status;
        return array_of(f.type_store)->PutStringCopyAt(f.type_store, types, position);
    }

    // The check at the position `locate` finds.
    template <class Locate>
    static int32_t check_type(QuolanObject *self, void *value, int32_t tag, Locate locate)
    {
        if (!typed(self).type_store) return StatusNoMemory;
        int32_t position = 0;
        int32_t status = locate(&position);
        if (status != StatusOk) return status;
        return check(self, value, tag, position);
    }

    static int32_t PutAt(QuolanObject *self, void *value, int32_t tag, int32_t index)
    {
        QC_CHECK_STORAGE_ON_RETURN(self);
        if (tag == Null) value = nullptr;  // only a parked object may sit in a Null element
        int32_t verdict = check(self, value, tag, index);
        if (verdict != StatusOk && verdict != StatusNeedsDouble) return verdict;
        if (typed(self).access != ReadWrite) return StatusLocked;
        double converted;
        if (verdict == StatusNeedsDouble) {
            converted = *static_cast<const int32_t *>(value);
            value = &converted;
            tag = Double;
        }
        void *old = nullptr;
        int32_t old_tag = Null;
        int32_t status = array_of(self)->GetAt(self, &old, &old_tag, index);
        if (status == StatusOutOfRange) return parent()->PutAt(self, value, tag, index);
        if (status != StatusOk) return status;
        ArrayInstance *a = as_array(self);
        if (!storage::selected(a)) return parent()->PutAt(self, value, tag, index);

        if (old_tag == OwnedObject && tag == Null) {
            storage::retag(a, Null);  // parks the object: still owned, still there
            return StatusOk;
        }
        if (old_tag == Null && tag == Null) return StatusOk;  // a parked object stays parked
        if (old_tag == Null && old) {
            // The parked object itself comes back: as OwnedObject it is owned
            // again, as Object it is handed to the caller (Array's
            // same-pointer rule).
            if (family(tag) == Object && value == old) {
                storage::retag(a, tag);
                return StatusOk;
            }
            return replace_parked(self, value, tag, index);
        }
        return parent()->PutAt(self, value, tag, index);
    }

    static int32_t GetAt(QuolanObject *self, void **value, int32_t *tag, int32_t index)
    {
        QC_CHECK_STORAGE_ON_RETURN(self);
        int32_t read_tag = Null;
        int32_t status = parent()->GetAt(self, value, &read_tag, index);
        if (tag) *tag = read_tag;
        if (status == StatusOk && read_tag == Null && value) {
            const Element *e = storage::selected(as_array(self));
            *value = e ? e->value.pointer : nullptr;
        }
        return status;
    }

    static int32_t ClearAt(QuolanObject *self, int32_t index)
    {
        QC_CHECK_STORAGE_ON_RETURN(self);
        int32_t status = array_of(self)->SetIndex(self, index);
        if (status != StatusOk) return status;
        // A parked object goes with the position, once the position is clear.
        QuolanObject *parked = unpark(as_array(self));
        QuolanObject *store = typed(self).type_store;
        if (store) status = array_of(store)->ClearAt(store, index);
        if (status == StatusOk) status = parent()->ClearAt(self, index);
        if (parked) base_of(parked)->Delete(parked);
        return status;
    }

    static int32_t Init(QuolanObject *self)
    {
        int32_t status = base_of(parent_class())->Init(self);
        if (status != StatusOk) return status;
        TypedFields &f = typed(self);
        f.type_store = new_plain_array();  // may be NULL: the container then refuses with StatusNoMemory
        f.lock = 0;
        f.access = ReadWrite;
        return StatusOk;
    }

    static void Clear(QuolanObject *self)
    {
        drop_store(&typed(self).type_store);
        base_of(parent_class())->Clear(self);
    }

    // Copies elements (no type checks) and type lists; lock and access start
    // at 0.  A source that is not of this class is refused (NULL): its fields
    // past the parent's are not ours to read.
    static QuolanObject *Copy(QuolanObject *, QuolanObject *source)
    {
        const ClassDescriptor &d = Policy::kClass;
        if (!source || !is_a(source, d.name) || !laid_out_as_array(source)) return nullptr;
        QuolanObject *copy = base_of(parent_class())->Copy(parent_class(), source);
        if (!copy) return nullptr;
        copy->class_word = (*d.class_pointer)->class_word;
        copy->methods = (*d.class_pointer)->methods;
        TypedFields &mine = typed(copy);
        mine = TypedFields{nullptr, 0, ReadWrite};
        QuolanObject *store = typed(source).type_store;
        if (store) {
            QuolanObject *array_class = array_baseclass;
            mine.type_store = base_of(array_class)->Copy(array_class, store);
            if (!mine.type_store) {
                base_of(copy)->Delete(copy);
                return nullptr;
            }
        }
        return copy;
    }

    // Record: type store, the parent's record, lock (one byte), access (int32).
    static int32_t Save(QuolanObject *self, QuolanObject *stream, int32_t mode)
    {
        TypedFields &f = typed(self);
        if (!f.type_store) return StatusNoMemory;
        if (!stream) return StatusFailed;
        int32_t status = base_of(f.type_store)->Save(f.type_store, stream, mode);
        if (status != StatusOk) return status;
        status = base_of(parent_class())->Save(self, stream, mode);
        if (status != StatusOk) return status;
        status = stream_of(stream)->WriteByte(stream, f.lock & 0xff);
        if (status != StatusOk) return status;
        return stream_of(stream)->WriteInt32(stream, f.access);
    }

    // The elements go through this class's PutAt while lock and access still
    // hold their old values; both are read only after them.
    static int32_t Load(QuolanObject *self, QuolanObject *stream, int32_t mode)
    {
        TypedFields &f = typed(self);
        if (!f.type_store) return StatusNoMemory;
        if (!stream) return StatusFailed;
        int32_t status = base_of(f.type_store)->Load(f.type_store, stream, mode);
        if (status != StatusOk) return status;
        status = base_of(parent_class())->Load(self, stream, mode);
        if (status != StatusOk) return status;
        f.lock = stream_of(stream)->ReadByte(stream) & 0xff;
        f.access = stream_of(stream)->ReadInt32(stream);
        return quolan_stream_status(stream);
    }

    static int32_t SetAccess(QuolanObject *self, int32_t mode)
    {
        TypedFields &f = typed(self);
        if (f.lock) return StatusLocked;
        f.access = mode;
        return StatusOk;
    }
    static int32_t GetAccess(QuolanObject *self) { return typed(self).access; }
    static void SetLock(QuolanObject *self, int32_t lock) { typed(self).lock = lock; }

private:
    static QuolanObject *parent_class() { return *Policy::kClass.parent->class_pointer; }
    static const ArrayMethods *parent() { return array_of(parent_class()); }

    // Takes a parked object out of the element the last index selection
    // chose, leaving it an empty Null; NULL when none is parked there.
    // REQUIRES: called right after a successful GetAt or SetIndex.
    static QuolanObject *unpark(ArrayInstance *a)
    {
        const Element *e = storage::selected(a);
        if (!e || e->tag != Null || !e->value.pointer) return nullptr;
        return static_cast<QuolanObject *>(storage::take(a).value.pointer);
    }

    // A put of any other value over a parked object: the container owns the
    // object, so it is deleted, once the new value is in place.  A put that
    // fails leaves the object parked where it was.
    static int32_t replace_parked(QuolanObject *self, void *value, int32_t tag, int32_t index)
    {
        ArrayInstance *a = as_array(self);
        const int32_t slot = a->current_slot;
        QuolanObject *parked = unpark(a);
        int32_t status = parent()->PutAt(self, value, tag, index);
        if (status != StatusOk && storage::put_back(a, slot, Element{Null, {.pointer = parked}})) return status;
        if (parked) base_of(parked)->Delete(parked);
        return status;
    }
};

}  // namespace qc
