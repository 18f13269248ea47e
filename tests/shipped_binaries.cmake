# The binaries as they go to stations: their imports, PE header versions,
# stripping and size; and a host built with Microsoft's tools.
add_test(NAME shipped_imports_check
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/shipped_imports_check.py ${CMAKE_OBJDUMP} ${VORLANE_ARCH}
          $<TARGET_FILE:Vorlane> $<TARGET_FILE:cg400_virtual>
          $<$<TARGET_EXISTS:vorlane-cli>:$<TARGET_FILE:vorlane-cli>>)
add_test(NAME msvc_host_test
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/msvc_host_test.sh ${PROJECT_BINARY_DIR} ${VORLANE_ARCH})
set_tests_properties(msvc_host_test PROPERTIES TIMEOUT 600
  ENVIRONMENT "CMAKE_COMMAND=${CMAKE_COMMAND};LC_ALL=zh_CN.UTF-8;WINEDEBUG=-all")

# The version resource is read back against the project's version.
target_link_libraries(station_test PRIVATE version)
target_compile_definitions(station_test PRIVATE VORLANE_VERSION="${PROJECT_VERSION}"
  VORLANE_VERSION_MAJOR=${PROJECT_VERSION_MAJOR} VORLANE_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  VORLANE_VERSION_PATCH=${PROJECT_VERSION_PATCH})
# vorlane-cli, whose version it reads too, is built first.
if(TARGET vorlane-cli)
  add_dependencies(station_test vorlane-cli)
endif()
