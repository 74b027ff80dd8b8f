# SPDX-License-Identifier: GPL-2.0-or-later
# Copyright the Telvo authors

# Warnings, and floating point exactly as written: results are specified to the last bit,
# so no multiply-add may be fused and no fast-math reassociation may happen, on either
# compiler.
add_compile_options(-Wall -Wextra -ffp-contract=off -fno-fast-math)

if(TELVO_SANITIZE)
  add_compile_options(-fsanitize=${TELVO_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${TELVO_SANITIZE})
endif()

# Coverage feedback for libFuzzer in every library; only the fuzz targets link its
# driver (-fsanitize=fuzzer).
if(TELVO_BUILD_FUZZERS)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Symbols stay inside the module unless exported on purpose.
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)
