// libjpeg-turbo reports an error by calling error_exit, which must not
// return: these send it back to the caller's setjmp, silently. Each caller
// keeps its own setjmp, in the function that makes the library calls.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace jpeg {

struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

// Sets `jump` up as the error manager of a compressor or decompressor.
inline jpeg_error_mgr *JumpOnError(ErrorJump &jump) {
    jpeg_std_error(&jump.manager);
    jump.manager.error_exit = [](j_common_ptr info) {
        std::longjmp(reinterpret_cast<ErrorJump *>(info->err)->back, 1);
    };
    jump.manager.output_message = [](j_common_ptr) {};
    return &jump.manager;
}

}  // namespace jpeg
