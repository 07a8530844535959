// A stream of the host stream interface that writes through an Output
// (cli_io.h) a buffer at a time, so a container saves straight into a file
// or a pipe without its whole record in memory first.
#pragma once

#include "cli_io.h"
#include "quolan/object.h"

namespace qctool {

// A new stream (delete it through its Delete slot) writing to `out`, which
// must outlive it, or NULL.  It refuses reads.  A write answers a failure
// once `out` has failed.
QuolanObject *output_stream_new(Output &out);

// Hands what the stream still buffers to its Output; false when that fails.
bool output_stream_flush(QuolanObject *stream);

}  // namespace qctool
