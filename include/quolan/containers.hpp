/*
 * quolan/containers.hpp - a header-only C++20 layer over the container library.
 *
 * Nothing here crosses the C interface: every call below is one inline call
 * through the object's own method table, exactly what a C client writes, so
 * overrides of the typed and deferred classes apply as they do in C.
 * docs/cpp.md is the guide to this layer.
 *
 * Structure.  A *family* (ArrayFamily, DictFamily, ...) names a class: its
 * init function, its class name and the set of operations its objects answer
 * (an `ops` mixin, chained CRTP-style from the parent family's mixin).  Two
 * class templates carry a family:
 *
 *   Handle<F>        owns one object and deletes it through its Delete slot
 *                    when it goes out of scope; move-only.  quolan::Dict, ...
 *   View<F>          borrows one object and never deletes it.  quolan::DictView
 *   View<const F>    borrows one object for reading only.  quolan::ConstDictView
 *
 * All are exactly one pointer (checked at the end of this file); they have no
 * virtual functions and allocate nothing of their own.  A Handle converts to
 * a View of its family or of any ancestor family (a Dict is an Array, and
 * every container an ObjectView), but only while it is an lvalue, so a View
 * can never outlive a temporary Handle.  view_cast<V>() narrows a view after
 * asking the object's IsA.
 *
 * Const.  A const method is one a caller sees as a read: it leaves the
 * content (values, keys, members, sizes, type lists, access mode, lock,
 * loader) as it was.  Reads still move the element cursor, load deferred
 * values and may extend an array up to its initial size, as they do in C:
 * the cursor is not part of what const protects, so the cursor calls
 * (set_index, next, previous) are const too.  Every method that changes
 * content is non-const: a `const Dict &` and a ConstDictView cannot change
 * the dictionary, and a const Handle converts only to read-only views.
 * Objects a container holds are objects of their own: a read hands them out
 * as (changeable) ObjectViews, as a const std::vector<std::unique_ptr<T>>
 * hands out changeable Ts.
 *
 * Arguments.  Keys, type lists, names and paths are Text: a const char *, a
 * std::string or a std::string_view (copied into a NUL-terminated buffer;
 * the text ends at its first NUL).  Values going in are Arg: numbers,
 * booleans, text (which the container copies), objects (a handle given with
 * std::move is handed over, a view or an lvalue handle is borrowed) or a
 * Value for any other tag.  Every put takes the place first, then the value:
 * put(index, v), put(key, v); appending is push_back(v); a set inserts.
 *
 * Every method REQUIRES a non-empty handle or view, as the C interface
 * requires a valid object; every other argument may be empty or NULL and
 * reaches the library as NULL, which answers a status.  Statuses come back
 * unchanged as quolan::Status (nothing throws).  Reads come back as
 * Result<Value>: the status, and the value read.
 *
 * Walks.  Every class is a std::ranges::input_range whose begin() and end()
 * have one type: Arrays walk every position, Dicts their keyed entries, sets
 * their members.  Range-for, ranges algorithms, to_vector() and
 * std::vector<Value>(a.begin(), a.end()) all work.  Each iterator keeps its
 * own position and sets the object's cursor before every step, so the body
 * may read, look up, put over existing positions and loop over the same
 * container again; each step costs a SetIndex and a GetIndex beside the
 * Next.  What a body may not expect to see: an element it appends is
 * visited (it lies ahead); a key it adds is visited only when it lands ahead
 * of the walk (a new key takes the last free position, else it is appended);
 * after a Clear the walk ends.  docs/cursors.md says which call moves which
 * cursor.
 */
#ifndef QUOLAN_CONTAINERS_HPP
#define QUOLAN_CONTAINERS_HPP

#if !defined(__cplusplus) || __cplusplus < 202002L
#error "quolan/containers.hpp needs C++20 or later (e.g. -std=c++20); C code includes quolan/containers.h"
#endif

#include <cmath>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <ranges>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

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
    // "StatusOk", "StatusOutOfRange", ...; never NULL.
    [[nodiscard]] const char *name() const noexcept { return quolan_status_name(code); }
    friend constexpr bool operator==(Status, Status) noexcept = default;
};

template <class F> class Handle;
template <class F> class View;
struct ObjectFamily;
struct StreamFamily;
using ObjectView = View<ObjectFamily>;
using ConstObjectView = View<const ObjectFamily>;

