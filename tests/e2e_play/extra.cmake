# SPDX-License-Identifier: GPL-3.0-or-later
# The real program plays a clicked row through the sound server and stops on a right click.
if(TARGET tonfolio)
  add_test(NAME e2e.play COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_play.sh $<TARGET_FILE:tonfolio>)
  set_tests_properties(e2e.play PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
endif()
