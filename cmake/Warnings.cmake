# The warning flags of every target of the project, in one interface library:
# the core, the extension module, the tests, the benchmarks and the fuzz targets
# link quellan::warnings and so build under the same rules.
#
# Two warnings are errors in every build, since neither has false positives and
# each marks a broken contract: a `switch` over a closed set that forgets a
# case, and a fallible call whose result is dropped (error::Expected is
# [[nodiscard]]). QUELLAN_WERROR turns every other warning into an error too;
# scripts/test, and so CI, builds with it.

option(QUELLAN_WERROR "Treat every compiler warning as an error" OFF)

set(QUELLAN_WARNING_FLAGS -Wall -Wextra -Wpedantic -Wconversion -Wno-sign-conversion
  -Werror=switch -Werror=unused-result)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports false positives inside std::variant moves (the moved-from
  # alternative "may be used uninitialized") at -O2 and above.
  list(APPEND QUELLAN_WARNING_FLAGS -Wno-maybe-uninitialized)
endif()
if(QUELLAN_WERROR)
  list(APPEND QUELLAN_WARNING_FLAGS -Werror)
endif()

add_library(quellan_warnings INTERFACE)
add_library(quellan::warnings ALIAS quellan_warnings)
target_compile_options(quellan_warnings INTERFACE ${QUELLAN_WARNING_FLAGS})
