# The payload: thirteen "BIN" resources, each read from a file of a payload
# folder that has the layout of the setup's working folder.

# The list itself is the product's table in resources/payload_files.h.
file(READ "${CMAKE_CURRENT_LIST_DIR}/../resources/payload_files.h" payload_table)
string(REGEX MATCHALL "{([0-9]+), L\"([^\"]*)\", L\"([^\"]*)\"}" payload_entries
       "${payload_table}")
# ULVERANE_PAYLOAD_<id>: the file, relative to the payload folder.
set(ULVERANE_PAYLOAD_IDS "")
set(ULVERANE_CULTURES "")
foreach(entry IN LISTS payload_entries)
  string(REGEX MATCH "{([0-9]+), L\"([^\"]*)\", L\"([^\"]*)\"}" _ "${entry}")
  list(APPEND ULVERANE_PAYLOAD_IDS ${CMAKE_MATCH_1})
  if(CMAKE_MATCH_2)
    list(APPEND ULVERANE_CULTURES ${CMAKE_MATCH_2})
    set(ULVERANE_PAYLOAD_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}/${CMAKE_MATCH_3}")
  else()
    set(ULVERANE_PAYLOAD_${CMAKE_MATCH_1} "${CMAKE_MATCH_3}")
  endif()
endforeach()
if(NOT ULVERANE_PAYLOAD_IDS)
  message(FATAL_ERROR "resources/payload_files.h: no payload entries found")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${CMAKE_CURRENT_LIST_DIR}/../resources/payload_files.h")

# The checksum table of every setup: the CRC-32C of each payload file, made
# on the build machine by a program of its own (tools/payload_checksums.cpp)
# and stored where payload/checksum_table.h says.
file(READ "${CMAKE_CURRENT_LIST_DIR}/../payload/checksum_table.h" checksum_header)
string(REGEX MATCH "kChecksumType\\[\\] = L\"([A-Z]+)\";" _ "${checksum_header}")
set(ULVERANE_CHECKSUM_TYPE "${CMAKE_MATCH_1}")
string(REGEX MATCH "kChecksumTableId = ([0-9]+);" _ "${checksum_header}")
set(ULVERANE_CHECKSUM_ID "${CMAKE_MATCH_1}")
if(NOT ULVERANE_CHECKSUM_TYPE OR NOT ULVERANE_CHECKSUM_ID)
  message(FATAL_ERROR "payload/checksum_table.h: where the checksum table goes not found")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             "${CMAKE_CURRENT_LIST_DIR}/../payload/checksum_table.h")
