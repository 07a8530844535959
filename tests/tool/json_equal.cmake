# cmake -DA=first.json -DB=second.json -P json_equal.cmake
# Fails unless the two files hold the same JSON value (an independent reader:
# CMake's own, not the one qctool uses).
file(READ "${A}" a)
file(READ "${B}" b)
string(JSON same EQUAL "${a}" "${b}")
if(NOT same)
  message(FATAL_ERROR "${A} and ${B} hold different JSON values")
endif()
