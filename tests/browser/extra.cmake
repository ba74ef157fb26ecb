# SPDX-License-Identifier: GPL-3.0-or-later
# More Like This in the window runs over sounds of known kinds, made by the library tests' generator.
target_sources(browser_tst_library PRIVATE ${CMAKE_SOURCE_DIR}/tests/library/soundkinds.cpp
  ${CMAKE_SOURCE_DIR}/tests/library/labelledsounds.cpp ${CMAKE_SOURCE_DIR}/tests/library/synthesis.cpp)
# The waveform's play tests judge what the test sink hears and where the marker is as it plays: like
# the sound tests, they run alone so another test taking both processors cannot stall the server.
set_tests_properties(browser.tst_waveform PROPERTIES RUN_SERIAL TRUE)
