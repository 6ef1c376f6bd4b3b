# libjpeg-turbo, built as a static library from Debian's source package (scripts/jpeg-source).
# Each build of it lives in build/deps/<flavour> with its own stamps, so a fresh build folder
# or a rebuild finds it there and does not build it again.
include(ExternalProject)

set(VELLUTOR_DEPS_DIR ${CMAKE_SOURCE_DIR}/build/deps CACHE PATH
    "Where libjpeg-turbo's source is unpacked and built, shared by the build folders")
set(VELLUTOR_JPEG_SOURCE ${VELLUTOR_DEPS_DIR}/libjpeg-turbo)
if(NOT EXISTS ${VELLUTOR_JPEG_SOURCE}/.unpacked)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/scripts/jpeg-source ${VELLUTOR_DEPS_DIR}
    RESULT_VARIABLE fetched)
  if(NOT fetched EQUAL 0)
    message(FATAL_ERROR "libjpeg-turbo's source could not be fetched (scripts/jpeg-source)")
  endif()
endif()

# vellutor_libjpeg_turbo(TARGET FLAVOUR [cmake arguments...]) makes TARGET, an imported
# static library with its headers, built by the arguments into build/deps/FLAVOUR.
function(vellutor_libjpeg_turbo target flavour)
  set(prefix ${VELLUTOR_DEPS_DIR}/${flavour})
  set(library ${prefix}/lib/libjpeg.a)
  set(launcher)
  if(CMAKE_C_COMPILER_LAUNCHER)
    set(launcher -DCMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER})
  elseif(DEFINED ENV{CMAKE_C_COMPILER_LAUNCHER})
    set(launcher -DCMAKE_C_COMPILER_LAUNCHER=$ENV{CMAKE_C_COMPILER_LAUNCHER})
  endif()
  ExternalProject_Add(${target}_build
    PREFIX ${prefix}
    SOURCE_DIR ${VELLUTOR_JPEG_SOURCE}
    BINARY_DIR ${prefix}/build
    INSTALL_DIR ${prefix}
    DOWNLOAD_COMMAND ""
    UPDATE_COMMAND ""
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DENABLE_SHARED=OFF -DENABLE_STATIC=ON
               -DWITH_TURBOJPEG=OFF -DWITH_ARITH_DEC=ON -DWITH_ARITH_ENC=ON
               -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR> ${launcher} ${ARGN}
    # Only the library: the tools are not needed.
    BUILD_COMMAND $(MAKE) jpeg-static
    INSTALL_COMMAND ${CMAKE_COMMAND} -E make_directory <INSTALL_DIR>/lib <INSTALL_DIR>/include
    COMMAND ${CMAKE_COMMAND} -E copy <BINARY_DIR>/libjpeg.a <INSTALL_DIR>/lib/
    COMMAND ${CMAKE_COMMAND} -E copy <SOURCE_DIR>/jpeglib.h <SOURCE_DIR>/jmorecfg.h
            <SOURCE_DIR>/jerror.h <BINARY_DIR>/jconfig.h <INSTALL_DIR>/include/
    BUILD_BYPRODUCTS ${library})
  file(MAKE_DIRECTORY ${prefix}/include)
  add_library(${target} STATIC IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION ${library}
    INTERFACE_INCLUDE_DIRECTORIES ${prefix}/include)
  add_dependencies(${target} ${target}_build)
endfunction()
