# SPDX-License-Identifier: GPL-3.0-or-later
# More Like This in the window runs over sounds of known kinds, made by the library tests' generator.
target_sources(browser_tst_library PRIVATE ${CMAKE_SOURCE_DIR}/tests/library/soundkinds.cpp
  ${CMAKE_SOURCE_DIR}/tests/library/labelledsounds.cpp ${CMAKE_SOURCE_DIR}/tests/library/synthesis.cpp)
