# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers shared by the folders' build files.

# A library of one source folder: every .cpp/.h/.ui of the folder (not its subfolders).
function(tonfolio_folder_library name)
  file(GLOB _src CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/*.ui)
  add_library(${name} STATIC ${_src})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR})
endfunction()

# Embeds the program's version block; defined by resources/ once the block exists.
if(NOT COMMAND tonfolio_embed_version_block)
  function(tonfolio_embed_version_block target)
  endfunction()
endif()
