# The Windows program, cross-built: vellutor.scr, the test driver and the setup program.
enable_language(RC)

# SSE2 is present on every machine the saver targets; wider vectors are chosen at run time.
set(VELLUTOR_ARCH_FLAGS -march=i686 -msse2 -mfpmath=sse)
set(VELLUTOR_WIN_DEFINES WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601
    DIRECTDRAW_VERSION=0x0500)
# Large-address aware: on 64-bit Windows the 32-bit saver then has 4 GB of addresses for big photos.
set(VELLUTOR_STATIC_LINK -static -static-libgcc -static-libstdc++ -Wl,--large-address-aware)
set(VELLUTOR_WIN_LIBS ddraw dxguid ole32 oleaut32 uuid comctl32 shell32 gdi32 user32
    advapi32 winmm)

# JPEG decoding, with the SIMD code that the processor's features select at run time.
include(cmake/libjpeg_turbo.cmake)
vellutor_libjpeg_turbo(libjpeg windows
  -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake -DWITH_SIMD=ON
  -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm)

add_library(vellutor_core STATIC ${VELLUTOR_CORE_SOURCES})
vellutor_compile_options(vellutor_core)
target_compile_options(vellutor_core PRIVATE ${VELLUTOR_ARCH_FLAGS})
target_link_libraries(vellutor_core PUBLIC libjpeg)

# The Windows layer as a library, so that test probes can link single pieces of it.
add_library(vellutor_win STATIC ${VELLUTOR_WIN_SOURCES})
vellutor_compile_options(vellutor_win)
target_compile_options(vellutor_win PRIVATE ${VELLUTOR_ARCH_FLAGS})
target_compile_definitions(vellutor_win PUBLIC ${VELLUTOR_WIN_DEFINES})
target_link_libraries(vellutor_win PUBLIC vellutor_core ${VELLUTOR_WIN_LIBS})

add_executable(vellutor WIN32 host/win/entry.cpp resources/vellutor.rc)
vellutor_compile_options(vellutor)
set_target_properties(vellutor PROPERTIES SUFFIX ".scr" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(vellutor PRIVATE vellutor_win)
target_link_options(vellutor PRIVATE ${VELLUTOR_STATIC_LINK})

# The test build: the same saver with its test seams compiled in (see engine/win/test_seams.h).
# Only tests run it; it is never installed.
add_library(vellutor_win_seams STATIC ${VELLUTOR_WIN_SOURCES})
vellutor_compile_options(vellutor_win_seams)
target_compile_options(vellutor_win_seams PRIVATE ${VELLUTOR_ARCH_FLAGS})
target_compile_definitions(vellutor_win_seams PUBLIC ${VELLUTOR_WIN_DEFINES} VELLUTOR_TEST_SEAMS)
target_link_libraries(vellutor_win_seams PUBLIC vellutor_core ${VELLUTOR_WIN_LIBS})

add_executable(vellutor_seams WIN32 host/win/entry.cpp resources/vellutor.rc)
vellutor_compile_options(vellutor_seams)
set_target_properties(vellutor_seams PROPERTIES OUTPUT_NAME vellutor-seams SUFFIX ".scr"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_link_libraries(vellutor_seams PRIVATE vellutor_win_seams)
target_link_options(vellutor_seams PRIVATE ${VELLUTOR_STATIC_LINK})

foreach(extra tests/driver tools/setup)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${extra}/CMakeLists.txt)
    add_subdirectory(${extra})
  endif()
endforeach()
