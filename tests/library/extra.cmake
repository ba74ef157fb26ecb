# SPDX-License-Identifier: GPL-3.0-or-later
# The measures' tests make their labelled sounds with the generator the benchmark shares.
target_sources(library_tst_soundmeasurer PRIVATE ${CMAKE_CURRENT_LIST_DIR}/labelledsounds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/synthesis.cpp)
# Finding sounds alike runs over sounds of known kinds.
target_sources(library_tst_soundsimilarity PRIVATE ${CMAKE_CURRENT_LIST_DIR}/soundkinds.cpp
  ${CMAKE_CURRENT_LIST_DIR}/labelledsounds.cpp ${CMAKE_CURRENT_LIST_DIR}/synthesis.cpp)
