# Third-party libraries, all from the system (Debian: liblz4-dev, zlib1g-dev; the
# fuzz build also takes libexpat1-dev, its reference XML reader).
# LZ4 is linked statically when a static archive is present, so the module carries
# its own copy and does not depend on the version installed beside the interpreter.
# zlib is always linked statically: a binary wheel may need nothing but the C and
# C++ runtimes, and Debian's zlib1g-dev ships the archive.

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

quellan_import_library(lz4 lz4.h lz4)
