/*
 * quolan/containers.hpp - a header-only C++20 layer over the container library.
 *
 * Nothing here crosses the C interface: every call below is one inline call
 * through the object's own method table, exactly what a C client writes, so
 * overrides of the typed and deferred classes apply as they do in C.
 *
 * Structure.  A *family* (ArrayFamily, DictFamily, ...) names a class: its
 * init function, its class name and the set of operations its objects answer
 * (an `ops` mixin, chained CRTP-style from the parent family's mixin).  Two
 * class templates carry a family:
 *
 *   Handle<F>  owns one object and deletes it through its Delete slot when it
 *              goes out of scope; move-only.  quolan::Array, quolan::Dict, ...
 *   View<F>    borrows one object and never deletes it.  quolan::ArrayView, ...
 *
 * Both are exactly one pointer (checked at the end of this file); they have
 * no virtual functions and allocate nothing of their own.  A Handle converts
 * to a View of its family or of any ancestor family (a Dict is an Array, and
 * every container an ObjectView), but only while it is an lvalue, so a View
 * can never outlive a temporary Handle.  view_cast<V>() narrows an ObjectView
 * after asking the object's IsA.
 *
 * Constness is the handle's, not the container's: like a pointer, a const
 * handle still reaches every method.  Every method REQUIRES a non-empty
 * handle, as the C interface requires a valid object; every other argument
 * may be empty and reaches the library as NULL, which answers a status.
 *
 * Statuses come back unchanged as quolan::Status (nothing throws).  Reads
 * come back as Result<Value>: the status, and the value read.  A Value holds
 * its number itself; text and objects it refers to stay the container's
 * (see Value).
 *
 * Range-for walks Arrays (every position), Dicts (keyed entries) and GenSets
 * (members).  Each iterator keeps its own position and sets the object's
 * cursor before every step, so the body may read, look up, put over
 * existing positions and loop over the same container again; each step
 * costs a SetIndex and a GetIndex beside the Next.  What a body may not
 * expect to see: an element it appends is visited (it lies ahead); a key it
 * adds is visited only when it lands ahead of the walk (a new key takes the
 * last free position, else it is appended); after a Clear the walk ends.
 * The cursor is left wherever the last step or the body put it.
 * docs/cursors.md says which call moves which cursor.
 */
#ifndef QUOLAN_CONTAINERS_HPP
#define QUOLAN_CONTAINERS_HPP

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

#include "quolan/containers.h"
#include "quolan/stream.h"

namespace quolan {

// Special indexes: the last position in use, and the one just after it.
inline constexpr int32_t last = -1;
inline constexpr int32_t append = -2;

// A status of the library, carried unchanged; 0 is success.
struct [[nodiscard]] Status {
    int32_t code = StatusOk;
    constexpr Status() noexcept = default;
    // Implicit, so the C codes compare and convert freely: s == StatusLocked.
    constexpr Status(int32_t c) noexcept : code(c) {}
    [[nodiscard]] constexpr bool ok() const noexcept { return code == StatusOk; }
    friend constexpr bool operator==(Status, Status) noexcept = default;
};

template <class F> class Handle;
template <class F> class View;
struct ObjectFamily;
struct StreamFamily;
using ObjectView = View<ObjectFamily>;

// One tagged value, to put, to use as a key, or as a read gave it.
//
// Numbers (Integer, Double, Boolean) live inside the Value: a Value read
// from a container keeps its number whatever happens to the container
// afterwards, and of_int(5) may take a temporary.  Text, objects and
// pointers are referred to, never copied: a read Value refers to what the
// container owns, which stays valid until that position (key, member) is
// written, cleared or removed, or the container is cleared or deleted.
// Growth does not move it.  Copy the text (std::string(v.as_string())) to
// keep it longer.
class Value {
public:
    int32_t tag = Null;

    constexpr Value() noexcept = default;

    static Value of_int(int32_t v) noexcept { return number(Integer, v, 0.0); }
    static Value of_double(double v) noexcept { return number(Double, 0, v); }
    static Value of_bool(bool v) noexcept { return number(Boolean, v ? 1 : 0, 0.0); }
    static Value of_string(const char *text) noexcept  // borrowed
    {
        return reference(String, const_cast<char *>(text));
    }
    static Value of_owned_string(const char *text) noexcept  // the container keeps a copy
    {
        return reference(OwnedString, const_cast<char *>(text));
    }
    static Value of_object(ObjectView object) noexcept;  // borrowed
    static Value of_pointer(void *p) noexcept { return reference(Pointer, p); }  // borrowed

