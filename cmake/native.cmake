# The portable core built natively, with its unit tests (plain and sanitized),
# the benchmarks and the tests that run the Windows build under Wine.
# The same JPEG library as the Windows build, without its SIMD code, which the sanitizers
# cannot see into.
include(cmake/libjpeg_turbo.cmake)
vellutor_libjpeg_turbo(libjpeg native -DWITH_SIMD=OFF)

add_library(vellutor_core STATIC ${VELLUTOR_CORE_SOURCES})
vellutor_compile_options(vellutor_core)
target_link_libraries(vellutor_core PUBLIC libjpeg)

set(VELLUTOR_SANITIZE_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)
add_library(vellutor_core_sanitized STATIC ${VELLUTOR_CORE_SOURCES})
vellutor_compile_options(vellutor_core_sanitized)
target_link_libraries(vellutor_core_sanitized PUBLIC libjpeg)
target_compile_options(vellutor_core_sanitized PRIVATE ${VELLUTOR_SANITIZE_FLAGS})
target_link_options(vellutor_core_sanitized PUBLIC ${VELLUTOR_SANITIZE_FLAGS})

enable_testing()
add_subdirectory(tests)
add_subdirectory(bench)
