# Compiling faster: ccache when it is installed (and wanted), with the cache
# shared between clones in other folders; see docs/developer.md.
if(WEXAL_CCACHE)
  find_program(WEXAL_CCACHE_PROGRAM ccache)
  if(WEXAL_CCACHE_PROGRAM)
    set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_SOURCE_DIR}/cmake/ccache_compile.sh ${CMAKE_SOURCE_DIR})
    message(STATUS "Compiling through ccache (${WEXAL_CCACHE_PROGRAM}); -DWEXAL_CCACHE=OFF turns it off")
  endif()
endif()

# The standard headers that every precompiled header takes, beside its own.
set(WEXAL_PCH_STD_HEADERS <filesystem> <functional> <memory> <optional> <string> <vector>)

# With precompiled headers GCC must see the header's use through ccache's
# preprocessor run; without ccache the switch changes nothing.
if(WEXAL_PCH AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  add_compile_options(-fpch-preprocess)
endif()

# Behind a precompiled header GCC 12 no longer knows the standard library's
# headers for system headers, and warns of std::string's own copies (string +
# literal, inlined at -O2) in tests that are plainly right. The tests take
# these four off; the programs keep every warning.
set(WEXAL_TEST_WARNINGS ${WEXAL_WARNINGS})
if(WEXAL_PCH AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND WEXAL_TEST_WARNINGS -Wno-array-bounds -Wno-stringop-overflow
       -Wno-stringop-overread -Wno-restrict)
endif()
