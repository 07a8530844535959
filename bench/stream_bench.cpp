// Save then Load through memory (W7): N int32, and N short strings.
//
// One iteration writes the whole container to a fresh memory stream and
// reads it back into a fresh container, then frees both.  Throughput is
// counted in payload bytes (4 per integer, the characters of each string),
// the same for every contender whatever its encoding, so rates compare
// directly.  msgpack-c packs into its growable sbuffer and unpacks into its
// object tree (its strings point into the buffer rather than being copied);
// memcpy of the bare payload, out and back, is the bandwidth limit.
#include <msgpack.h>

#include <cstdlib>
#include <numeric>

#include "bench_support.h"

namespace qb {
namespace {

int64_t payload_bytes(const std::vector<std::string> &texts)
{
    int64_t total = 0;
    for (const std::string &t : texts) total += static_cast<int64_t>(t.size());
    return total;
}

Obj string_array(const std::vector<std::string> &texts)
{
    Obj array(new_of(array_baseclass));
    if (!array) return nullptr;
    const ArrayMethods *m = quolan_array_methods(array.get());
    for (const std::string &t : texts)
        if (m->PutStringCopyAt(array.get(), t.c_str(), -2) != StatusOk) return nullptr;
    return array;
}

// One round trip; answers the loaded copy, or NULL when either half failed.
Obj round_trip(QuolanObject *source)
{
    QuolanObject *stream = quolan_memory_stream_new();
    if (!stream) return nullptr;
    Obj copy(new_of(array_baseclass));
    const QuolanBaseMethods *m = quolan_base_methods(source);
    bool ok = copy && m->Save(source, stream, 0) == StatusOk &&
              m->Load(copy.get(), stream, 0) == StatusOk;
    delete_object(stream);
    return ok ? std::move(copy) : nullptr;
}

void run_quolan(benchmark::State &state, QuolanObject *source, int64_t payload)
{
    Obj proof = round_trip(source);
    if (!proof || !quolan_base_methods(source)->IsEqual(source, proof.get()))
        return state.SkipWithError("the round trip lost data");
    proof.reset();
    bool ok = true;
    for (auto _ : state) ok &= round_trip(source) != nullptr;
    if (!ok) state.SkipWithError("Save or Load failed");
    state.SetBytesProcessed(state.iterations() * payload);
}

void W7_int_quolan(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    Obj source = int_array(n);
    if (!source) return state.SkipWithError("fixture");
    run_quolan(state, source.get(), int64_t{n} * 4);
}

void W7_string_quolan(benchmark::State &state)
{
    const std::vector<std::string> texts = short_texts(size_arg(state));
    Obj source = string_array(texts);
    if (!source) return state.SkipWithError("fixture");
    run_quolan(state, source.get(), payload_bytes(texts));
}

// Packs with `pack(packer)`, unpacks the whole buffer, and answers whether
// the result is an array of n entries.
template <class Pack>
bool msgpack_round_trip(size_t n, Pack pack)
{
    msgpack_sbuffer buffer;
    msgpack_sbuffer_init(&buffer);
    msgpack_packer packer;
    msgpack_packer_init(&packer, &buffer, msgpack_sbuffer_write);
    pack(&packer);
    msgpack_unpacked result;
    msgpack_unpacked_init(&result);
    size_t offset = 0;
    bool ok = msgpack_unpack_next(&result, buffer.data, buffer.size, &offset) ==
                  MSGPACK_UNPACK_SUCCESS &&
              result.data.type == MSGPACK_OBJECT_ARRAY && result.data.via.array.size == n;
    msgpack_unpacked_destroy(&result);
    msgpack_sbuffer_destroy(&buffer);
    return ok;
}

void W7_int_msgpack(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    std::vector<int32_t> values(static_cast<size_t>(n));
    std::iota(values.begin(), values.end(), 0);
    bool ok = true;
    for (auto _ : state) {
        ok &= msgpack_round_trip(values.size(), [&](msgpack_packer *p) {
            msgpack_pack_array(p, values.size());
            for (int32_t v : values) msgpack_pack_int32(p, v);
        });
    }
    if (!ok) state.SkipWithError("unpack failed");
    state.SetBytesProcessed(state.iterations() * int64_t{n} * 4);
}

void W7_string_msgpack(benchmark::State &state)
{
    const std::vector<std::string> texts = short_texts(size_arg(state));
    bool ok = true;
    for (auto _ : state) {
        ok &= msgpack_round_trip(texts.size(), [&](msgpack_packer *p) {
            msgpack_pack_array(p, texts.size());
            for (const std::string &t : texts) {
                msgpack_pack_str(p, t.size());
                msgpack_pack_str_body(p, t.data(), t.size());
            }
        });
    }
    if (!ok) state.SkipWithError("unpack failed");
    state.SetBytesProcessed(state.iterations() * payload_bytes(texts));
}

// The bare payload copied into one buffer and back out of it into another.
void memcpy_round_trip(benchmark::State &state, const std::vector<const char *> &pieces,
                       const std::vector<size_t> &sizes, int64_t payload)
{
    size_t total = std::accumulate(sizes.begin(), sizes.end(), size_t{0});
    for (auto _ : state) {
        auto *stream = static_cast<char *>(std::malloc(total));
        size_t at = 0;
        for (size_t i = 0; i < pieces.size(); ++i) {
            std::memcpy(stream + at, pieces[i], sizes[i]);
            at += sizes[i];
        }
        auto *loaded = static_cast<char *>(std::malloc(total));
        std::memcpy(loaded, stream, total);
        keep(loaded);
        benchmark::ClobberMemory();
        std::free(loaded);
        std::free(stream);
    }
    state.SetBytesProcessed(state.iterations() * payload);
}

void W7_int_memcpy(benchmark::State &state)
{
    const int32_t n = size_arg(state);
    std::vector<int32_t> values(static_cast<size_t>(n));
    std::iota(values.begin(), values.end(), 0);
    memcpy_round_trip(state, {reinterpret_cast<const char *>(values.data())},
                      {values.size() * sizeof(int32_t)}, int64_t{n} * 4);
}

void W7_string_memcpy(benchmark::State &state)
{
    const std::vector<std::string> texts = short_texts(size_arg(state));
    std::vector<const char *> pieces;
    std::vector<size_t> sizes;
    for (const std::string &t : texts) {
        pieces.push_back(t.c_str());
        sizes.push_back(t.size() + 1);  // with the NUL, as a record would hold it
    }
    memcpy_round_trip(state, pieces, sizes, payload_bytes(texts));
}

}  // namespace

void register_stream_benchmarks()
{
    add_family("W7_SaveLoadInt",
               {{"quolan", W7_int_quolan},
                {"msgpack", W7_int_msgpack},
                {"memcpy", W7_int_memcpy}},
               {1000000});
    add_family("W7_SaveLoadString",
               {{"quolan", W7_string_quolan},
                {"msgpack", W7_string_msgpack},
                {"memcpy", W7_string_memcpy}},
               {100000});
}

}  // namespace qb