find_program(ULVERANE_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
set(ULVERANE_CHECKSUM_TOOL "${CMAKE_BINARY_DIR}/host/payload_checksums")
add_custom_command(
  OUTPUT "${ULVERANE_CHECKSUM_TOOL}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/host"
  COMMAND ${ULVERANE_HOST_CXX} -O2 -std=c++17 -o "${ULVERANE_CHECKSUM_TOOL}"
          "${CMAKE_CURRENT_LIST_DIR}/../tools/payload_checksums.cpp"
  DEPENDS "${CMAKE_CURRENT_LIST_DIR}/../tools/payload_checksums.cpp"
  VERBATIM)
add_custom_target(ulverane_checksum_tool DEPENDS "${ULVERANE_CHECKSUM_TOOL}")

set(ULVERANE_PAYLOAD_DIR "" CACHE PATH
    "Folder with the thirteen payload files; empty for the sample built here")

# Fails configuration when `dir` lacks one of the payload files.
function(ulverane_check_payload dir)
  foreach(id IN LISTS ULVERANE_PAYLOAD_IDS)
    set(file "${dir}/${ULVERANE_PAYLOAD_${id}}")
    if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
      message(FATAL_ERROR "Payload file missing: ${file} (resource BIN ${id})")
    endif()
  endforeach()
endfunction()

if(ULVERANE_PAYLOAD_DIR)
  get_filename_component(ULVERANE_PAYLOAD_DIR "${ULVERANE_PAYLOAD_DIR}" ABSOLUTE)
  ulverane_check_payload("${ULVERANE_PAYLOAD_DIR}")
  set(ULVERANE_PAYLOAD_DEPENDS "")
else()
  set(ULVERANE_PAYLOAD_DIR "${CMAKE_BINARY_DIR}/sample-payload")
  set(ULVERANE_PAYLOAD_DEPENDS sample_payload)
endif()

# ulverane_add_setup(<target> PAYLOAD_DIR <dir> [OMIT <id>...] [DEPENDS <target>...]
#                    [SIGN_PEM <cert> <key>] [MANIFEST <file>])
# Builds a setup executable carrying the payload of <dir>. OMIT leaves
# resources out, for tests of a damaged build. SIGN_PEM signs it. MANIFEST
# replaces the application manifest, for tests of settings a process can
# only be given through it.
function(ulverane_add_setup target)
  cmake_parse_arguments(arg "" "PAYLOAD_DIR;MANIFEST" "OMIT;DEPENDS;SIGN_PEM" ${ARGN})
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc")
  set(lines "#include \"setup.rc\"\n\nLANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_UK\n")
  set(files "")
  set(checksummed "")
  if(arg_MANIFEST)
    set(lines "#define ULVERANE_MANIFEST \"${arg_MANIFEST}\"\n${lines}")
    list(APPEND files "${arg_MANIFEST}")
  endif()
  foreach(id IN LISTS ULVERANE_PAYLOAD_IDS)
    if(NOT id IN_LIST arg_OMIT)
      set(file "${arg_PAYLOAD_DIR}/${ULVERANE_PAYLOAD_${id}}")
      string(APPEND lines "${id} BIN \"${file}\"\n")
      list(APPEND files "${file}")
      list(APPEND checksummed "${id}=${file}")
    endif()
  endforeach()
  set(table "${CMAKE_CURRENT_BINARY_DIR}/${target}_checksums.bin")
  add_custom_command(
    OUTPUT "${table}"
    COMMAND "${ULVERANE_CHECKSUM_TOOL}" "${table}" ${checksummed}
    DEPENDS ${files} "${ULVERANE_CHECKSUM_TOOL}" ulverane_checksum_tool ${arg_DEPENDS}
    VERBATIM)
  string(APPEND lines "${ULVERANE_CHECKSUM_ID} ${ULVERANE_CHECKSUM_TYPE} \"${table}\"\n")
  list(APPEND files "${table}")
  file(GENERATE OUTPUT "${rc}" CONTENT "${lines}")

  add_executable(${target} WIN32 ${PROJECT_SOURCE_DIR}/app/main.cpp
                 ${PROJECT_SOURCE_DIR}/app/import_fallbacks.cpp
                 ${PROJECT_SOURCE_DIR}/app/delay_load_hook.cpp "${rc}" "${table}")
  target_link_libraries(${target} PRIVATE ulverane_core ulverane_delay_imports)
  # Page-aligned sections let the platform's loader map the image; with the
  # default 512-byte alignment Wine reads all of it, payload included, into
  # memory at start-up.
  # Shipped without its symbol table; the map names the import slots for the
  # image checks.
  # Terminal-Server-aware: on a Remote Desktop host, an unaware program gets
  # a private per-user Windows folder instead of the real one.
  target_link_options(${target} PRIVATE -municode -Wl,--file-alignment=0x1000 -s -Wl,--tsaware
                      "-Wl,-Map,$<TARGET_FILE_DIR:${target}>/${target}.map")
  target_include_directories(${target} PRIVATE "${PROJECT_SOURCE_DIR}/resources")
  # windres reports no dependencies of its own.
  file(GLOB resource_files "${PROJECT_SOURCE_DIR}/resources/*")
  set_source_files_properties("${rc}" PROPERTIES GENERATED TRUE
                              OBJECT_DEPENDS "${files};${resource_files}")
  if(arg_DEPENDS)
    add_dependencies(${target} ${arg_DEPENDS})
  endif()
  if(arg_SIGN_PEM)
    ulverane_sign(${target} PEM ${arg_SIGN_PEM})
  endif()
endfunction()