    // What a C read wrote: the tag and the value reference.  A number is
    // copied out of the container here.
    static Value from_c(int32_t tag, const void *ref) noexcept
    {
        Value v;
        v.tag = tag;
        if (holds_number(tag)) {
            if (ref && tag == Double) std::memcpy(&v.number_.real, ref, sizeof(double));
            else if (ref) std::memcpy(&v.number_.integer, ref, sizeof(int32_t));
            else v.tag = Null;  // no datum to read: nothing was read
        } else {
            v.ref_ = const_cast<void *>(ref);
        }
        return v;
    }

    // The value reference the C calls take: for numbers a pointer into this
    // Value, so it lives as long as this Value does.
    [[nodiscard]] void *ref() noexcept { return holds_number(tag) ? static_cast<void *>(&number_) : ref_; }

    [[nodiscard]] bool is_null() const noexcept { return tag == Null; }
    [[nodiscard]] bool owned() const noexcept
    {
        return tag == OwnedString || tag == OwnedObject || tag == OwnedPointer;
    }
    // Each accessor answers only for its own kinds: as_double does not
    // convert an Integer, as_string answers NULL for a number.
    [[nodiscard]] std::optional<int32_t> as_int() const noexcept
    {
        return tag == Integer ? std::optional<int32_t>(number_.integer) : std::nullopt;
    }
    [[nodiscard]] std::optional<double> as_double() const noexcept
    {
        return tag == Double ? std::optional<double>(number_.real) : std::nullopt;
    }
    [[nodiscard]] std::optional<bool> as_bool() const noexcept
    {
        return tag == Boolean ? std::optional<bool>(number_.integer != 0) : std::nullopt;
    }
    [[nodiscard]] const char *as_string() const noexcept
    {
        return tag == String || tag == OwnedString ? static_cast<const char *>(ref_) : nullptr;
    }
    [[nodiscard]] void *as_pointer() const noexcept
    {
        return tag == Pointer || tag == OwnedPointer ? ref_ : nullptr;
    }
    [[nodiscard]] ObjectView as_object() const noexcept;

private:
    static constexpr bool holds_number(int32_t t) noexcept { return t == Integer || t == Double || t == Boolean; }
    static Value number(int32_t t, int32_t i, double d) noexcept
    {
        Value v;
        v.tag = t;
        if (t == Double) v.number_.real = d;
        else v.number_.integer = i;
        return v;
    }
    static Value reference(int32_t t, void *p) noexcept
    {
        Value v;
        v.tag = t;
        v.ref_ = p;
        return v;
    }

    void *ref_ = nullptr;  // text, object or pointer
    union {
        int32_t integer;
        double real = 0.0;
    } number_;
};

// A status and what the call read; the value is meaningful only when ok().
template <class T>
struct [[nodiscard]] Result {
    Status status;
    T value{};
    [[nodiscard]] constexpr bool ok() const noexcept { return status.ok(); }
    constexpr explicit operator bool() const noexcept { return ok(); }
    constexpr const T &operator*() const noexcept { return value; }
    constexpr const T *operator->() const noexcept { return &value; }
};

// One entry of a dictionary walk.
struct Entry {
    Value key;
    Value value;
};

// The buffer IsA writes a class name into when asked with an empty name.
struct ClassName {
    char text[128] = {};
    [[nodiscard]] const char *c_str() const noexcept { return text; }
};

namespace detail {

inline QuolanObject *new_instance(QuolanObject *cls) noexcept
{
    return cls ? quolan_base_methods(cls)->New(cls) : nullptr;
}

inline std::optional<int32_t> position(int32_t answer) noexcept
{
    return answer >= 0 ? std::optional<int32_t>(answer) : std::nullopt;
}

// Reads through a C getter of the form f(self, &value, &tag, args...).
template <class Fn, class... Args>
Result<Value> read(Fn fn, QuolanObject *self, Args... args) noexcept
{
    void *ref = nullptr;
    int32_t tag = Null;
    Result<Value> r;
    r.status = fn(self, &ref, &tag, args...);
    r.value = Value::from_c(tag, ref);
    return r;
}

// The roots of the ops chains declare get(NoRead) so that a handle can
// always say `using ops::get`: the element reads of the containers are
// named get too, and the handle's own get() would otherwise hide them.
struct NoRead {
    explicit NoRead() = default;
};

template <class T> struct is_view : std::false_type {};
template <class F> struct is_view<View<F>> : std::true_type {};

}  // namespace detail

// ---- handles -------------------------------------------------------------------

template <class F>
class View : public F::template ops<View<F>> {
public:
    using family = F;
    using F::template ops<View<F>>::get;
    constexpr View() noexcept = default;
    constexpr explicit View(QuolanObject *borrowed) noexcept : object_(borrowed) {}
    // A view of a descendant family is a view of this one.
    template <class G>
        requires(std::is_base_of_v<F, G> && !std::is_same_v<F, G>)
    constexpr View(View<G> other) noexcept : object_(other.get()) {}

