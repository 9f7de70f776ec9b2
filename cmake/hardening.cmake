# The programs are hardened as Debian builds its packages (dpkg-buildflags'
# hardening=+all): fortified string and memory functions where the compiler
# optimises, the stack protector and stack clash protection, control-flow
# protection, position-independent executables and read-only relocations
# bound at start. MinGW-w64 keeps what it supports: the stack protector and
# the PE flags of address space randomisation and data execution prevention.
if(NOT WEXAL_HARDENING OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

add_compile_options(-fstack-protector-strong)
if(WIN32)
  # The driver links libssp for the protector only when it sees the switch.
  add_link_options(-fstack-protector-strong -Wl,--dynamicbase,--nxcompat,--high-entropy-va)
  return()
endif()

# _FORTIFY_SOURCE needs optimisation; a compiler may already define it.
set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
add_compile_options("$<${optimised}:-U_FORTIFY_SOURCE>" "$<${optimised}:-D_FORTIFY_SOURCE=2>")
add_compile_options(-fstack-clash-protection)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|i.86")
  add_compile_options(-fcf-protection)
endif()

include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_link_options(-Wl,-z,relro,-z,now)
