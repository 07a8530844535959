// Interprets the input as a program of method calls on one container.
//
// The first byte picks the class (and whether a client subclass that
// forwards its element slots stands in for it), the rest drives the choices
// of the model-based test: every call is made on the library and on the
// reference model, and any disagreement in a status, a value read back, a
// position, a walk, the sizes, the storage, the private stores, the typed
// fields, the deletions of owned objects, what Save/Load and Copy produce,
// or a broken invariant traps.
#include <cstdio>

#include "../tests/model/runs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1) return 0;
    const qm::Family &family = qm::kFamilies[data[0] % std::size(qm::kFamilies)];
    QuolanObject *cls = data[0] & 0x80 ? qm::forwarding_subclass(family) : family.init();
    qm::ByteSource source(data + 1, size - 1);
    const std::string failure = qm::run_sequence(family, cls, source, 1500);
    if (failure.empty()) return 0;
    std::fprintf(stderr, "%s: model disagreement: %s\n", family.name, failure.c_str());
    __builtin_trap();
}
