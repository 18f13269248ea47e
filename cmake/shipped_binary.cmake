# What every binary that goes to a station gets: a version resource from the
# project's version, PE header versions that the oldest supported Windows
# accepts, and its debug information split off into NAME.debug beside it,
# reached through a debug link, while the binary itself is stripped.
enable_language(RC)

#   vorlane_shipped_binary(TARGET DESCRIPTION INSTALL_FOLDER [CXX_RUNTIME])
# CXX_RUNTIME: the program links the C++ runtime, whose threads library
# needs a stand-in for one import that Windows XP lacks.
function(vorlane_shipped_binary target description destination)
  if("CXX_RUNTIME" IN_LIST ARGN)
    target_sources(${target} PRIVATE ${Vorlane_SOURCE_DIR}/shared/tick_count_xp.cpp)
  endif()
  get_target_property(type ${target} TYPE)
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(VORLANE_FILE_NAME ${name}${CMAKE_EXECUTABLE_SUFFIX})
    set(VORLANE_FILE_TYPE VFT_APP)
  else()
    set(VORLANE_FILE_NAME ${name}${CMAKE_SHARED_LIBRARY_SUFFIX})
    set(VORLANE_FILE_TYPE VFT_DLL)
  endif()
  set(VORLANE_FILE_DESCRIPTION "${description}")
  set(VORLANE_INTERNAL_NAME ${name})
  foreach(part MAJOR MINOR PATCH TWEAK)
    if(Vorlane_VERSION_${part} STREQUAL "")
      set(VORLANE_VERSION_${part} 0)
    else()
      set(VORLANE_VERSION_${part} ${Vorlane_VERSION_${part}})
    endif()
  endforeach()
  # Vorlane's name and version, also for a program under a project of its own.
  set(PROJECT_NAME Vorlane)
  set(PROJECT_VERSION ${Vorlane_VERSION})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${Vorlane_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})

  target_compile_options(${target} PRIVATE -g)
  target_link_options(${target} PRIVATE ${VORLANE_OLDEST_WINDOWS_LINK_OPTIONS})

  # Only the file name goes into the debug link: the .debug file is looked
  # for beside the binary, wherever that is installed.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE_NAME:${target}>
            $<TARGET_FILE_NAME:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug
            $<TARGET_FILE_NAME:${target}>
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
  install(FILES $<TARGET_FILE:${target}>.debug DESTINATION ${destination})
endfunction()
