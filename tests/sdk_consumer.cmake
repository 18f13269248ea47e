# The SDK test: a consumer project built against `cmake --install`'s result
# with find_package(Vorlane) and this build's toolchain, then run under Wine.
if(VORLANE_ARCH STREQUAL "win32")
  set(other_toolchain ${PROJECT_SOURCE_DIR}/cmake/toolchain-x86_64.cmake)
else()
  set(other_toolchain ${PROJECT_SOURCE_DIR}/cmake/toolchain-i686.cmake)
endif()
add_test(NAME sdk_consumer_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/sdk_consumer_test.sh
          ${PROJECT_BINARY_DIR} ${CMAKE_TOOLCHAIN_FILE} ${other_toolchain} ${CMAKE_GENERATOR})
set_tests_properties(sdk_consumer_test PROPERTIES TIMEOUT 600
  ENVIRONMENT "CMAKE_COMMAND=${CMAKE_COMMAND};LC_ALL=zh_CN.UTF-8;WINEDEBUG=-all")

# Stand-in drivers for vorlane-cli's stations: stubs named after the driver's
# calls, never called. One lacks the last call; one is of the other bitness.
set(stub_functions "")
foreach(call IN LISTS VORLANE_DRIVER_CALLS)
  set(lacked_call ${call})
  string(APPEND stub_functions
    "#ifndef LACKS_${call}\n__declspec(dllexport) int ${call}(void) { return 0; }\n#endif\n")
endforeach()
set(stand_in_source ${CMAKE_CURRENT_BINARY_DIR}/stand_in_driver.c)
file(CONFIGURE OUTPUT ${stand_in_source} CONTENT "${stub_functions}")
set(stand_ins ${PROJECT_BINARY_DIR}/stand-in-drivers)
add_library(stand_in_lacking_call SHARED ${stand_in_source})
target_compile_definitions(stand_in_lacking_call PRIVATE LACKS_${lacked_call})
set_target_properties(stand_in_lacking_call PROPERTIES PREFIX "" OUTPUT_NAME CG400D32
  RUNTIME_OUTPUT_DIRECTORY ${stand_ins}/lacking-call ARCHIVE_OUTPUT_DIRECTORY ${stand_ins}/lacking-call)
if(VORLANE_ARCH STREQUAL "win32")
  set(other_compiler x86_64-w64-mingw32-gcc-posix)
else()
  set(other_compiler i686-w64-mingw32-gcc-posix)
endif()
add_custom_command(OUTPUT ${stand_ins}/other-bitness/CG400D32.dll
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stand_ins}/other-bitness
  COMMAND ${other_compiler} -shared -o ${stand_ins}/other-bitness/CG400D32.dll ${stand_in_source}
  DEPENDS ${stand_in_source})
add_custom_target(stand_in_other_bitness ALL DEPENDS ${stand_ins}/other-bitness/CG400D32.dll)

# vorlane-cli from the installed SDK: command lines, exit statuses, files,
# and stations that lack a DLL or have the wrong one.
add_test(NAME sdk_cli_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/sdk_cli_test.sh ${PROJECT_BINARY_DIR} ${VORLANE_ARCH})
# Its previews paint on the shared screen: nothing else may run meanwhile.
set_tests_properties(sdk_cli_test PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE
  ENVIRONMENT "CMAKE_COMMAND=${CMAKE_COMMAND};LC_ALL=zh_CN.UTF-8;WINEDEBUG=-all")
