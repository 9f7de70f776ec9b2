# The Windows build: the core, the DNC server, ncpath, ncrev and the core
# tests that need nothing POSIX-only, every executable linked statically so
# that it runs without DLLs beside it.
target_compile_definitions(wexal_core PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                             _WIN32_WINNT=0x0601)
target_link_libraries(wexal_core PUBLIC ws2_32)
add_link_options(-static -static-libgcc -static-libstdc++)

add_executable(wexal-dnc src/app/dnc_main.cpp)
target_link_libraries(wexal-dnc PRIVATE wexal_core)
target_compile_options(wexal-dnc PRIVATE ${WEXAL_WARNINGS})

add_executable(ncpath tools/ncpath/main.cpp)
target_link_libraries(ncpath PRIVATE wexal_core)
target_compile_options(ncpath PRIVATE ${WEXAL_WARNINGS})

add_executable(ncrev tools/ncrev/main.cpp)
target_link_libraries(ncrev PRIVATE wexal_core)
target_compile_options(ncrev PRIVATE ${WEXAL_WARNINGS})

if(WEXAL_TESTS)
  enable_testing()
  add_subdirectory(tests/windows)
endif()