// Text going into the C interface, which needs it NUL-terminated: a const
// char * or a std::string passes as it is, a std::string_view is copied
// (on the stack when short).  A copy that finds no memory passes NULL, which
// the library answers with a status.  Made in place for one call; never
// copied or kept.
class Text {
public:
    Text() noexcept = default;
    Text(const char *text) noexcept : text_(text) {}
    Text(const std::string &text) noexcept : text_(text.c_str()) {}
    Text(std::string_view text) noexcept
    {
        char *to = text.size() < sizeof small_ ? small_ : (heap_ = static_cast<char *>(std::malloc(text.size() + 1)));
        if (!to) return;
        if (!text.empty()) std::memcpy(to, text.data(), text.size());
        to[text.size()] = '\0';
        text_ = to;
    }
    Text(const Text &) = delete;
    Text &operator=(const Text &) = delete;
    ~Text() { std::free(heap_); }

    [[nodiscard]] const char *c_str() const noexcept { return text_; }

private:
    const char *text_ = nullptr;
    char *heap_ = nullptr;  // owned: a copy too long for small_
    char small_[48];
};

// One tagged value, to put, to use as a key, or as a read gave it.
//
// Numbers (Integer, Double, Boolean) live inside the Value: a Value read
// from a container keeps its number whatever happens to the container
// afterwards, and of_int(5) may take a temporary.  Text, objects and
// pointers are referred to, never copied: a read Value refers to what the
// container owns, which stays valid until that position (key, member) is
// written, cleared or removed, or the container is cleared or deleted.
// Growth does not move it.  Copy the text (std::string(*v.as_string_view()))
// to keep it longer.
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
    // A malloc'd block handed over: the container frees it.
    static Value of_owned_pointer(void *p) noexcept { return reference(OwnedPointer, p); }

    // What a C read wrote: the tag and the value reference.  A number is
    // copied out of the container here.
    static Value from_c(int32_t tag, const void *ref) noexcept
    {
        Value v;
        v.tag = tag;
        v.read_ = true;
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

    // The tag this value goes into a container with.  A Value a read gave
    // refers to what its container owns, so put elsewhere (as a value or a
    // key) its object or pointer is lent, never handed over a second time;
    // owned text is copied anyway.
    [[nodiscard]] int32_t put_tag() const noexcept
    {
        return read_ && (tag == OwnedObject || tag == OwnedPointer) ? tag - 1 : tag;
    }

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
    // The same text as a view, so that it compares: v.as_string_view() == "id".
    [[nodiscard]] std::optional<std::string_view> as_string_view() const noexcept
    {
        const char *text = as_string();
        return text ? std::optional<std::string_view>(text) : std::nullopt;
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
    bool read_ = false;    // handed out by a read (see put_tag)
    union {
        int32_t integer;
        double real = 0.0;
    } number_;
};

// A value going into a container (put, push_back, insert, and the set's
// lookups): made in place from what the caller passes.
//
//   int32_t (and narrower integers), double (and float), bool
//                          the number; wider integers are ambiguous on purpose
//   const char *, std::string, std::string_view
//                          text the container copies (OwnedString)
//   std::move(handle)      the object, handed over (OwnedObject); the handle
//                          lets go of it only when the container took it
//   view, lvalue handle    the object, borrowed (Object)
//   Value                  any tag as it is: borrowed text, pointers, Null
class Arg {
public:
    Arg(Value v) noexcept : value_(v) { value_.tag = v.put_tag(); }
    Arg(int32_t v) noexcept : value_(Value::of_int(v)) {}
    Arg(double v) noexcept : value_(Value::of_double(v)) {}
    // Only a bool itself: a pointer or a number must not turn into one.
    template <class B>
        requires std::same_as<B, bool>
    Arg(B v) noexcept : value_(Value::of_bool(v))
    {
    }
    Arg(const char *text) noexcept : text_(text), value_(Value::of_owned_string(text_.c_str())) {}
    Arg(const std::string &text) noexcept : text_(text), value_(Value::of_owned_string(text_.c_str())) {}
    Arg(std::string_view text) noexcept : text_(text), value_(Value::of_owned_string(text_.c_str())) {}
    template <class G>
        requires(!std::is_const_v<G>)
    Arg(View<G> borrowed) noexcept;
    template <class G>
    Arg(Handle<G> &borrowed) noexcept;
    template <class G>
    Arg(Handle<G> &&given) noexcept;
    Arg(const Arg &) = delete;
    Arg &operator=(const Arg &) = delete;

    [[nodiscard]] int32_t tag() const noexcept { return value_.tag; }
    [[nodiscard]] void *ref() noexcept { return value_.ref(); }
    // The status of the put, after which a handle given over lets go of the
    // object the container now owns.
    Status taken(Status put) noexcept
    {
        if (put.ok() && let_go_) let_go_(handle_);
        return put;
    }

private:
    Text text_;  // before value_, which refers to it
    Value value_;
    void *handle_ = nullptr;               // the Handle<G> given over, if any
    void (*let_go_)(void *) = nullptr;     // its release(), type-erased
};

// A status and what the call read; the value is meaningful only when ok().
template <class T>
struct [[nodiscard]] Result {
    Status status;
    T value{};
    [[nodiscard]] constexpr bool ok() const noexcept { return status.ok(); }
    constexpr explicit operator bool() const noexcept { return ok(); }
    constexpr T &operator*() & noexcept { return value; }
    constexpr const T &operator*() const & noexcept { return value; }
    constexpr T &&operator*() && noexcept { return std::move(value); }
    constexpr T *operator->() noexcept { return &value; }
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

// A view of family G passes as a view of family F: F is G or an ancestor,
// and a read-only view stays read-only.
template <class G, class F>
concept view_converts = !std::is_same_v<G, F> && std::is_base_of_v<std::remove_const_t<F>, std::remove_const_t<G>> &&
                        (std::is_const_v<F> || !std::is_const_v<G>);

// Whether the methods that change an object exist: on handles and views,
// not on read-only views.  Told from the type's name alone, as Self is
// still incomplete where some compilers first ask.
template <class T> struct read_only : std::false_type {};
template <class F> struct read_only<View<const F>> : std::true_type {};
template <class Self>
concept writable = !read_only<Self>::value;

// What the ops mixins reach their object through: reads from a const Self,
// changes from a non-const one.
template <class Self, class Mixin>
QuolanObject *object(const Mixin *mixin) noexcept
{
    return static_cast<const Self *>(mixin)->get();
}
template <class Self, class Mixin>
QuolanObject *target(Mixin *mixin) noexcept
{
    return static_cast<Self *>(mixin)->get();
}
template <class Table>
const Table *table(QuolanObject *object) noexcept
{
    return reinterpret_cast<const Table *>(object->methods);
}

}  // namespace detail

// ---- handles -------------------------------------------------------------------

template <class F>
class View : public std::remove_const_t<F>::template ops<View<F>> {
public:
    using family = F;
    using std::remove_const_t<F>::template ops<View<F>>::get;
    constexpr View() noexcept = default;
    constexpr explicit View(QuolanObject *borrowed) noexcept : object_(borrowed) {}
    template <class G>
        requires detail::view_converts<G, F>
    constexpr View(View<G> other) noexcept : object_(other.get())
    {
    }

    [[nodiscard]] constexpr QuolanObject *get() const noexcept { return object_; }
    constexpr explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    QuolanObject *object_ = nullptr;
};

template <class F>
class Handle : public F::template ops<Handle<F>> {
    static_assert(!std::is_const_v<F>, "a handle owns its object; View<const F> is the read-only form");

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

    [[nodiscard]] View<F> view() & noexcept { return View<F>(object_); }
    [[nodiscard]] View<const F> view() const & noexcept { return View<const F>(object_); }
    void view() const && = delete;  // would borrow from a temporary
    template <class G>
        requires std::is_base_of_v<std::remove_const_t<G>, F>
    operator View<G>() & noexcept
    {
        return View<G>(object_);
    }
    template <class G>
        requires(std::is_base_of_v<std::remove_const_t<G>, F> && std::is_const_v<G>)
    operator View<G>() const & noexcept
    {
        return View<G>(object_);
    }
    template <class G>
    operator View<G>() const && = delete;  // would borrow from a temporary

private:
    QuolanObject *object_ = nullptr;
};

template <class G>
    requires(!std::is_const_v<G>)
inline Arg::Arg(View<G> borrowed) noexcept : value_(Value::of_object(borrowed))
{
}

template <class G>
inline Arg::Arg(Handle<G> &borrowed) noexcept : value_(Value::of_object(borrowed))
{
}

template <class G>
inline Arg::Arg(Handle<G> &&given) noexcept
    : value_(Value::of_object(given)), handle_(&given),
      let_go_([](void *h) { (void)static_cast<Handle<G> *>(h)->release(); })
{
    value_.tag = OwnedObject;
}

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
    QuolanObject *obj() const noexcept { return detail::object<Self>(this); }
};

