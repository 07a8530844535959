// The deferred-load mechanism, written once for ArrayDefer and DictDefer.
//
// A deferred container keeps beside its own elements a private plain Array,
// the deferred store: position p of the store holds the loader key recorded
// for position p of the container, or Null where none is.  A position with a
// loader key holds a Null element of its own.  The first read of it through
// GetAt (and so through Next, Previous and the keyed reads of Dict, which all
// read through the object's own GetAt) hands the key to the loader (slot 40 of
// the loader's table: Dict's keyed-read contract) and stores the answer
// through the container's own PutAt, which drops the key.  From then on the
// position is plain and the loader is never asked for it again.
//
// Ownership: Init creates the store; the container owns it.  Clear deletes it
// (releasing every recorded key) BEFORE the parent's Clear walks the elements,
// so clearing never calls the loader; no store is made again, and afterwards
// the deferred operations refuse with StatusFailed while GetAt, PutAt and ClearAt act as
// the parent's.  The loader is borrowed: it must outlive every read of a
// deferred position.  Keys obey PutAt's ownership rules inside the store: an
// OwnedString key is duplicated, an OwnedObject or OwnedPointer key becomes
// the store's to release, borrowed keys stay the caller's.
//
// Invariant: a loader key stands only below the container's used_count.  It is
// recorded right after a Null was put at that very position, and used_count
// shrinks only in Clear, which drops the store for good.
//
// Special indexes are resolved against the CONTAINER before the store is
// addressed, so store and container always mean the same position (the store
// resolving -1 against its own, shorter extent would name another position):
//   -1  the container's last position in use; on an empty container it names
//       nothing deferred: GetAt and GetDeferredAt answer StatusOutOfRange, PutAt and
//       ClearAt act as the parent's;
//   -2  the position an append takes; no key can stand there, so PutAt and
//       ClearAt leave the store alone, GetAt answers the parent's
//       StatusOutOfRange and GetDeferredAt answers it too; PutDeferredAt records at the appended
//       position (the container's current_slot after its Null put).
// Indexes below -2 name nothing; the parent refuses them.
//
// The differences between the two classes are the parent class and the
// instance layout before the two fields (`Base`); everything else is here.
//
// May touch: the container's positions, through its own table and its
// parent's; the deferred store; the loader, through its GetKey slot only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "array/array.h"

namespace qc {

inline int32_t used_positions(QuolanObject *array) { return storage::used(as_array(array)); }

// A deferred class's layout: its parent's fields, then the two of its own.
template <class Base>
struct DeferredLayout {
    Base base;                     // the parent's fields
    QuolanObject *loader;          // borrowed; NULL until SetLoader
    QuolanObject *deferred_store;  // owned plain Array; NULL only after Clear
};

template <class Base, QuolanObject **ParentClass>
struct Deferred {
    using Instance = DeferredLayout<Base>;

    static Instance *of(QuolanObject *self) { return reinterpret_cast<Instance *>(self); }
    static const ArrayMethods *parent() { return array_of(*ParentClass); }

    // ---- lifecycle ----

    static int32_t Init(QuolanObject *self)
    {
        int32_t status = parent()->Init(self);
        if (status != StatusOk) return status;
        Instance *d = of(self);
        d->deferred_store = new_plain_array();
        if (!d->deferred_store) return StatusNoMemory;
        d->loader = nullptr;
        return StatusOk;
    }

    static void Clear(QuolanObject *self)
    {
        drop_store(&of(self)->deferred_store);
        parent()->Clear(self);
    }

    // No stream record carries loader keys or the loader, so a deferred
    // container refuses to be written, read or copied rather than lose them.
    static int32_t Save(QuolanObject *, QuolanObject *, int32_t) { return StatusFailed; }
    static int32_t Load(QuolanObject *, QuolanObject *, int32_t) { return StatusFailed; }
    static QuolanObject *Copy(QuolanObject *, QuolanObject *) { return nullptr; }

    static void SetLoader(QuolanObject *self, QuolanObject *loader) { of(self)->loader = loader; }
    static QuolanObject *GetLoader(QuolanObject *self) { return of(self)->loader; }

    // ---- element operations ----

