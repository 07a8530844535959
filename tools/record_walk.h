// Walks the records of a container file by their layout, without loading
// anything, to say where in the file something is and to find what the
// library loads but never writes.
//
// A record path names each container on the way down and the position in
// it, e.g. `Dict entry "b", Array position 3`: the value of key "b" of the
// top-level dictionary is an Array, and its position 3 is meant.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace qctool {

// The record path of the innermost entry a load that stopped at byte
// `offset` was reading (the entry whose bytes hold byte offset - 1, or the
// one cut short by the end of the file); "" inside the frame and identity.
std::string record_path_at(const std::vector<unsigned char> &file, size_t offset);

// A key that a dictionary record holds twice, or a member a set record holds
// twice.  Keys and members compare as the library finds them: texts byte
// for byte, Integers and Doubles by value (Integer 7 and Double 7.0 are
// different, a NaN equals nothing); Booleans and objects are never found
// again, so they never repeat.  The library never writes either.
struct RecordRepeat {
    size_t offset;     // where the repeated entry starts
    std::string path;  // its record path
    std::string message;
};

// The first repeat in file order.  REQUIRES: a file the library loads.
std::optional<RecordRepeat> find_repeat(const std::vector<unsigned char> &file);

}  // namespace qctool
