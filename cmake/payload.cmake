# The payload: thirteen "BIN" resources, each read from a file of a payload
# folder that has the layout of the setup's working folder.

include(${CMAKE_CURRENT_LIST_DIR}/payload_list.cmake)

# The checksum table's bytes: the CRC-32C of each payload file, made on the
# build machine by a program of its own (cmake/payload_checksums.cpp).
find_program(ULVERANE_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
set(ULVERANE_CHECKSUM_TOOL "${CMAKE_BINARY_DIR}/host/payload_checksums")
add_custom_command(
  OUTPUT "${ULVERANE_CHECKSUM_TOOL}"
  COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/host"
  COMMAND ${ULVERANE_HOST_CXX} -O2 -std=c++17 -o "${ULVERANE_CHECKSUM_TOOL}"
          "${CMAKE_CURRENT_LIST_DIR}/payload_checksums.cpp"
  DEPENDS "${CMAKE_CURRENT_LIST_DIR}/payload_checksums.cpp"
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
