# Warning flags for Vantrel's own targets. Third-party code (the SQLCipher
# amalgamation) is compiled without them.
function(vantrel_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local
                                           $<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor>
                                           -Wno-missing-field-initializers)
  if(VANTREL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A static library of one room: every .cpp and .h of the folder (and, with
# RECURSE, of its subfolders), headers found from src/.
function(vantrel_layer_library name folder)
  cmake_parse_arguments(ARG "RECURSE" "" "" ${ARGN})
  if(ARG_RECURSE)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${folder}/*.cpp" "${folder}/*.h")
  else()
    file(GLOB sources CONFIGURE_DEPENDS "${folder}/*.cpp" "${folder}/*.h")
  endif()
  if(NOT sources)
    # A layer that has no code yet still links.
    set(sources "${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp")
    file(WRITE "${sources}" "// ${name} has no sources yet\n")
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  vantrel_target_warnings(${name})
endfunction()
