// Decoding a Motion JPEG frame with libjpeg-turbo, linked in statically as
// vorlane-cli's encoder is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vcard {

// Decodes one JPEG picture into top-down B, G, R pixels. False when the
// bytes are no JPEG the library reads, or the picture is wider or higher
// than `largestSide`.
bool DecodeJpeg(const uint8_t *bytes, size_t size, int largestSide, std::vector<uint8_t> &bgr,
                int &width, int &height);

}  // namespace vcard
