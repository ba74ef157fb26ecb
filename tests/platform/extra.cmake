# SPDX-License-Identifier: GPL-3.0-or-later
# The sound tests judge what the test sink hears sample by sample (gaps, clicks at joins): another
# test beside them that takes both processors can starve the sound server and make clicks that no
# join of the program's caused, so they run alone.
set_tests_properties(platform.tst_sound platform.tst_soundoutput PROPERTIES RUN_SERIAL TRUE)
