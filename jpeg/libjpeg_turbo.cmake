# libjpeg-turbo from Debian's source package (scripts/libjpeg-turbo-source.sh
# fetches it; ./run build passes its folder), built with this build's own
# toolchain as a static library with its SIMD code, and linked into
# vorlane-cli: nothing goes beside the program. Its callers share the error
# handling beside it (jpeg_error_jump.h).
include(ExternalProject)
set(VORLANE_LIBJPEG_TURBO_SOURCE "" CACHE PATH "Debian's libjpeg-turbo source package, unpacked")
if(NOT EXISTS "${VORLANE_LIBJPEG_TURBO_SOURCE}/jpeglib.h")
  message(FATAL_ERROR "No libjpeg-turbo source at '${VORLANE_LIBJPEG_TURBO_SOURCE}': ./run build fetches Debian's "
                      "source package (scripts/libjpeg-turbo-source.sh) and passes -DVORLANE_LIBJPEG_TURBO_SOURCE")
endif()
set(libjpeg_turbo_binary ${CMAKE_BINARY_DIR}/libjpeg-turbo)
# Its include folder must exist before the first build makes jconfig.h there.
file(MAKE_DIRECTORY ${libjpeg_turbo_binary})
ExternalProject_Add(libjpeg_turbo_build
  SOURCE_DIR ${VORLANE_LIBJPEG_TURBO_SOURCE}
  BINARY_DIR ${libjpeg_turbo_binary}
  # Never installed; its Windows default (c:/...) would stop its configuring.
  CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release -Wno-dev
             -DCMAKE_INSTALL_PREFIX=${libjpeg_turbo_binary}/unused
             -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF
             -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
             # Neither arithmetic coding (no AVI player reads it) nor the
             # C coder's 64 KB bit-count tables (the SSE2 coder has its own;
             # its documented switch counts bits with BSR): 200 KB less.
             -DWITH_ARITH_ENC=OFF -DWITH_ARITH_DEC=OFF -DCMAKE_C_FLAGS=-DUSE_CLZ_INTRINSIC
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${libjpeg_turbo_binary} --target jpeg-static
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${libjpeg_turbo_binary}/libjpeg.a)
add_library(libjpeg_turbo STATIC IMPORTED GLOBAL)
set_target_properties(libjpeg_turbo PROPERTIES
  IMPORTED_LOCATION ${libjpeg_turbo_binary}/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES "${VORLANE_LIBJPEG_TURBO_SOURCE};${libjpeg_turbo_binary};${CMAKE_CURRENT_LIST_DIR}")
add_dependencies(libjpeg_turbo libjpeg_turbo_build)
