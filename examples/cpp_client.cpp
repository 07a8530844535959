// A C++ client of the header-only layer: builds a small document (a Dict of
// text, numbers and an Array of readings), saves it to a memory stream, loads
// it into a fresh Dict, walks it with range-for and prints it with the
// library's own debug printer.  Handles delete what they own on the way out,
// whichever return is taken.
#include <cstdio>
#include <utility>

#include <quolan/containers.hpp>

namespace {

bool build(const quolan::Dict &doc)
{
    auto readings = quolan::Array::make();
    if (!readings) return false;
    for (double r : {20.0, 20.5, 21.25, 21.5})
        if (!readings.put_double(r).ok()) return false;
    return doc.put_string_copy("title", "bench run 7").ok() && doc.put_int("samples", 4).ok() &&
           doc.put_bool("calibrated", true).ok() &&
           // The document takes the array over; the handle is empty afterwards.
           doc.put_object_copy("readings", std::move(readings)).ok();
}

void print_entry(const quolan::Value &key, const quolan::Value &value)
{
    std::printf("  %-11s", key.as_string() ? key.as_string() : "(no key)");
    if (auto n = value.as_int()) {
        std::printf("%d\n", *n);
    } else if (auto b = value.as_bool()) {
        std::printf("%s\n", *b ? "yes" : "no");
    } else if (const char *text = value.as_string()) {
        std::printf("\"%s\"\n", text);
    } else if (auto list = quolan::view_cast<quolan::ArrayView>(value.as_object())) {
        double sum = 0;
        int count = 0;
        for (quolan::Value r : list) {
            if (auto d = r.as_double()) {
                sum += *d;
                ++count;
            }
        }
        std::printf("%d readings, mean %.3f\n", count, count ? sum / count : 0.0);
    } else {
        std::printf("(tag %d)\n", value.tag);
    }
}

}  // namespace

int main()
{
    auto doc = quolan::Dict::make();
    if (!doc || !build(doc)) {
        std::fprintf(stderr, "the document could not be built\n");
        return 1;
    }

    auto out = quolan::Stream::make();
    if (!out) return 1;
    if (quolan::Status s = doc.save(out); !s.ok()) {
        std::fprintf(stderr, "save failed with status %d\n", s.code);
        return 1;
    }
    std::printf("saved %zu bytes\n", out.bytes().size());

    auto in = quolan::Stream::make(out.bytes());
    auto loaded = quolan::Dict::make();
    if (!in || !loaded) return 1;
    if (quolan::Status s = loaded.load(in); !s.ok()) {
        std::fprintf(stderr, "load failed with status %d\n", s.code);
        return 1;
    }

    std::printf("loaded:\n");
    int entries = 0;
    for (auto [key, value] : loaded) {
        print_entry(key, value);
        ++entries;
    }

    std::printf("as the debug printer sees it:\n");
    int32_t printed = debug_print_dict(loaded.get(), 0, stdout);
    std::fflush(stdout);
    return entries == 4 && printed == StatusOk ? 0 : 1;
}
