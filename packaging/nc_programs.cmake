# The file names of NC part programs: the one list from which the package's
# shared-mime-info rules and the program's "NC ﾌｧｲﾙ" type are both made.
# Extensions without their dots, lower case (the desktop matches them in any
# case). Left out on purpose: iso (disc images), h and min (C headers,
# minified scripts) and txt, which other types own.
set(WEXAL_NC_PROGRAM_EXTENSIONS nc cnc tap ngc eia ptp mpf spf)