// ---- every object --------------------------------------------------------------

template <class Self>
class ObjectOps {
public:
    Status save(View<StreamFamily> stream, int32_t mode = 0) const noexcept;
    Status load(View<StreamFamily> stream, int32_t mode = 0) noexcept requires detail::writable<Self>;
    // IsEqual: a yes/no answer, 0 also on every failure.  Position by
    // position, and never true for a dictionary (see same_content).
    [[nodiscard]] bool equals(ConstObjectView other) const noexcept;
    // Whether both hold the same content: dictionaries the same keys with
    // the same values wherever they stand, arrays the same values in the
    // same order, sets the same members; nested containers alike, compared
    // the same way (docs/cpp.md has the rules).
    [[nodiscard]] bool same_content(ConstObjectView other) const noexcept;
    // Whether the object answers to a class name (its own or an ancestor's).
    [[nodiscard]] bool is_a(Text name) const noexcept
    {
        // An empty name asks IsA to write into it, so it is never passed on.
        if (!name.c_str() || !*name.c_str()) return false;
        QuolanObject *o = obj();
        return quolan_base_methods(o)->IsA(o, const_cast<char *>(name.c_str())) != 0;
    }
    [[nodiscard]] ClassName class_name() const noexcept
    {
        ClassName name;
        QuolanObject *o = obj();
        (void)quolan_base_methods(o)->IsA(o, name.text);
        return name;
    }
    [[nodiscard]] int32_t version(Text name = nullptr) const noexcept
    {
        QuolanObject *o = obj();
        return quolan_base_methods(o)->GetVersion(o, name.c_str());
    }
    void get(detail::NoRead) const = delete;

private:
    QuolanObject *obj() const noexcept { return detail::object<Self>(this); }
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
[[nodiscard]] inline Stream open_file_stream(Text path, const char *mode) noexcept
{
    return Stream(quolan_file_stream_open(path.c_str(), mode));
}

template <class Self>
inline Status ObjectOps<Self>::save(StreamView stream, int32_t mode) const noexcept
{
    QuolanObject *o = obj();
    return quolan_base_methods(o)->Save(o, stream.get(), mode);
}

template <class Self>
inline Status ObjectOps<Self>::load(StreamView stream, int32_t mode) noexcept
    requires detail::writable<Self>
{
    QuolanObject *o = detail::target<Self>(this);
    return quolan_base_methods(o)->Load(o, stream.get(), mode);
}

template <class Self>
inline bool ObjectOps<Self>::equals(ConstObjectView other) const noexcept
{
    QuolanObject *o = obj();
    return quolan_base_methods(o)->IsEqual(o, other.get()) != 0;
}

inline Value Value::of_object(ObjectView object) noexcept { return reference(Object, object.get()); }

inline ObjectView Value::as_object() const noexcept
{
    return ObjectView(tag == Object || tag == OwnedObject ? static_cast<QuolanObject *>(ref_) : nullptr);
}

namespace detail {
template <class V>
V cast_to(QuolanObject *object) noexcept
{
    return object && V(object).is_a(V::family::name) ? V(object) : V();
}
}  // namespace detail

// A view of the object if it answers to the family's class name, else
// empty: view_cast<DictView>(object), view_cast<ConstDictView>(const_object).
template <class V>
    requires(detail::is_view<V>::value && !std::is_const_v<typename V::family>)
[[nodiscard]] V view_cast(ObjectView object) noexcept
{
    return detail::cast_to<V>(object.get());
}
template <class V>
    requires(detail::is_view<V>::value && std::is_const_v<typename V::family>)
[[nodiscard]] V view_cast(ConstObjectView object) noexcept
{
    return detail::cast_to<V>(object.get());
}

// ---- walks ---------------------------------------------------------------------

// An input iterator that keeps its own position.  The object has one cursor,
// and reads, lookups and puts in a loop body move it (GetAt selects the
// position it reads, a keyed read calls GetAt), so before each step the
// iterator puts the cursor back where its walk stands, steps with the
// object's own Next and reads the cursor Next leaves.  A body may therefore
// read, look up, write existing positions and walk the same container again.
// The walk ends at the first failing step: -6 at the end, or any failure.
// A default-made iterator is the end, so begin() and end() share one type.
template <class Step>
class WalkIterator {
public:
    using value_type = typename Step::item;
    using difference_type = std::ptrdiff_t;
    using reference = const value_type &;
    using pointer = const value_type *;
    using iterator_category = std::input_iterator_tag;
    using iterator_concept = std::input_iterator_tag;

