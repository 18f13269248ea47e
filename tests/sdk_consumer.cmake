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

# vorlane-cli from the installed SDK: command lines, exit statuses, files.
add_test(NAME sdk_cli_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/sdk_cli_test.sh ${PROJECT_BINARY_DIR})
# Its previews paint on the shared screen: nothing else may run meanwhile.
set_tests_properties(sdk_cli_test PROPERTIES TIMEOUT 900 RUN_SERIAL TRUE
  ENVIRONMENT "CMAKE_COMMAND=${CMAKE_COMMAND};LC_ALL=zh_CN.UTF-8;WINEDEBUG=-all")