    [[nodiscard]] constexpr QuolanObject *get() const noexcept { return object_; }
    constexpr explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    QuolanObject *object_ = nullptr;
};

template <class F>
class Handle : public F::template ops<Handle<F>> {
public:
    using family = F;
    using F::template ops<Handle<F>>::get;
    constexpr Handle() noexcept = default;
    constexpr explicit Handle(QuolanObject *adopted) noexcept : object_(adopted) {}
    Handle(Handle &&other) noexcept : object_(other.release()) {}
    Handle &operator=(Handle &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    ~Handle() { reset(); }

    // A new object of the family (for containers: the class's init, then
    // New); an empty handle when either fails.
    template <class... Args>
    [[nodiscard]] static Handle make(Args &&...args) noexcept
    {
        return Handle(F::create(std::forward<Args>(args)...));
    }

    [[nodiscard]] constexpr QuolanObject *get() const noexcept { return object_; }
    constexpr explicit operator bool() const noexcept { return object_ != nullptr; }
    // Hands the object to the caller, who now deletes it.
    [[nodiscard]] QuolanObject *release() noexcept { return std::exchange(object_, nullptr); }
    void reset(QuolanObject *adopted = nullptr) noexcept
    {
        QuolanObject *old = std::exchange(object_, adopted);
        if (old) (void)quolan_base_methods(old)->Delete(old);
    }

    [[nodiscard]] View<F> view() const & noexcept { return View<F>(object_); }
    View<F> view() const && = delete;  // would borrow from a temporary
    template <class G>
        requires std::is_base_of_v<G, F>
    operator View<G>() const & noexcept
    {
        return View<G>(object_);
    }
    template <class G>
    operator View<G>() const && = delete;  // would borrow from a temporary

private:
    QuolanObject *object_ = nullptr;
};

// ---- streams -------------------------------------------------------------------

template <class Self>
class StreamOps {
public:
    // The bytes a memory stream holds (empty for other streams); valid until
    // the next write or the stream's deletion.
    [[nodiscard]] std::span<const unsigned char> bytes() const noexcept
    {
        size_t size = 0;
        const unsigned char *data = quolan_memory_stream_data(obj(), &size);
        return data ? std::span<const unsigned char>(data, size) : std::span<const unsigned char>();
    }
    // The stream's status word: 0 while well, sticky nonzero after a failed read.
    [[nodiscard]] int32_t status() const noexcept { return quolan_stream_status(obj()); }
    [[nodiscard]] size_t read_offset() const noexcept { return quolan_stream_read_offset(obj()); }
    void get(detail::NoRead) const = delete;

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
};

// ---- every object --------------------------------------------------------------

template <class Self>
class ObjectOps {
public:
    Status save(View<StreamFamily> stream, int32_t mode = 0) const noexcept;
    Status load(View<StreamFamily> stream, int32_t mode = 0) const noexcept;
    // IsEqual: a yes/no answer, 0 also on every failure.
    [[nodiscard]] bool equals(ObjectView other) const noexcept;
    // Whether the object answers to a class name (its own or an ancestor's).
    [[nodiscard]] bool is_a(const char *name) const noexcept
    {
        // An empty name asks IsA to write into it, so it is never passed on.
        if (!name || !*name) return false;
        QuolanObject *o = obj();
        return quolan_base_methods(o)->IsA(o, const_cast<char *>(name)) != 0;
    }
    [[nodiscard]] ClassName class_name() const noexcept
    {
        ClassName name;
        QuolanObject *o = obj();
        (void)quolan_base_methods(o)->IsA(o, name.text);
        return name;
    }
    [[nodiscard]] int32_t version(const char *name = nullptr) const noexcept
    {
        QuolanObject *o = obj();
        return quolan_base_methods(o)->GetVersion(o, name);
    }
    void get(detail::NoRead) const = delete;

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
};

struct ObjectFamily {
    template <class S> using ops = ObjectOps<S>;
};

struct StreamFamily : ObjectFamily {
    template <class S> using ops = StreamOps<S>;
    static QuolanObject *create() noexcept { return quolan_memory_stream_new(); }
    static QuolanObject *create(std::span<const unsigned char> bytes) noexcept
    {
        return quolan_memory_stream_from(bytes.data(), bytes.size());
    }
};

using ObjectHandle = Handle<ObjectFamily>;
// Stream::make() is an empty writable memory stream; Stream::make(bytes) a
// readable one holding a copy of bytes.
using Stream = Handle<StreamFamily>;
using StreamView = View<StreamFamily>;

// A file stream, mode "rb" or "wb"; empty on failure.
[[nodiscard]] inline Stream open_file_stream(const char *path, const char *mode) noexcept
{
    return Stream(quolan_file_stream_open(path, mode));
}

template <class Self>
inline Status ObjectOps<Self>::save(StreamView stream, int32_t mode) const noexcept
{
    QuolanObject *o = obj();
    return quolan_base_methods(o)->Save(o, stream.get(), mode);
}

template <class Self>
inline Status ObjectOps<Self>::load(StreamView stream, int32_t mode) const noexcept
{
    QuolanObject *o = obj();
    return quolan_base_methods(o)->Load(o, stream.get(), mode);
}

template <class Self>
inline bool ObjectOps<Self>::equals(ObjectView other) const noexcept
{
    QuolanObject *o = obj();
    return quolan_base_methods(o)->IsEqual(o, other.get()) != 0;
}

inline Value Value::of_object(ObjectView object) noexcept { return reference(Object, object.get()); }

inline ObjectView Value::as_object() const noexcept
{
    return ObjectView(tag == Object || tag == OwnedObject ? static_cast<QuolanObject *>(ref_) : nullptr);
}

// A view of the object if it answers to the family's class name, else empty.
template <class V>
    requires detail::is_view<V>::value
[[nodiscard]] V view_cast(ObjectView object) noexcept
{
    return object && object.is_a(V::family::name) ? V(object.get()) : V();
}

// ---- walks ---------------------------------------------------------------------

struct WalkEnd {};

// An input iterator that keeps its own position.  The object has one cursor,
// and reads, lookups and puts in a loop body move it (GetAt selects the
// position it reads, a keyed read calls GetAt), so before each step the
// iterator puts the cursor back where its walk stands, steps with the
// object's own Next and reads the cursor Next leaves.  A body may therefore
// read, look up, write existing positions and walk the same container again.
// The walk ends at the first failing step: -6 at the end, or any failure.
template <class Step>
class WalkIterator {
public:
    using value_type = typename Step::item;
    using difference_type = std::ptrdiff_t;
    using iterator_concept = std::input_iterator_tag;