    WalkIterator() noexcept = default;
    explicit WalkIterator(QuolanObject *object) noexcept : object_(object) { advance(); }

    reference operator*() const noexcept { return item_; }
    pointer operator->() const noexcept { return &item_; }
    WalkIterator &operator++() noexcept
    {
        advance();
        return *this;
    }
    WalkIterator operator++(int) noexcept
    {
        WalkIterator before = *this;
        advance();
        return before;
    }
    // Equal at the end, or on one object at one step of its walk.
    friend bool operator==(const WalkIterator &a, const WalkIterator &b) noexcept
    {
        return a.object_ == b.object_ && (!a.object_ || a.next_ == b.next_);
    }

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

// What a walk visits, in order.
template <class R>
auto to_vector(const R &range)
{
    return std::vector<std::iter_value_t<decltype(range.begin())>>(range.begin(), range.end());
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
    // Puts at a position (or last, append); push_back appends.  What a
    // value may be, and who owns it afterwards: see Arg.
    Status put(int32_t index, Arg v) noexcept requires detail::writable<Self> { return put_arg(index, v); }
    Status push_back(Arg v) noexcept requires detail::writable<Self> { return put_arg(append, v); }
    Status clear_at(int32_t index) noexcept requires detail::writable<Self> { return m()->ClearAt(target(), index); }
    void set_sizes(int32_t initial, int32_t maximum) noexcept requires detail::writable<Self> { m()->SetSizes(target(), initial, maximum); }

    Result<Value> get(int32_t index) const noexcept { return detail::read(m()->GetAt, obj(), index); }
    // The larger of the used count and the initial size; -5 without memory.
    [[nodiscard]] int32_t size() const noexcept { return m()->GetSizes(obj(), nullptr, nullptr); }
    // Whether a walk visits nothing (a Dict: no keyed entry).
    [[nodiscard]] bool empty() const noexcept { return self().begin() == self().end(); }
    // What a walk visits: std::vector<Value>, for a Dict std::vector<Entry>.
    [[nodiscard]] auto to_vector() const { return detail::to_vector(self()); }

    // The cursor, for walks by hand; it moves on reads too, so these are const.
    Status set_index(int32_t index) const noexcept { return m()->SetIndex(obj(), index); }
    Result<int32_t> index() const noexcept
    {
        Result<int32_t> r;
        r.status = m()->GetIndex(obj(), &r.value);
        return r;
    }
    Result<Value> next() const noexcept { return detail::read(m()->Next, obj()); }
    Result<Value> previous() const noexcept { return detail::read(m()->Previous, obj()); }

    // Every position from 0 in order (see WalkIterator); the cursor is left
    // wherever the last step or the body put it.
    [[nodiscard]] WalkIterator<ElementStep> begin() const noexcept { return WalkIterator<ElementStep>(obj()); }
    [[nodiscard]] WalkIterator<ElementStep> end() const noexcept { return {}; }

private:
    Status put_arg(int32_t index, Arg &v) noexcept { return v.taken(m()->PutAt(target(), v.ref(), v.tag(), index)); }
    const Self &self() const noexcept { return static_cast<const Self &>(*this); }
    QuolanObject *obj() const noexcept { return detail::object<Self>(this); }
    QuolanObject *target() noexcept { return detail::target<Self>(this); }
    const ArrayMethods *m() const noexcept { return quolan_array_methods(obj()); }
};

// Copy for the classes that copy themselves; the copy is of the same family.
template <class Self>
class CopyOps {
public:
    [[nodiscard]] auto copy() const noexcept
    {
        QuolanObject *o = detail::object<Self>(this);
        return Handle<std::remove_const_t<typename Self::family>>(quolan_base_methods(o)->Copy(o, o));
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

    // Keys are text (the dictionary keeps its own copy) or, as a Value, any
    // other kind.
    Status put(Text key, Arg v) noexcept requires detail::writable<Self> { return v.taken(m()->PutStringKey(target(), v.ref(), v.tag(), key.c_str())); }
    Status put(Value key, Arg v) noexcept requires detail::writable<Self>
    {
        return v.taken(m()->PutKey(target(), v.ref(), v.tag(), key.ref(), key.put_tag()));
    }
    // Removes the key; its position stays, Null, for a later key.
    Status erase(Text key) noexcept requires detail::writable<Self> { return m()->ClearKey(target(), const_cast<char *>(key.c_str()), String); }
    Status erase(Value key) noexcept requires detail::writable<Self> { return m()->ClearKey(target(), key.ref(), key.tag); }

    // An absent key answers -6 with a Null value.
    Result<Value> get(Text key) const noexcept { return detail::read(m()->GetStringKey, obj(), key.c_str()); }
    Result<Value> get(Value key) const noexcept { return detail::read(m()->GetKey, obj(), key.ref(), key.tag); }
    [[nodiscard]] bool contains(Text key) const noexcept { return index_of(key).has_value(); }
    [[nodiscard]] bool contains(Value key) const noexcept { return index_of(key).has_value(); }
    [[nodiscard]] std::optional<int32_t> index_of(const Text &key) const noexcept
    {
        return detail::position(m()->StringSymbolIndex(obj(), key.c_str()));
    }
    [[nodiscard]] std::optional<int32_t> index_of(Value key) const noexcept
    {
        return detail::position(m()->SymbolIndex(obj(), key.ref(), key.tag));
    }

    // The key at a position: its text (NULL for other kinds), or the key
    // itself (status 1 when there is none to read).
    [[nodiscard]] const char *key_at(int32_t position) const noexcept { return m()->GetStringSymbol(obj(), position); }
    Result<Value> symbol_at(int32_t position) const noexcept { return detail::read(m()->GetSymbol, obj(), position); }

    // The keyed entries in position order.  The key store is made to exist
    // before the first step: were it made by the first key read instead,
    // the walk would switch from Array's Next (every position) to the keyed
    // one halfway.  An empty dictionary is left untouched.
    [[nodiscard]] WalkIterator<EntryStep> begin() const noexcept
    {
        QuolanObject *o = obj();
        if (m()->GetSizes(o, nullptr, nullptr) <= 0) return {};
        void *key = nullptr;
        int32_t kind = Null;
        (void)m()->GetSymbol(o, &key, &kind, append);  // makes the store; reads nothing at -2
        return WalkIterator<EntryStep>(o);
    }
    [[nodiscard]] WalkIterator<EntryStep> end() const noexcept { return {}; }

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
    QuolanObject *obj() const noexcept { return detail::object<Self>(this); }
    QuolanObject *target() noexcept { return detail::target<Self>(this); }
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
    Status set_access(int32_t mode) noexcept requires detail::writable<Self> { return m()->SetAccess(target(), mode); }
    [[nodiscard]] int32_t access() const noexcept { return m()->GetAccess(obj()); }
    // Freezes type lists and access mode; reachable only by slot.
    void set_lock(bool locked) noexcept requires detail::writable<Self> { m()->SetLock(target(), locked ? 1 : 0); }

private:
    QuolanObject *obj() const noexcept { return detail::object<Self>(this); }
    QuolanObject *target() noexcept { return detail::target<Self>(this); }
    const Table *m() const noexcept { return detail::table<Table>(obj()); }
};

template <class Self>
class ArrayTypedOps : public ArrayClassOps<Self>, public AccessOps<Self, ArrayTypedMethods> {
public:
    Status set_slot_type(int32_t index, Text types) noexcept requires detail::writable<Self> { return m()->SetSlotType(target(), types.c_str(), index); }
    // 0, -10 (admitted only as a Double) or -3; binds an untyped position,
    // so it counts as a change.
    Status check_slot_type(int32_t index, Arg v) noexcept requires detail::writable<Self> { return m()->CheckSlotType(target(), v.ref(), v.tag(), index); }

private:
    QuolanObject *target() noexcept { return detail::target<Self>(this); }
    const ArrayTypedMethods *m() const noexcept { return quolan_array_typed_methods(detail::object<Self>(this)); }
};

template <class Self>
class DictTypedOps : public DictClassOps<Self>, public AccessOps<Self, DictTypedMethods> {
public:
    Status set_key_type(Text key, Text types) noexcept requires detail::writable<Self>
    {
        return m()->SetStringKeyType(target(), types.c_str(), key.c_str());
    }
    Status set_key_type(Value key, Text types) noexcept requires detail::writable<Self>
    {
        return m()->SetKeyType(target(), types.c_str(), key.ref(), key.put_tag());
    }
    Status check_key_type(Text key, Arg v) noexcept requires detail::writable<Self>
    {
        return m()->CheckStringKeyType(target(), v.ref(), v.tag(), key.c_str());
    }
    Status check_key_type(Value key, Arg v) noexcept requires detail::writable<Self>
    {
        return m()->CheckKeyType(target(), v.ref(), v.tag(), key.ref(), key.tag);
    }

private:
    QuolanObject *target() noexcept { return detail::target<Self>(this); }
    const DictTypedMethods *m() const noexcept { return quolan_dict_typed_methods(detail::object<Self>(this)); }
};

// ---- deferred-load containers -------------------------------------------------------

// The loader (borrowed, never deleted), at the slots of Table
// (ArrayDeferMethods or DictDeferMethods).
template <class Self, class Table>
class LoaderOps {
public:
    void set_loader(ObjectView loader) noexcept requires detail::writable<Self> { m()->SetLoader(detail::target<Self>(this), loader.get()); }
    [[nodiscard]] ObjectView loader() const noexcept { return ObjectView(m()->GetLoader(detail::object<Self>(this))); }

private:
    const Table *m() const noexcept { return detail::table<Table>(detail::object<Self>(this)); }
};

// No copy(): these classes never copy themselves (Copy answers NULL).
template <class Self>
class ArrayDeferOps : public ArrayOps<Self>, public LoaderOps<Self, ArrayDeferMethods> {
public:
    // Records a loader key, read through the loader on the first get.
    Status put_deferred(int32_t index, Arg loader_key) noexcept requires detail::writable<Self> { return put_key(index, loader_key); }
    Status push_back_deferred(Arg loader_key) noexcept requires detail::writable<Self> { return put_key(append, loader_key); }
    // The recorded loader key, without loading.
    Result<Value> get_deferred(int32_t index) const noexcept
    {
        return detail::read(m()->GetDeferredAt, detail::object<Self>(this), index);
    }

private:
    Status put_key(int32_t index, Arg &key) noexcept
    {
        return m()->PutDeferredAt(detail::target<Self>(this), key.ref(), key.tag(), index);
    }
    const ArrayDeferMethods *m() const noexcept { return quolan_array_defer_methods(detail::object<Self>(this)); }
};

template <class Self>
class DictDeferOps : public DictOps<Self>, public LoaderOps<Self, DictDeferMethods> {
public:
    Status put_deferred(Text key, Arg loader_key) noexcept requires detail::writable<Self>
    {
        return m()->PutDeferredStringKey(target(), loader_key.ref(), loader_key.tag(), key.c_str());
    }
    Status put_deferred(Value key, Arg loader_key) noexcept requires detail::writable<Self>
    {
        return m()->PutDeferredKey(target(), loader_key.ref(), loader_key.tag(), key.ref(), key.put_tag());
    }
    Result<Value> get_deferred(Text key) const noexcept
    {
        return detail::read(m()->GetDeferredStringKey, detail::object<Self>(this), key.c_str());
    }
    Result<Value> get_deferred(Value key) const noexcept
    {
        return detail::read(m()->GetDeferredKey, detail::object<Self>(this), key.ref(), key.tag);
    }

private:
    QuolanObject *target() noexcept { return detail::target<Self>(this); }
    const DictDeferMethods *m() const noexcept { return quolan_dict_defer_methods(detail::object<Self>(this)); }
};

// ---- GenSet ----------------------------------------------------------------------

template <class Self>
class GenSetOps : public ObjectOps<Self> {
public:
    // Inserting a member already present answers 0 and changes nothing.
    Status insert(Arg member) noexcept requires detail::writable<Self> { return member.taken(m()->Add(target(), member.ref(), member.tag())); }
    // Removing an absent member answers -6; its position stays free.
    Status erase(Arg member) noexcept requires detail::writable<Self> { return m()->ClearElement(target(), member.ref(), member.tag()); }
    [[nodiscard]] bool contains(Arg member) const noexcept { return m()->Contains(obj(), member.ref(), member.tag()) != 0; }
    [[nodiscard]] std::optional<int32_t> index_of(Arg member) const noexcept
    {
        return detail::position(m()->GetIndex(obj(), member.ref(), member.tag()));
    }
    [[nodiscard]] const char *string_at(int32_t position) const noexcept { return m()->GetStringValue(obj(), position); }
    Result<Value> value_at(int32_t position) const noexcept { return detail::read(m()->GetValue, obj(), position); }