    static int32_t GetAt(QuolanObject *self, void **value, int32_t *tag, int32_t index)
    {
        QC_CHECK_STORAGE_ON_RETURN(self);
        QuolanObject *store = of(self)->deferred_store;
        int32_t position = keyed_position(self, index);
        void *key = nullptr;
        int32_t key_tag = Null;
        if (store && position >= 0 && position < used_positions(store) &&
            array_of(store)->GetAt(store, &key, &key_tag, position) == StatusOk && key_tag != Null)
            return load(self, value, tag, key, key_tag, position);
        return parent()->GetAt(self, value, tag, index);
    }

    // The loader key of the position is dropped, and released once the new
    // value is in place: the value may be the key itself (a loader that
    // answers with its key) or live inside it.  Its datum is read before
    // anything changes, for the same reason.
    static int32_t PutAt(QuolanObject *self, void *value, int32_t tag, int32_t index)
    {
        QC_CHECK_STORAGE_ON_RETURN(self);
        Element datum;
        if (value && holds_datum(tag)) {
            datum = element_from(value, tag);
            value = &datum.value;
        }
        Element key;
        int32_t position = -1;
        int32_t status = detach_key(self, index, &key, &position);
        if (status != StatusOk) return status;
        // Where the put lands, known before it runs: the old value's Delete
        // may write elsewhere and move current_slot.
        const int32_t target = written_position(self, index);
        if (tag == Null && t_null_put.self == self && t_null_put.position < 0) t_null_put.position = target;
        status = parent()->PutAt(self, value, tag, index);
        settle_key(self, key, position, target, status == StatusOk ? nullptr : value);
        return status;
    }

    static int32_t ClearAt(QuolanObject *self, int32_t index)
    {
        QC_CHECK_STORAGE_ON_RETURN(self);
        Element key;
        int32_t position = -1;
        int32_t status = detach_key(self, index, &key, &position);
        if (status != StatusOk) return status;
        status = parent()->ClearAt(self, index);
        release(key);
        return status;
    }

    static int32_t PutDeferredAt(QuolanObject *self, void *key, int32_t key_tag, int32_t index)
    {
        return record_key(self, key, key_tag, [&] {
            return array_of(self)->PutAt(self, nullptr, Null, index);
        });
    }

    static int32_t GetDeferredAt(QuolanObject *self, void **value, int32_t *tag, int32_t index)
    {
        return read_key(self, value, tag, keyed_position(self, index));
    }

    // ---- building blocks for the keyed front ends ----

    // Records `key` at the position that `write_null` (a Null put through the
    // object's own table) selected; StatusFailed without a store.  The key is taken
    // before the Null put drops the position's value and old key, since it
    // may be either of them or live inside them: a text is copied first, and
    // an owned block that the put drops is handed to the store, not released.
    template <class WriteNull>
    static int32_t record_key(QuolanObject *self, void *key, int32_t key_tag, WriteNull write_null)
    {
        if (!of(self)->deferred_store) return StatusFailed;
        Element datum;
        char *text = nullptr;
        if (key && holds_datum(key_tag)) {
            datum = element_from(key, key_tag);
            key = &datum.value;
        } else if (key && key_tag == OwnedString) {
            text = mem::dup(static_cast<const char *>(key));
            if (!text) return StatusNoMemory;
            key = text;
        }
        int32_t status;
        int32_t position;
        bool handed_over;  // the Null put dropped the key's own block and spared it
        {
            HandOver hand_over(is_owned(key_tag) && !text ? key : nullptr);
            const NullPut outer = t_null_put;
            t_null_put = {self, -1};
            status = write_null();
            // The position the Null went to, as this class's PutAt saw it;
            // the Delete of what it dropped may have moved current_slot since.
            position = t_null_put.position >= 0 ? t_null_put.position : as_array(self)->current_slot;
            t_null_put = outer;
            handed_over = hand_over.met();
        }
        // Re-read: the Null put may have run foreign code.
        QuolanObject *store = of(self)->deferred_store;
        if (status == StatusOk && !store) status = StatusFailed;
        if (status == StatusOk) status = array_of(store)->PutAt(store, key, key_tag, position);
        mem::release(text);
        // A block the Null put dropped but spared is ours to release if the
        // store did not take it; the scope that spared it is closed by now.
        if (status != StatusOk && handed_over) release(Element{key_tag, {.pointer = key}});
        return status;
    }