    WalkIterator() noexcept = default;
    explicit WalkIterator(QuolanObject *object) noexcept : object_(object) { advance(); }

    const value_type &operator*() const noexcept { return item_; }
    const value_type *operator->() const noexcept { return &item_; }
    WalkIterator &operator++() noexcept
    {
        advance();
        return *this;
    }
    void operator++(int) noexcept { advance(); }
    friend bool operator==(const WalkIterator &it, WalkEnd) noexcept { return it.object_ == nullptr; }

private:
    void advance() noexcept
    {
        if (object_ && !Step::next(object_, next_, item_)) object_ = nullptr;
    }
    QuolanObject *object_ = nullptr;
    int32_t next_ = 0;  // the cursor to set before the next step
    value_type item_{};
};

namespace detail {

// SetIndex(at), Next, and the cursor Next leaves (one past what it
// delivered; a dictionary's Next may pass over keyless positions first).
inline bool step_from(QuolanObject *o, int32_t &at, void **ref, int32_t *tag) noexcept
{
    const ArrayMethods *m = quolan_array_methods(o);
    int32_t cursor = 0;
    if (m->SetIndex(o, at) != StatusOk || m->Next(o, ref, tag) != StatusOk ||
        m->GetIndex(o, &cursor) != StatusOk || cursor <= at)
        return false;
    at = cursor;
    return true;
}

}  // namespace detail

struct ElementStep {
    using item = Value;
    static bool next(QuolanObject *o, int32_t &at, Value &v) noexcept
    {
        void *ref = nullptr;
        int32_t tag = Null;
        if (!detail::step_from(o, at, &ref, &tag)) return false;
        v = Value::from_c(tag, ref);
        return true;
    }
};

// The entry's key is read at the position Next delivered, one before the
// cursor it leaves.
struct EntryStep {
    using item = Entry;
    static bool next(QuolanObject *o, int32_t &at, Entry &e) noexcept
    {
        void *ref = nullptr;
        int32_t tag = Null;
        if (!detail::step_from(o, at, &ref, &tag)) return false;
        e.value = Value::from_c(tag, ref);
        void *key = nullptr;
        int32_t kind = Null;
        const DictMethods *m = quolan_dict_methods(o);
        e.key = m->GetSymbol(o, &key, &kind, at - 1) == StatusOk ? Value::from_c(kind, key) : Value();
        return true;
    }
};

// A set's members by position, free positions passed over; the set's own
// cursor is not involved (its member store is private).
struct MemberStep {
    using item = Value;
    static bool next(QuolanObject *o, int32_t &at, Value &v) noexcept
    {
        const GenSetMethods *m = quolan_genset_methods(o);
        for (;;) {
            void *ref = nullptr;
            int32_t tag = Null;
            if (at < 0 || m->GetValue(o, &ref, &tag, at) != StatusOk) return false;
            ++at;
            if (tag != Null) {
                v = Value::from_c(tag, ref);
                return true;
            }
        }
    }
};

// ---- Array ---------------------------------------------------------------------

template <class Self>
class ArrayOps : public ObjectOps<Self> {
public:
    // Puts at a position (default: append).  The *_copy puts hand ownership
    // over: put_string_copy duplicates the text, put_ptr_copy takes a
    // malloc'd block, put_object_copy takes the handle's object.
    Status put(Value v, int32_t index = append) const noexcept { return m()->PutAt(obj(), v.ref(), v.tag, index); }
    Status put_bool(bool v, int32_t index = append) const noexcept { return m()->PutBooleanAt(obj(), v ? 1 : 0, index); }
    Status put_int(int32_t v, int32_t index = append) const noexcept { return m()->PutIntAt(obj(), v, index); }
    Status put_double(double v, int32_t index = append) const noexcept { return m()->PutDoubleAt(obj(), v, index); }
    Status put_string(const char *v, int32_t index = append) const noexcept { return m()->PutStringAt(obj(), v, index); }
    Status put_string_copy(const char *v, int32_t index = append) const noexcept
    {
        return m()->PutStringCopyAt(obj(), v, index);
    }
    Status put_object(ObjectView v, int32_t index = append) const noexcept { return m()->PutObjectAt(obj(), v.get(), index); }
    // The handle lets go only when the array took the object; on a refusal
    // it still owns (and deletes) it.
    template <class G>
    Status put_object_copy(Handle<G> &&v, int32_t index = append) const noexcept
    {
        Status s = m()->PutObjectCopyAt(obj(), v.get(), index);
        if (s.ok()) (void)v.release();
        return s;
    }
    Status put_ptr(void *v, int32_t index = append) const noexcept { return m()->PutPtrAt(obj(), v, index); }
    Status put_ptr_copy(void *v, int32_t index = append) const noexcept { return m()->PutPtrCopyAt(obj(), v, index); }

