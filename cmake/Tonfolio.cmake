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

# Fails the configuration when `target` reaches one of the `forbidden` targets through its links, so a
# room that needs no GUI cannot come to link one by way of another room.
function(tonfolio_forbid_links target)
  set(_todo ${target})
  set(_seen "")
  while(_todo)
    list(POP_FRONT _todo _t)
    if(_t IN_LIST _seen OR NOT TARGET ${_t})
      continue()
    endif()
    list(APPEND _seen ${_t})
    if(_t IN_LIST ARGN)
      message(FATAL_ERROR "${target} links ${_t}; it must not")
    endif()
    get_target_property(_imported ${_t} IMPORTED)
    if(_imported)
      get_target_property(_deps ${_t} INTERFACE_LINK_LIBRARIES)
    else()
      get_target_property(_deps ${_t} LINK_LIBRARIES)
    endif()
    foreach(_d IN LISTS _deps)
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" _d "${_d}")
      list(APPEND _todo ${_d})
    endforeach()
  endwhile()
endfunction()