    // The loader key recorded at a container position, without loading:
    // StatusFailed without a store, StatusOutOfRange for no position, else
    // the store's answer (so StatusOutOfRange also past the highest position
    // a key was ever recorded at).
    static int32_t read_key(QuolanObject *self, void **value, int32_t *tag, int32_t position)
    {
        QuolanObject *store = of(self)->deferred_store;
        if (!store) return StatusFailed;
        if (position < 0) return StatusOutOfRange;
        return array_of(store)->GetAt(store, value, tag, position);
    }

private:
    // The Null put of a record_key under way on this thread, and the
    // position it wrote (-1 until this class's PutAt saw it).
    struct NullPut {
        QuolanObject *self;
        int32_t position;
    };
    static inline thread_local NullPut t_null_put{nullptr, -1};

    // The position a put at `index` writes: the special indexes resolved as
    // Array's index selection resolves them; -1 for none.
    static int32_t written_position(QuolanObject *self, int32_t index)
    {
        const int32_t used = used_positions(self);
        if (index == -2) return used;
        if (index == -1) return used > 0 ? used - 1 : 0;
        return index < 0 ? -1 : index;
    }

    // The container position an index names for the store, or -1 when it
    // names none that could carry a key (see the special indexes above).
    static int32_t keyed_position(QuolanObject *self, int32_t index)
    {
        if (index >= 0) return index;
        if (index != -1) return -1;
        int32_t used = used_positions(self);
        return used > 0 ? used - 1 : -1;
    }

    // Takes the key at the position an index names out of the store before
    // a write or clear; the caller releases it (settle_key) once the write is
    // done.  StatusOutOfRange from the store only means there was nothing to
    // take.
    static int32_t detach_key(QuolanObject *self, int32_t index, Element *key, int32_t *position)
    {
        *key = Element{Null, {.pointer = nullptr}};
        QuolanObject *store = of(self)->deferred_store;
        *position = keyed_position(self, index);
        if (!store || *position < 0 || *position >= used_positions(store)) return StatusOk;
        int32_t status = take_at(store, *position, key);
        return status == StatusOutOfRange ? StatusOk : status;
    }

    // Releases a key taken by detach_key after the put that replaced it.  A
    // block the container now owns itself (a loader that answered with its
    // own owned key) has changed hands and stays.  When the put failed
    // (`failed_value` is then the value it was given) and the value was the
    // key's own block, the key goes back where it was, so the caller's
    // outputs do not point at a released block.
    static void settle_key(QuolanObject *self, const Element &key, int32_t position, int32_t slot,
                           const void *failed_value)
    {
        if (!is_owned(key.tag)) return;
        const Element *now = storage::at(as_array(self), slot);
        if (!failed_value && now && is_owned(now->tag) && now->value.pointer == key.value.pointer) return;
        if (failed_value == key.value.pointer && restore_key(self, key, position)) return;
        release(key);
    }

    static bool restore_key(QuolanObject *self, const Element &key, int32_t position)
    {
        QuolanObject *store = of(self)->deferred_store;
        return store && storage::put_back(as_array(store), position, key);
    }

    // Asks the loader for `key` and stores its answer at `position` through
    // the object's own PutAt.  The caller's outputs may be NULL; the loader
    // always gets somewhere to write, since the answer must be stored.  A
    // number key is handed over as a copy: the loader may change the store.
    static int32_t load(QuolanObject *self, void **value, int32_t *tag, void *key,
                        int32_t key_tag, int32_t position)
    {
        void *loaded = nullptr;
        int32_t loaded_tag = Null;
        void **v = value ? value : &loaded;
        int32_t *t = tag ? tag : &loaded_tag;
        QuolanObject *loader = of(self)->loader;
        if (!loader) {
            // A deferred position read before any loader was set: report it,
            // keep the key for a later read, answer as a refused operation.
            ZV_AssertForExport(0);
            *v = nullptr;
            *t = Null;
            return StatusFailed;
        }
        Element datum;
        if (holds_datum(key_tag)) {
            datum = element_from(key, key_tag);
            key = &datum.value;
        }
        int32_t status = dict_of(loader)->GetKey(loader, v, t, key, key_tag);
        if (status != StatusOk) return status;  // the key stays; the next read asks again
        status = array_of(self)->PutAt(self, *v, *t, position);
        // A loader that answered with the key itself pointed the outputs at
        // what storing just dropped: hand out what was stored instead.
        if (status == StatusOk && *v == key) status = parent()->GetAt(self, v, t, position);
        return status;
    }
};

}  // namespace qc