    Result<Value> get(int32_t index) const noexcept { return detail::read(m()->GetAt, obj(), index); }
    Status clear_at(int32_t index) const noexcept { return m()->ClearAt(obj(), index); }

    // The larger of the used count and the initial size; -5 without memory.
    [[nodiscard]] int32_t size() const noexcept { return m()->GetSizes(obj(), nullptr, nullptr); }
    void set_sizes(int32_t initial, int32_t maximum) const noexcept { m()->SetSizes(obj(), initial, maximum); }

    // The cursor, for walks by hand.
    Status set_index(int32_t index) const noexcept { return m()->SetIndex(obj(), index); }
    Result<int32_t> index() const noexcept
    {
        Result<int32_t> r;
        r.status = m()->GetIndex(obj(), &r.value);
        return r;
    }
    Result<Value> next() const noexcept { return detail::read(m()->Next, obj()); }
    Result<Value> previous() const noexcept { return detail::read(m()->Previous, obj()); }

    // Range-for: every position from 0 in order (see WalkIterator); the
    // cursor is left wherever the last step or the body put it.
    [[nodiscard]] WalkIterator<ElementStep> begin() const noexcept { return WalkIterator<ElementStep>(obj()); }
    [[nodiscard]] WalkEnd end() const noexcept { return {}; }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const ArrayMethods *m() const noexcept { return quolan_array_methods(obj()); }
};

// Copy for the classes that copy themselves; the copy is of the same family.
template <class Self>
class CopyOps {
public:
    [[nodiscard]] auto copy() const noexcept
    {
        QuolanObject *o = static_cast<const Self *>(this)->get();
        return Handle<typename Self::family>(quolan_base_methods(o)->Copy(o, o));
    }
};

template <class Self>
class ArrayClassOps : public ArrayOps<Self>, public CopyOps<Self> {};

// ---- Dict ----------------------------------------------------------------------

template <class Self>
class DictOps : public ArrayOps<Self> {
    using Base = ArrayOps<Self>;

public:
    // Positional access stays: a Dict is an Array.
    using Base::get;
    using Base::put;
    using Base::put_bool;
    using Base::put_double;
    using Base::put_int;
    using Base::put_object;
    using Base::put_object_copy;
    using Base::put_string;
    using Base::put_string_copy;

