# Warnings are errors in our own code; third-party code (googletest) is not
# linked against this target and keeps its own flags.
add_library(veltrano_warnings INTERFACE)
target_compile_options(veltrano_warnings INTERFACE -Wall -Wextra -Werror)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports -Wrestrict false positives inside libstdc++'s string
  # concatenation when optimising; they point at no code of ours.
  target_compile_options(veltrano_warnings INTERFACE -Wshadow=local -Wno-restrict)
else()
  target_compile_options(veltrano_warnings INTERFACE -Wshadow)
endif()
