// Interprets the input as a program of method calls on one container: the
// first byte picks the class (and, by its high bit, the client subclass that
// forwards its element slots), the rest drives the model test's choices
// (tests/model), and any disagreement with the reference model traps.
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
