# Run by CTest after the tests (CTestCustom.cmake in the build folder), in
# that folder: prints each skipped GoogleTest case with the reason its skip
# gave, which CTest itself shows only as "Skipped". Cases that share a
# reason are listed under it once.
cmake_minimum_required(VERSION 3.25)
# CTest writes this run's log under this name and gives it its final one,
# LastTest.log, only after this script; that one is the last run's.
set(log Testing/Temporary/LastTest.log.tmp)
if(NOT EXISTS ${log})
  return()
endif()
file(READ ${log} text)

# GoogleTest writes "<file>:<line>: Skipped", the reason's lines, then
# "[  SKIPPED ] <case> (<time>)".
set(skip_marker ": Skipped\n")
set(case_marker "[  SKIPPED ] ")
string(LENGTH "${skip_marker}" skip_length)
string(LENGTH "${case_marker}" case_length)
set(reasons "")
while(TRUE)
  string(FIND "${text}" "${skip_marker}" at)
  if(at EQUAL -1)
    break()
  endif()
  math(EXPR at "${at} + ${skip_length}")
  string(SUBSTRING "${text}" ${at} -1 text)
  # Seen from the newline before the reason, so that an empty one is found too.
  string(FIND "\n${text}" "\n${case_marker}" end)
  if(end EQUAL -1)
    break()
  endif()
  set(reason "")
  if(end GREATER 0)
    math(EXPR reason_length "${end} - 1")
    string(SUBSTRING "${text}" 0 ${reason_length} reason)
  endif()
  # A skip inside SCOPED_TRACE has the trace after its reason.
  string(FIND "${reason}" "\nGoogle Test trace:" trace)
  if(NOT trace EQUAL -1)
    string(SUBSTRING "${reason}" 0 ${trace} reason)
  endif()
  string(STRIP "${reason}" reason)
  if(reason STREQUAL "")
    set(reason "(no reason given)")
  endif()
  math(EXPR end "${end} + ${case_length}")
  string(SUBSTRING "${text}" ${end} -1 text)
  string(FIND "${text}" " " name_end)
  string(SUBSTRING "${text}" 0 ${name_end} name)

  string(MD5 key "${reason}")
  if(NOT DEFINED reason_${key})
    set(reason_${key} "${reason}")
    list(APPEND reasons ${key})
  endif()
  string(APPEND names_${key} "    ${name}\n")
endwhile()

if(reasons)
  message("\nSkipped tests, and why:")
  foreach(key IN LISTS reasons)
    string(REPLACE "\n" "\n  " reason "${reason_${key}}")
    message("  ${reason}\n${names_${key}}")
  endforeach()
endif()
