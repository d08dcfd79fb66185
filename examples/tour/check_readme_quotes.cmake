# Checks that README.md quotes each tour program word for word.
#
# cmake -DREADME=README.md -DSOURCES=a.c;b.c -P check_readme_quotes.cmake
#
# The quoted part of a program is the text between its "/* tour: begin */"
# and "/* tour: end */" lines, with the two spaces of indentation inside
# main() taken off every line. The README must hold it, as one piece, in a
# ```c block.
file(READ ${README} readme)
foreach(source ${SOURCES})
  file(READ ${source} text)
  string(FIND "${text}" "  /* tour: begin */\n" begin)
  string(FIND "${text}" "  /* tour: end */\n" end)
  if(begin EQUAL -1 OR end EQUAL -1 OR end LESS begin)
    message(FATAL_ERROR "${source}: no /* tour: begin */ ... /* tour: end */ lines")
  endif()
  string(LENGTH "  /* tour: begin */\n" marker)
  math(EXPR from "${begin} + ${marker}")
  math(EXPR length "${end} - ${from}")
  string(SUBSTRING "${text}" ${from} ${length} quote)
  # Take off the indentation: every line starts with two spaces or is empty.
  string(REPLACE "\n  " "\n" quote "\n${quote}")
  string(SUBSTRING "${quote}" 1 -1 quote)
  string(FIND "${readme}" "```c\n${quote}```\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.md does not quote ${source} as it stands; the quote should be:\n"
                        "```c\n${quote}```")
  endif()
  message(STATUS "README.md quotes ${source}")
endforeach()