    // Puts under a text key; the dictionary keeps its own copy of the key.
    Status put(const char *key, Value v) const noexcept { return m()->PutStringKey(obj(), v.ref(), v.tag, key); }
    Status put_int(const char *key, int32_t v) const noexcept { return m()->PutIntStringKey(obj(), v, key); }
    Status put_double(const char *key, double v) const noexcept { return m()->PutDoubleStringKey(obj(), v, key); }
    Status put_bool(const char *key, bool v) const noexcept
    {
        int32_t b = v ? 1 : 0;
        return m()->PutStringKey(obj(), &b, Boolean, key);
    }
    Status put_string(const char *key, const char *v) const noexcept
    {
        return m()->PutStringKey(obj(), const_cast<char *>(v), String, key);
    }
    Status put_string_copy(const char *key, const char *v) const noexcept
    {
        return m()->PutStringKey(obj(), const_cast<char *>(v), OwnedString, key);
    }
    Status put_object(const char *key, ObjectView v) const noexcept
    {
        return m()->PutStringKey(obj(), v.get(), Object, key);
    }
    template <class G>
    Status put_object_copy(const char *key, Handle<G> &&v) const noexcept
    {
        Status s = m()->PutStringKey(obj(), v.get(), OwnedObject, key);
        if (s.ok()) (void)v.release();
        return s;
    }
    // An absent key answers -6 with a Null value.
    Result<Value> get(const char *key) const noexcept { return detail::read(m()->GetStringKey, obj(), key); }
    Status clear_key(const char *key) const noexcept
    {
        return m()->ClearKey(obj(), const_cast<char *>(key), String);
    }
    [[nodiscard]] std::optional<int32_t> index_of(const char *key) const noexcept
    {
        return detail::position(m()->StringSymbolIndex(obj(), key));
    }

    // Keys of any kind, given as a Value.
    Status put_key(Value key, Value v) const noexcept { return m()->PutKey(obj(), v.ref(), v.tag, key.ref(), key.tag); }
    Result<Value> get_key(Value key) const noexcept { return detail::read(m()->GetKey, obj(), key.ref(), key.tag); }
    Status clear_key(Value key) const noexcept { return m()->ClearKey(obj(), key.ref(), key.tag); }
    [[nodiscard]] std::optional<int32_t> index_of(Value key) const noexcept
    {
        return detail::position(m()->SymbolIndex(obj(), key.ref(), key.tag));
    }

    // The key at a position: its text (NULL for other kinds), or the key
    // itself (status 1 when there is none to read).
    [[nodiscard]] const char *key_at(int32_t position) const noexcept { return m()->GetStringSymbol(obj(), position); }
    Result<Value> symbol_at(int32_t position) const noexcept { return detail::read(m()->GetSymbol, obj(), position); }

    // Range-for over the keyed entries in position order.  The key store is
    // made to exist before the first step: were it made by the first key
    // read instead, the walk would switch from Array's Next (every position)
    // to the keyed one halfway.  An empty dictionary is left untouched.
    [[nodiscard]] WalkIterator<EntryStep> begin() const noexcept
    {
        QuolanObject *o = obj();
        if (m()->GetSizes(o, nullptr, nullptr) <= 0) return {};
        void *key = nullptr;
        int32_t kind = Null;
        (void)m()->GetSymbol(o, &key, &kind, append);  // makes the store; reads nothing at -2
        return WalkIterator<EntryStep>(o);
    }
    [[nodiscard]] WalkEnd end() const noexcept { return {}; }

