# The about tests read the running program's own version block, so their programs carry one.
foreach(_t about_tst_verslab about_tst_aboutdlg)
  if(TARGET ${_t})
    tonfolio_embed_version_block(${_t})
    target_compile_definitions(${_t} PRIVATE TONFOLIO_VERSION="${PROJECT_VERSION}")
  endif()
endforeach()
