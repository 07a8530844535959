// How deep Save, Load, Copy, IsEqual and the printers may recurse into
// nested containers.
//
// Containers nest through their elements, and a stream can describe nesting
// of any depth; a container can even hold itself.  Every recursive entry
// point takes a NestingGuard; past kMaxNesting levels the guard refuses and
// the operation fails with its documented status instead of exhausting the
// stack.  The depth is per thread, since objects may live on several threads
// (each used by one thread at a time).
//
// May touch: one per-thread depth counter.
#pragma once

namespace qc {

constexpr int kMaxNesting = 1000;

class NestingGuard {
public:
    NestingGuard() : ok_(depth_ < kMaxNesting) { ++depth_; }
    ~NestingGuard() { --depth_; }
    NestingGuard(const NestingGuard &) = delete;
    NestingGuard &operator=(const NestingGuard &) = delete;
    bool ok() const { return ok_; }

private:
    static thread_local int depth_;
    bool ok_;
};

}  // namespace qc