    // Every member, in position order.
    [[nodiscard]] WalkIterator<MemberStep> begin() const noexcept { return WalkIterator<MemberStep>(obj()); }
    [[nodiscard]] WalkIterator<MemberStep> end() const noexcept { return {}; }
    [[nodiscard]] bool empty() const noexcept { return begin() == end(); }
    [[nodiscard]] std::vector<Value> to_vector() const { return detail::to_vector(*this); }
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
    QuolanObject *obj() const noexcept { return detail::object<Self>(this); }
    QuolanObject *target() noexcept { return detail::target<Self>(this); }
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

#define QUOLAN_NAME_FAMILY(Class)                   \
    using Class = Handle<Class##Family>;            \
    using Class##View = View<Class##Family>;        \
    using Const##Class##View = View<const Class##Family>;
QUOLAN_NAME_FAMILY(Array)
QUOLAN_NAME_FAMILY(ArrayTyped)
QUOLAN_NAME_FAMILY(ArrayDefer)
QUOLAN_NAME_FAMILY(Dict)
QUOLAN_NAME_FAMILY(DictTyped)
QUOLAN_NAME_FAMILY(DictDefer)
QUOLAN_NAME_FAMILY(GenSet)
#undef QUOLAN_NAME_FAMILY

// ---- comparing content ---------------------------------------------------------------

namespace detail {

// Deeper than the library loads: past it, two containers are taken to
// differ (objects that hold each other would otherwise never end).
inline constexpr int kContentDepth = 1000;

bool same_content(QuolanObject *a, QuolanObject *b, int depth) noexcept;

// The borrowed and owned kinds of a family count as one.
constexpr int32_t kind_of(int32_t tag) noexcept
{
    return tag == OwnedString ? String : tag == OwnedObject ? Object : tag == OwnedPointer ? Pointer : tag;
}

inline bool same_value(const Value &x, const Value &y, int depth) noexcept
{
    if (kind_of(x.tag) != kind_of(y.tag)) return false;
    switch (kind_of(x.tag)) {
    case Integer: return x.as_int() == y.as_int();
    case Boolean: return x.as_bool() == y.as_bool();
    case Double: return *x.as_double() == *y.as_double() || (std::isnan(*x.as_double()) && std::isnan(*y.as_double()));
    case String: return x.as_string_view() == y.as_string_view();
    case Pointer: return x.as_pointer() == y.as_pointer();
    case Object: return same_content(x.as_object().get(), y.as_object().get(), depth + 1);
    default: return true;  // Null
    }
}

inline bool same_entries(ConstDictView a, ConstDictView b, int depth) noexcept
{
    if (a.count() != b.count()) return false;
    for (const Entry &e : a) {
        Result<Value> there = b.get(e.key);
        if (!there.ok() || !same_value(e.value, there.value, depth)) return false;
    }
    return true;
}

template <class V>
bool same_walk(V a, V b, int depth) noexcept
{
    auto x = a.begin(), y = b.begin();
    for (; x != a.end() && y != b.end(); ++x, ++y)
        if (!same_value(*x, *y, depth)) return false;
    return x == a.end() && y == b.end();
}

inline bool same_members(ConstGenSetView a, ConstGenSetView b) noexcept
{
    if (a.count() != b.count()) return false;
    for (Value member : a)
        if (!b.contains(member)) return false;
    return true;
}

inline bool same_content(QuolanObject *a, QuolanObject *b, int depth) noexcept
{
    if (a == b) return true;
    if (!a || !b || depth > kContentDepth) return false;
    ConstObjectView x(a), y(b);
    if (auto d = view_cast<ConstDictView>(x)) return view_cast<ConstDictView>(y) && same_entries(d, ConstDictView(b), depth);
    if (view_cast<ConstDictView>(y)) return false;
    if (auto s = view_cast<ConstGenSetView>(x)) return view_cast<ConstGenSetView>(y) && same_members(s, ConstGenSetView(b));
    if (auto r = view_cast<ConstArrayView>(x)) return view_cast<ConstArrayView>(y) && same_walk(r, ConstArrayView(b), depth);
    // Objects of other classes answer for themselves.
    return quolan_base_methods(a)->IsEqual(a, b) != 0;
}

}  // namespace detail

template <class Self>
inline bool ObjectOps<Self>::same_content(ConstObjectView other) const noexcept
{
    return detail::same_content(obj(), other.get(), 0);
}

// ---- container files ------------------------------------------------------------------

// Writes the container to the file at `path` as a container file; a failed
// save leaves the file as it was (quolan_file_save in quolan/containers.h
// lists the statuses).
[[nodiscard]] inline Status save_file(ConstObjectView container, Text path) noexcept
{
    return quolan_file_save(container.get(), path.c_str());
}

// The container the file at `path` holds, owned by the handle: by default
// any class (load_file(path)), or one of a family, refused with -3 when the
// file holds another class (load_file<Dict>(path)).
template <class H = ObjectHandle>
[[nodiscard]] Result<H> load_file(Text path) noexcept
{
    QuolanObject *loaded = nullptr;
    Result<H> r;
    r.status = quolan_file_load(path.c_str(), &loaded);
    H handle(loaded);
    if constexpr (requires { H::family::name; }) {
        if (handle && !handle.is_a(H::family::name)) r.status = StatusBadType;
    }
    if (r.ok()) r.value = std::move(handle);
    return r;
}

// The layer costs nothing in size: a handle is the pointer a C client holds.
#define QUOLAN_ONE_POINTER(F)                                                      \
    static_assert(sizeof(Handle<F>) == sizeof(QuolanObject *), #F " handle size"); \
    static_assert(sizeof(View<F>) == sizeof(QuolanObject *), #F " view size");     \
    static_assert(sizeof(View<const F>) == sizeof(QuolanObject *), #F " view size"); \
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
