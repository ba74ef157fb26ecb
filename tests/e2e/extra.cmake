# SPDX-License-Identifier: GPL-3.0-or-later
# The end-to-end run of the real program under Xvfb: first start, Alt+F4, stored settings, second start.
if(TARGET tonfolio)
  add_test(NAME browser.e2e_settings
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_settings.sh $<TARGET_FILE:tonfolio>)
  set_tests_properties(browser.e2e_settings PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
endif()
# The real program's command line: --help and --version without a display, folder and wave arguments,
# and the hand-over to a running window over a private session bus.
if(TARGET tonfolio)
  add_test(NAME browser.e2e_commandline
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_commandline.sh $<TARGET_FILE:tonfolio>)
  set_tests_properties(browser.e2e_commandline PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
endif()
# The real program at 640 pixels, read and driven through the accessibility bus as a screen reader does.
if(TARGET tonfolio)
  add_test(NAME browser.e2e_access
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_access.sh $<TARGET_FILE:tonfolio>)
  set_tests_properties(browser.e2e_access PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
endif()
