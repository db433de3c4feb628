# The accepted-devices table: up to six "VID:PID:MI" entries, hexadecimal for
# the identifiers, separated by semicolons. A deployment passes the device
# maker's values with -DVELTRANO_DEVICE_TABLE=...; the default serves the
# virtual device and development hardware.
set(VELTRANO_DEVICE_TABLE
    "1209:0001:01;1209:0002:01;1209:0003:01;1209:0004:01;1209:0005:01;1209:0006:01"
    CACHE STRING "Accepted devices: up to six VID:PID:MI entries (hexadecimal), ';'-separated")

set(_entries "")
set(_count 0)
foreach(entry IN LISTS VELTRANO_DEVICE_TABLE)
  if(NOT entry MATCHES "^([0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]):([0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f][0-9A-Fa-f]):([0-9A-Fa-f][0-9A-Fa-f]?)$")
    message(FATAL_ERROR "VELTRANO_DEVICE_TABLE: '${entry}' is not VVVV:PPPP:MI in hexadecimal")
  endif()
  set(_vid ${CMAKE_MATCH_1})
  set(_pid ${CMAKE_MATCH_2})
  set(_mi ${CMAKE_MATCH_3})
  if(_vid MATCHES "^0+$")
    message(FATAL_ERROR "VELTRANO_DEVICE_TABLE: vendor ID 0 would end the table at '${entry}'")
  endif()
  string(APPEND _entries "    {0x${_vid}, 0x${_pid}, 0x${_mi}},\n")
  math(EXPR _count "${_count} + 1")
endforeach()
if(_count EQUAL 0 OR _count GREATER 6)
  message(FATAL_ERROR "VELTRANO_DEVICE_TABLE needs one to six entries, has ${_count}")
endif()
set(VELTRANO_DEVICE_TABLE_ENTRIES "${_entries}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/device_table_values.inc.in
               ${CMAKE_BINARY_DIR}/generated/veltrano/device_table_values.inc @ONLY)
