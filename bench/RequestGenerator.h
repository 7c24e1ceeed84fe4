// Bulk install requests for the benchmarks: the same text on every run, in
// the compact form that XMLEncoder::serialize writes, so that loading and
// serializing a generated request gives back the very same bytes.
#pragma once

#include <cstddef>
#include <string>

namespace zubench {

// Returns a ClientSetup request with `clients` entries of about 800 bytes
// each (entity with id, name, host and GUID, OS, release, V8 password, three
// packages, a storage policy, a patch block); entry i is the same whatever
// the count, so a smaller request is a prefix of a larger one up to the tail.
std::string GenerateRequest(std::size_t clients);

// Returns the request with the fewest entries whose text holds at least `bytes` bytes.
std::string GenerateRequestOfSize(std::size_t bytes);

}  // namespace zubench
