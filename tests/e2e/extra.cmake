# SPDX-License-Identifier: GPL-3.0-or-later
# The end-to-end runs of the real program, each under an X server of its own (Xvfb): a script per run,
# given the program; 77 means a tool it needs is missing.
#   settings     first start, Alt+F4, the stored settings, a second start
#   commandline  --help and --version without a display, folder and wave arguments, and the hand-over
#                to a running window over a private session bus
#   access       the program at 640 pixels, read and driven through the accessibility bus as a screen
#                reader does
#   drag         a wave dragged from the list onto a folder of the tree moves there, with Ctrl is copied
#   play         a clicked row plays through the sound server and a right click stops it
#   library      two library folders searched from the filter box in library scope, a result played
#                and starred, the star exported and imported
if(TARGET tonfolio)
  foreach(_run settings commandline access drag play library)
    add_test(NAME e2e.${_run} COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/e2e_${_run}.sh $<TARGET_FILE:tonfolio>)
    set_tests_properties(e2e.${_run} PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
  endforeach()
endif()
