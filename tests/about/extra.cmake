# SPDX-License-Identifier: GPL-3.0-or-later
# Tests that read the running program's own version block carry one.
foreach(_t about_tst_verslab about_tst_aboutdlg platform_tst_version)
  if(TARGET ${_t})
    tonfolio_embed_version_block(${_t})
    target_compile_definitions(${_t} PRIVATE TONFOLIO_VERSION="${PROJECT_VERSION}")
  endif()
endforeach()
