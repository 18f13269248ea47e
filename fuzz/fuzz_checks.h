// What every fuzz target uses to state a property: a broken one ends the
// run with its name, which libFuzzer then reports as a finding.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

[[noreturn]] inline void Fail(const char *what) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

inline void Expect(bool holds, const char *what) {
    if (!holds) Fail(what);
}

// Little-endian fields, read by hand, apart from the readers under test.
inline uint32_t U16(const uint8_t *p) { return p[0] | p[1] << 8; }
inline uint32_t U32(const uint8_t *p) { return U16(p) | U16(p + 2) << 16; }

}  // namespace fuzzcheck
