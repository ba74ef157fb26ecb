# SPDX-License-Identifier: GPL-3.0-or-later
# The end-to-end run of the real program under Xvfb: a wave dragged from the list onto a folder of
# the tree moves there, and with Ctrl held is copied.
if(TARGET tonfolio)
  add_test(NAME browser.e2e_drag
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/browser/e2e_drag.sh $<TARGET_FILE:tonfolio>)
  set_tests_properties(browser.e2e_drag PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
endif()
