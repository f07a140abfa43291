# System DLLs that Setup.exe uses beyond kernel32, and how each program links
# them.
#
# A DLL imported the ordinary way is loaded before any of our code runs, and
# so are its own imports (the platform's user32 imports version.dll, for one),
# found by the default search, which starts in the program's folder. Setup.exe
# loads them on first use instead, through delay-import libraries, after the
# search path has been restricted to the system folder.
#
# binutils' i686 delay-import libraries leave the __imp_ slot of a function
# declared dllimport at 0 in the linked image, so the product's code declares
# these DLLs' functions without dllimport (see ULVERANE_NO_DLLIMPORT) and
# calls them through the library's own thunks.

set(ULVERANE_DELAY_DLLS user32 shell32 advapi32 rpcrt4 comdlg32 msi)
set(ULVERANE_NO_DLLIMPORT WINUSERAPI= WINADVAPI= WINCOMMDLGAPI= _RPCRT4_ _SHELL32_)

set(delay_libs "")
string(REGEX REPLACE "-gcc(-posix)?$" "-dlltool" dlltool "${CMAKE_C_COMPILER}")
foreach(dll IN LISTS ULVERANE_DELAY_DLLS)
  set(def "${CMAKE_CURRENT_LIST_DIR}/delayload/${dll}.def")
  set(out "${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(input "${def}")
    set(kill_at --kill-at)
  else()
    # Only 32-bit names carry the stdcall decoration.
    file(READ "${def}" text)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
    set(input "${CMAKE_BINARY_DIR}/delayload/${dll}.def")
    file(WRITE "${input}" "${text}")
    set(kill_at "")
  endif()
  # The archive's member names must not carry the build folder, so that two
  # builds in different folders give the same bytes.
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${dlltool} --input-def "${input}" --output-delaylib lib${dll}_delay.a
            --dllname ${dll}.dll ${kill_at} --temp-prefix ${dll}_delay
    WORKING_DIRECTORY "${CMAKE_BINARY_DIR}/delayload"
    DEPENDS "${def}"
    VERBATIM)
  list(APPEND delay_libs "${out}")
endforeach()
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/delayload")
add_custom_target(ulverane_delay_import_libs DEPENDS ${delay_libs})

# What Setup.exe links: the delay-import libraries.
add_library(ulverane_delay_imports INTERFACE)
add_dependencies(ulverane_delay_imports ulverane_delay_import_libs)
target_link_libraries(ulverane_delay_imports INTERFACE ${delay_libs} delayimp)

# What test programs link: the ordinary import libraries.
add_library(ulverane_direct_imports INTERFACE)
target_link_libraries(ulverane_direct_imports INTERFACE ${ULVERANE_DELAY_DLLS})
