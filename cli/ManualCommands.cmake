# Writes the part of zuv8620(1) that each command's --help gives, so that the
# manual and the help cannot drift apart: a SYNOPSIS of every command's usage
# line and a COMMANDS section with every command's whole text.
#   cmake -DTOOL=zuv8620 -DOUT=FILE.h2m -P ManualCommands.cmake
set(commands list show get add remove set save check export apply edit help)

# Text for roff between .nf and .fi: backslashes escaped, no line taken as a
# request.
function(roff_text text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(synopsis "[SYNOPSIS]\n.nf\n")
set(section "[COMMANDS]\nEach command's text, as \\fBzuv8620\\fR \\fICOMMAND\\fR \\fB\\-\\-help\\fR prints it. FILE stands for \\fB\\-\\-file\\fR \\fIPATH\\fR or \\fB\\-\\-root\\fR \\fIDIR\\fR \\fB\\-\\-driver\\fR \\fINAME\\fR.\n")
foreach(command IN LISTS commands)
  execute_process(COMMAND "${TOOL}" help ${command} OUTPUT_VARIABLE text
                  COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCH "^Usage: ([^\n]*)" usage "${text}")
  roff_text("${CMAKE_MATCH_1}" usage)
  string(APPEND synopsis "${usage}\n")
  string(REGEX REPLACE "^Usage: [^\n]*\n\n?" "" body "${text}")
  roff_text("${body}" body)
  string(APPEND section ".SS ${command}\n.nf\n${usage}\n\n${body}.fi\n")
endforeach()
string(APPEND synopsis "zuv8620 \\-\\-help | \\-\\-version\n.fi\n")
file(READ "${INCLUDE}" include)
file(WRITE "${OUT}" "${synopsis}\n${section}\n${include}")
