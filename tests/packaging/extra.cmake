# SPDX-License-Identifier: GPL-3.0-or-later
# Desktop integration and the Debian package: the desktop entry and metainfo pass the
# freedesktop.org validators, and the package installs the right files and a program that starts.
set(_pack_dir ${CMAKE_CURRENT_LIST_DIR})
set(_pack_id example.varnholt.Tonfolio)
set(_pack_env "QT_QPA_PLATFORM=offscreen")

add_test(NAME packaging.validate
         COMMAND bash ${_pack_dir}/validate.sh ${CMAKE_BINARY_DIR}/packaging ${_pack_id} ${PROJECT_VERSION})
set_tests_properties(packaging.validate PROPERTIES ENVIRONMENT "${_pack_env}" TIMEOUT 60)

# Sends the close request of a window manager to the packaged program under Xvfb.
find_package(X11)
set(_pack_close "")
if(X11_FOUND)
  add_executable(packaging_closewindow ${_pack_dir}/closewindow.cpp)
  target_link_libraries(packaging_closewindow PRIVATE X11::X11)
  set(_pack_close $<TARGET_FILE:packaging_closewindow>)
endif()

# A sanitized executable is no product to ship; the plain build checks the package.
if(TONFOLIO_SANITIZE)
  set(_pack_sanitized 1)
else()
  set(_pack_sanitized 0)
endif()
add_test(NAME packaging.deb
         COMMAND bash ${_pack_dir}/deb.sh ${CMAKE_BINARY_DIR} ${_pack_id} ${PROJECT_VERSION}
                 ${_pack_sanitized} "${_pack_close}")
set_tests_properties(packaging.deb PROPERTIES
  ENVIRONMENT "${_pack_env}" TIMEOUT 300 SKIP_RETURN_CODE 77)

# Every tracked source, build and shell file carries the licence tag.
add_test(NAME packaging.licence_tags COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/spdx.sh --check)
set_tests_properties(packaging.licence_tags PROPERTIES TIMEOUT 60)
