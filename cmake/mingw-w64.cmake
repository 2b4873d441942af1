# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (package
# mingw-w64). Used by the Windows tests, which run the results under Wine:
#   cmake -S tests/windows/project -B build-mingw \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZAVREN_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZAVREN_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${ZAVREN_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${ZAVREN_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZAVREN_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Link the compiler's own runtime in, so the programs need no DLL beside them
# (Wine finds no libstdc++-6.dll on its own).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
