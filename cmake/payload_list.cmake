# The payload list (resources/payload.txt) and where the checksum table
# goes, for the Windows build and the host fuzz build alike. Sets
# ULVERANE_PAYLOAD_IDS, ULVERANE_PAYLOAD_<id> (the file, relative to a
# payload folder), ULVERANE_CULTURES, ULVERANE_CHECKSUM_TYPE and _ID, and
# makes <build>/generated/resources/payload_files.h for the code.
# ulverane_use_payload_list(<target>) gives a target both.

set(payload_list "${CMAKE_CURRENT_LIST_DIR}/../resources/payload.txt")
file(STRINGS "${payload_list}" payload_lines REGEX "^[0-9]")
set(ULVERANE_PAYLOAD_IDS "")
set(ULVERANE_CULTURES "")
set(ULVERANE_PAYLOAD_ROWS "")
foreach(line IN LISTS payload_lines)
  if(NOT line MATCHES "^([0-9]+)[ \t]+(([^/ \t]+)/)?([^/ \t]+)[ \t]*([a-z]*)$")
    message(FATAL_ERROR "resources/payload.txt: not an entry: ${line}")
  endif()
  set(id ${CMAKE_MATCH_1})
  set(culture "${CMAKE_MATCH_3}")
  set(name "${CMAKE_MATCH_4}")
  set(role "${CMAKE_MATCH_5}")
  list(APPEND ULVERANE_PAYLOAD_IDS ${id})
  string(APPEND ULVERANE_PAYLOAD_ROWS "    {${id}, L\"${culture}\", L\"${name}\"},\n")
  if(culture)
    list(APPEND ULVERANE_CULTURES ${culture})
    set(ULVERANE_PAYLOAD_${id} "${culture}/${name}")
  else()
    set(ULVERANE_PAYLOAD_${id} "${name}")
  endif()
  if(role STREQUAL "package")
    set(ULVERANE_PACKAGE_ID ${id})
  elseif(role STREQUAL "program")
    set(ULVERANE_PROGRAM_ID ${id})
  elseif(role)
    message(FATAL_ERROR "resources/payload.txt: no such role: ${role}")
  endif()
endforeach()
if(NOT ULVERANE_PAYLOAD_IDS OR NOT ULVERANE_PACKAGE_ID OR NOT ULVERANE_PROGRAM_ID)
  message(FATAL_ERROR "resources/payload.txt: no entries, or no package or program")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${payload_list}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/../resources/payload_files.h.in"
               "${CMAKE_BINARY_DIR}/generated/resources/payload_files.h" @ONLY)

# The checksum table of every setup: resource CRC 1 beside the payload.
set(ULVERANE_CHECKSUM_TYPE CRC)
set(ULVERANE_CHECKSUM_ID 1)

function(ulverane_use_payload_list target)
  target_include_directories(${target} PUBLIC "${CMAKE_BINARY_DIR}/generated")
  target_compile_definitions(${target} PUBLIC ULVERANE_CHECKSUM_TYPE=${ULVERANE_CHECKSUM_TYPE}
                                              ULVERANE_CHECKSUM_ID=${ULVERANE_CHECKSUM_ID})
endfunction()