    // The number of keys: one read per position of the key store.
    [[nodiscard]] int32_t count() const noexcept
    {
        int32_t keys = 0;
        void *key = nullptr;
        for (int32_t kind = Null, p = 0; m()->GetSymbol(obj(), &key, &kind, p) == StatusOk; ++p)
            keys += kind != Null;
        return keys;
    }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const DictMethods *m() const noexcept { return quolan_dict_methods(obj()); }
};

template <class Self>
class DictClassOps : public DictOps<Self>, public CopyOps<Self> {};

// ---- typed containers ------------------------------------------------------------

// Access mode and lock, at the slots of Table (ArrayTypedMethods or
// DictTypedMethods).
template <class Self, class Table>
class AccessOps {
public:
    Status set_access(int32_t mode) const noexcept { return m()->SetAccess(obj(), mode); }
    [[nodiscard]] int32_t access() const noexcept { return m()->GetAccess(obj()); }
    // Freezes type lists and access mode; reachable only by slot.
    void set_lock(bool locked) const noexcept { m()->SetLock(obj(), locked ? 1 : 0); }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const Table *m() const noexcept { return reinterpret_cast<const Table *>(obj()->methods); }
};

template <class Self>
class ArrayTypedOps : public ArrayClassOps<Self>, public AccessOps<Self, ArrayTypedMethods> {
public:
    Status set_slot_type(const char *types, int32_t index) const noexcept { return m()->SetSlotType(obj(), types, index); }
    // 0, -10 (admitted only as a Double) or -3; binds an untyped position.
    Status check_slot_type(Value v, int32_t index) const noexcept
    {
        return m()->CheckSlotType(obj(), v.ref(), v.tag, index);
    }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const ArrayTypedMethods *m() const noexcept { return quolan_array_typed_methods(obj()); }
};

template <class Self>
class DictTypedOps : public DictClassOps<Self>, public AccessOps<Self, DictTypedMethods> {
public:
    Status set_key_type(const char *types, const char *key) const noexcept
    {
        return m()->SetStringKeyType(obj(), types, key);
    }
    Status set_key_type(const char *types, Value key) const noexcept
    {
        return m()->SetKeyType(obj(), types, key.ref(), key.tag);
    }
    Status check_key_type(Value v, const char *key) const noexcept
    {
        return m()->CheckStringKeyType(obj(), v.ref(), v.tag, key);
    }
    Status check_key_type(Value v, Value key) const noexcept
    {
        return m()->CheckKeyType(obj(), v.ref(), v.tag, key.ref(), key.tag);
    }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const DictTypedMethods *m() const noexcept { return quolan_dict_typed_methods(obj()); }
};

// ---- deferred-load containers -------------------------------------------------------

// The loader (borrowed, never deleted), at the slots of Table
// (ArrayDeferMethods or DictDeferMethods).
template <class Self, class Table>
class LoaderOps {
public:
    void set_loader(ObjectView loader) const noexcept { m()->SetLoader(obj(), loader.get()); }
    [[nodiscard]] ObjectView loader() const noexcept { return ObjectView(m()->GetLoader(obj())); }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const Table *m() const noexcept { return reinterpret_cast<const Table *>(obj()->methods); }
};

// No copy(): these classes never copy themselves (Copy answers NULL).
template <class Self>
class ArrayDeferOps : public ArrayOps<Self>, public LoaderOps<Self, ArrayDeferMethods> {
public:
    // Records a loader key, read through the loader on first get.
    Status put_deferred(Value loader_key, int32_t index = append) const noexcept
    {
        return m()->PutDeferredAt(obj(), loader_key.ref(), loader_key.tag, index);
    }
    // The recorded loader key, without loading.
    Result<Value> get_deferred(int32_t index) const noexcept { return detail::read(m()->GetDeferredAt, obj(), index); }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const ArrayDeferMethods *m() const noexcept { return quolan_array_defer_methods(obj()); }
};

template <class Self>
class DictDeferOps : public DictOps<Self>, public LoaderOps<Self, DictDeferMethods> {
public:
    Status put_deferred(const char *key, Value loader_key) const noexcept
    {
        return m()->PutDeferredStringKey(obj(), loader_key.ref(), loader_key.tag, key);
    }
    Status put_deferred_key(Value key, Value loader_key) const noexcept
    {
        return m()->PutDeferredKey(obj(), loader_key.ref(), loader_key.tag, key.ref(), key.tag);
    }
    Result<Value> get_deferred(const char *key) const noexcept
    {
        return detail::read(m()->GetDeferredStringKey, obj(), key);
    }
    Result<Value> get_deferred_key(Value key) const noexcept
    {
        return detail::read(m()->GetDeferredKey, obj(), key.ref(), key.tag);
    }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const DictDeferMethods *m() const noexcept { return quolan_dict_defer_methods(obj()); }
};

// ---- GenSet ----------------------------------------------------------------------

template <class Self>
class GenSetOps : public ObjectOps<Self> {
public:
    // Adding a member already present answers 0 and changes nothing.
    Status add(Value v) const noexcept { return m()->Add(obj(), v.ref(), v.tag); }
    Status add_string(const char *text) const noexcept { return m()->AddString(obj(), text); }  // copied
    Status add_int(int32_t v) const noexcept { return m()->AddInt32(obj(), v); }
    [[nodiscard]] bool contains(Value v) const noexcept { return m()->Contains(obj(), v.ref(), v.tag) != 0; }
    [[nodiscard]] bool contains_string(const char *text) const noexcept { return m()->ContainsString(obj(), text) != 0; }
    [[nodiscard]] bool contains_int(int32_t v) const noexcept { return m()->ContainsInt32(obj(), v) != 0; }
    // Removing an absent member answers -6.
    Status clear_element(Value v) const noexcept { return m()->ClearElement(obj(), v.ref(), v.tag); }

    [[nodiscard]] std::optional<int32_t> index_of(const char *text) const noexcept
    {
        return detail::position(m()->StringGetIndex(obj(), text));
    }
    [[nodiscard]] std::optional<int32_t> index_of(Value v) const noexcept
    {
        return detail::position(m()->GetIndex(obj(), v.ref(), v.tag));
    }
    [[nodiscard]] const char *string_at(int32_t position) const noexcept { return m()->GetStringValue(obj(), position); }
    Result<Value> value_at(int32_t position) const noexcept { return detail::read(m()->GetValue, obj(), position); }

