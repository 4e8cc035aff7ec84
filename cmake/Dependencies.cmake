# Third-party libraries, all from the system. The library itself needs zlib
# alone (Debian: zlib1g-dev), always linked statically: a binary wheel may need
# nothing but the C and C++ runtimes, and Debian's zlib1g-dev ships the archive.
# liblz4-dev and libexpat1-dev are references for the tests, the fuzz targets and
# the benchmarks only: liblz4 writes the tests' LZ4 blocks and checks our decoder,
# expat checks our XML reader.

set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

function(quellan_import_library target header library_names)
  find_path(${target}_INCLUDE_DIR ${header} REQUIRED)
  set(static_names "")
  foreach(name IN LISTS library_names)
    list(APPEND static_names lib${name}.a)
  endforeach()
  find_library(${target}_LIBRARY NAMES ${static_names} ${library_names} REQUIRED)
  add_library(quellan::${target} UNKNOWN IMPORTED GLOBAL)
  set_target_properties(quellan::${target} PROPERTIES
    IMPORTED_LOCATION "${${target}_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${${target}_INCLUDE_DIR}")
endfunction()

