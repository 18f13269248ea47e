#include "jpeg_decoding.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "jpeg_error_jump.h"

namespace vcard {

namespace {

// A decompressor destroyed on every way out, the jump included.
struct Decompressor {
    jpeg_decompress_struct info{};
    jpeg::ErrorJump error{};
    ~Decompressor() { jpeg_destroy_decompress(&info); }
};

}  // namespace

bool DecodeJpeg(const uint8_t *bytes, size_t size, int largestSide, std::vector<uint8_t> &bgr,
                int &width, int &height) {
    if (bytes == nullptr || size == 0) return false;
    Decompressor d;
    d.info.err = jpeg::JumpOnError(d.error);
    // Nothing with a destructor is made between here and the last library call.
    if (setjmp(d.error.back)) return false;
    jpeg_create_decompress(&d.info);
    jpeg_mem_src(&d.info, bytes, static_cast<unsigned long>(size));
    if (jpeg_read_header(&d.info, TRUE) != JPEG_HEADER_OK) return false;
    if (d.info.image_width == 0 || d.info.image_height == 0 ||
        d.info.image_width > static_cast<JDIMENSION>(largestSide) ||
        d.info.image_height > static_cast<JDIMENSION>(largestSide))
        return false;
    d.info.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&d.info);
    width = static_cast<int>(d.info.output_width);
    height = static_cast<int>(d.info.output_height);
    const size_t stride = static_cast<size_t>(width) * 3;
    bgr.resize(stride * static_cast<size_t>(height));
    while (d.info.output_scanline < d.info.output_height) {
        JSAMPROW row = bgr.data() + stride * d.info.output_scanline;
        jpeg_read_scanlines(&d.info, &row, 1);
    }
    jpeg_finish_decompress(&d.info);
    return true;
}

}  // namespace vcard
