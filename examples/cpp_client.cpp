// A short C++ client: owning handles around the C interface, a walk, and a
// copy that owns its own strings.
#include <cstdio>
#include <memory>

#include <quolan/containers.h>

namespace {

struct Delete {
    void operator()(QuolanObject *o) const { quolan_base_methods(o)->Delete(o); }
};
using Handle = std::unique_ptr<QuolanObject, Delete>;

Handle make(QuolanObject *cls) { return Handle(quolan_base_methods(cls)->New(cls)); }

}  // namespace

int main()
{
    QuolanObject *cls = array_baseclass_init();
    if (!cls) return 1;
    Handle words = make(cls);
    const ArrayMethods *m = quolan_array_methods(words.get());
    for (const char *w : {"alpha", "beta", "gamma"}) m->PutStringCopyAt(words.get(), w, -2);

    Handle copy(quolan_base_methods(cls)->Copy(cls, words.get()));
    words.reset();  // the copy owns its own strings

    void *value;
    int32_t tag;
    m->SetIndex(copy.get(), 0);
    int n = 0;
    while (m->Next(copy.get(), &value, &tag) == StatusOk) {
        std::printf("%d: %s\n", n++, static_cast<const char *>(value));
    }
    return n == 3 ? 0 : 1;
}