    // Range-for: every member, in position order.
    [[nodiscard]] WalkIterator<MemberStep> begin() const noexcept { return WalkIterator<MemberStep>(obj()); }
    [[nodiscard]] WalkEnd end() const noexcept { return {}; }
    // The number of members: one read per position.
    [[nodiscard]] int32_t count() const noexcept
    {
        int32_t members = 0;
        void *value = nullptr;
        for (int32_t kind = Null, p = 0; m()->GetValue(obj(), &value, &kind, p) == StatusOk; ++p)
            members += kind != Null;
        return members;
    }

private:
    QuolanObject *obj() const noexcept { return static_cast<const Self *>(this)->get(); }
    const GenSetMethods *m() const noexcept { return quolan_genset_methods(obj()); }
};

// ---- families ----------------------------------------------------------------------

struct ArrayFamily : ObjectFamily {
    static constexpr const char *name = "Array";
    template <class S> using ops = ArrayClassOps<S>;
    static QuolanObject *create() noexcept { return detail::new_instance(array_baseclass_init()); }
};
struct ArrayTypedFamily : ArrayFamily {
    static constexpr const char *name = "ArrayTyped";
    template <class S> using ops = ArrayTypedOps<S>;
    static QuolanObject *create() noexcept { return detail::new_instance(array_typedclass_init()); }
};
struct ArrayDeferFamily : ArrayFamily {
    static constexpr const char *name = "ArrayDefer";
    template <class S> using ops = ArrayDeferOps<S>;
    static QuolanObject *create() noexcept { return detail::new_instance(array_deferclass_init()); }
};
struct DictFamily : ArrayFamily {
    static constexpr const char *name = "Dict";
    template <class S> using ops = DictClassOps<S>;
    static QuolanObject *create() noexcept { return detail::new_instance(dict_baseclass_init()); }
};
struct DictTypedFamily : DictFamily {
    static constexpr const char *name = "DictTyped";
    template <class S> using ops = DictTypedOps<S>;
    static QuolanObject *create() noexcept { return detail::new_instance(dict_typedclass_init()); }
};
struct DictDeferFamily : DictFamily {
    static constexpr const char *name = "DictDefer";
    template <class S> using ops = DictDeferOps<S>;
    static QuolanObject *create() noexcept { return detail::new_instance(dict_deferclass_init()); }
};
struct GenSetFamily : ObjectFamily {
    static constexpr const char *name = "GenSet";
    template <class S> using ops = GenSetOps<S>;
    static QuolanObject *create() noexcept { return detail::new_instance(genset_baseclass_init()); }
};

using Array = Handle<ArrayFamily>;
using ArrayView = View<ArrayFamily>;
using ArrayTyped = Handle<ArrayTypedFamily>;
using ArrayTypedView = View<ArrayTypedFamily>;
using ArrayDefer = Handle<ArrayDeferFamily>;
using ArrayDeferView = View<ArrayDeferFamily>;
using Dict = Handle<DictFamily>;
using DictView = View<DictFamily>;
using DictTyped = Handle<DictTypedFamily>;
using DictTypedView = View<DictTypedFamily>;
using DictDefer = Handle<DictDeferFamily>;
using DictDeferView = View<DictDeferFamily>;
using GenSet = Handle<GenSetFamily>;
using GenSetView = View<GenSetFamily>;

// The layer costs nothing in size: a handle is the pointer a C client holds.
#define QUOLAN_ONE_POINTER(F)                                                      \
    static_assert(sizeof(Handle<F>) == sizeof(QuolanObject *), #F " handle size"); \
    static_assert(sizeof(View<F>) == sizeof(QuolanObject *), #F " view size");     \
    static_assert(std::is_trivially_copyable_v<View<F>>, #F " view copies freely");
QUOLAN_ONE_POINTER(ObjectFamily)
QUOLAN_ONE_POINTER(StreamFamily)
QUOLAN_ONE_POINTER(ArrayFamily)
QUOLAN_ONE_POINTER(ArrayTypedFamily)
QUOLAN_ONE_POINTER(ArrayDeferFamily)
QUOLAN_ONE_POINTER(DictFamily)
QUOLAN_ONE_POINTER(DictTypedFamily)
QUOLAN_ONE_POINTER(DictDeferFamily)
QUOLAN_ONE_POINTER(GenSetFamily)
#undef QUOLAN_ONE_POINTER

}  // namespace quolan

#endif /* QUOLAN_CONTAINERS_HPP */
