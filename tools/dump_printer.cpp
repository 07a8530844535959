// Walks containers with the C++ layer's iterators, which keep their own
// positions, so printing a nested entry never disturbs the walk around it.
// Scalars print through debug_print_element, so every value reads as the
// library's printers write it, except a Double: their %f shows 1e-10 as
// 0.000000 and 1e300 as 301 digits, and the tool prints the shortest text
// that reads back as the same double.
#include "dump_printer.h"

#include <algorithm>
#include <cstring>

#include "quolan/containers.hpp"
#include "text.h"

namespace qctool {

namespace {

constexpr uint32_t kMaxIndent = 57;  // where the library's printers stop indenting

struct Printer {
    FILE *out;
    int32_t result = StatusOk;

    void note(int32_t status)
    {
        if (status != StatusOk && result == StatusOk) result = status;
    }
    void pad(uint32_t depth) { std::fprintf(out, "%*s", static_cast<int>(std::min(depth, kMaxIndent)), ""); }

    // The typed header line: access mode, then whether the lock is set.
    // The lock has no reader; setting the access mode it already has is
    // refused exactly when the container is locked, and changes nothing.
    template <class V>
    void header(V typed, const char *read_only, uint32_t depth)
    {
        const int32_t mode = typed.access();
        const bool locked = typed.set_access(mode) == StatusLocked;
        pad(depth);
        std::fprintf(out, " %s %s\n",
                     mode == ReadWrite ? "Read/Write" : mode == ReadOnly ? read_only : "Unknown",
                     locked ? "Locked" : "NotLocked");
    }

    void scalar(void *ref, int32_t tag)
    {
        if (tag != Double || !ref) {
            note(debug_print_element(ref, tag, out));
            return;
        }
        double d;
        std::memcpy(&d, ref, sizeof d);
        char text[kDoubleTextSize];
        const std::string_view shown = double_text(d, text);
        std::fprintf(out, "-Double- <%.*s>", static_cast<int>(shown.size()), shown.data());
    }

    void value(quolan::Value v, uint32_t depth)
    {
        quolan::ObjectView o = v.as_object();
        if (!o) {
            if (v.tag == Object || v.tag == OwnedObject) {
                std::fprintf(out, "**NULL**\n");
                return;
            }
            scalar(v.ref(), v.tag);
            std::fputc('\n', out);
            return;
        }
        std::fprintf(out, "%.127s\n", o.class_name().c_str());
        container(o, depth + 2);
    }

    void container(quolan::ObjectView o, uint32_t depth)
    {
        if (auto d = quolan::view_cast<quolan::DictView>(o)) {
            if (auto t = quolan::view_cast<quolan::DictTypedView>(o)) header(t, "ReadOnly", depth);
            for (auto [key, v] : d) {
                pad(depth);
                std::fprintf(out, " [");
                scalar(key.ref(), key.tag);
                std::fprintf(out, "] = ");
                value(v, depth);
            }
        } else if (auto a = quolan::view_cast<quolan::ArrayView>(o)) {
            if (auto t = quolan::view_cast<quolan::ArrayTypedView>(o)) header(t, "Read Only", depth);
            int32_t position = 0;
            for (quolan::Value v : a) {
                pad(depth);
                std::fprintf(out, " [%d] = ", position++);
                value(v, depth);
            }
        } else if (auto s = quolan::view_cast<quolan::GenSetView>(o)) {
            quolan::Result<quolan::Value> member;
            for (int32_t p = 0; (member = s.value_at(p)).status == StatusOk; ++p) {
                if (member->is_null()) continue;
                pad(depth);
                std::fprintf(out, " [%d] = ", p);
                value(*member, depth);
            }
        }
    }
};

}  // namespace

int32_t print_container(QuolanObject *object, FILE *out)
{
    Printer p{out};
    p.container(quolan::ObjectView(object), 0);
    return p.result;
}

}  // namespace qctool
