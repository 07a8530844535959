// Hello, containers, in C++: builds a small nested document, saves it to a
// container file, loads it back and walks what came back.  Handles delete
// what they own on every way out; statuses are values, nothing throws.
//
//     hello_cpp [FILE]        (FILE defaults to hello.qcf)
#include <cstdio>
#include <utility>

#include <quolan/containers.hpp>

int main(int argc, char **argv)
{
    const char *path = argc > 1 ? argv[1] : "hello.qcf";

    // {"greeting": "hello", "year": 2024, "primes": [2, 3, 5, 7]}
    auto doc = quolan::Dict::make();
    auto primes = quolan::Array::make();
    if (!doc || !primes) return 1;
    quolan::Status s = doc.put("greeting", "hello");  // the text is copied
    if (s.ok()) s = doc.put("year", 2024);
    for (int32_t p : {2, 3, 5, 7})
        if (s.ok()) s = primes.push_back(p);
    if (s.ok()) s = doc.put("primes", std::move(primes));  // the document takes the array over
    if (s.ok()) s = quolan::save_file(doc, path);
    if (!s.ok()) {
        std::fprintf(stderr, "hello: cannot save %s: %s\n", path, s.name());
        return 1;
    }

    auto loaded = quolan::load_file<quolan::Dict>(path);
    if (!loaded) {
        std::fprintf(stderr, "hello: cannot load %s: %s\n", path, loaded.status.name());
        return 1;
    }
    for (const auto &[key, value] : *loaded) {
        std::printf("%s: ", key.as_string());
        if (auto text = value.as_string()) std::printf("%s\n", text);
        else if (auto number = value.as_int()) std::printf("%d\n", *number);
        else if (auto list = quolan::view_cast<quolan::ArrayView>(value.as_object())) {
            for (quolan::Value v : list) std::printf("%d ", v.as_int().value_or(0));
            std::printf("\n");
        }
    }
    std::printf("the same content as saved: %s\n", loaded->same_content(doc) ? "yes" : "no");
    return loaded->same_content(doc) ? 0 : 1;
}
