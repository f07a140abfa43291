# Delay-import libraries for the system DLLs that Setup.exe uses beyond
# kernel32. A DLL imported the ordinary way is loaded before any of our code
# runs, and so are its own imports (the platform's user32 imports version.dll,
# for one), found by the default search, which starts in the program's
# folder. Loaded on first use instead, they come after the search path has
# been restricted to the system folder.
#
# Defines the target ulverane_delay_imports.

set(delay_dlls user32 shell32 advapi32 rpcrt4)
set(delay_libs "")
string(REGEX REPLACE "-gcc(-posix)?$" "-dlltool" dlltool "${CMAKE_C_COMPILER}")
foreach(dll IN LISTS delay_dlls)
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
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${dlltool} --input-def "${input}" --output-delaylib "${out}" --dllname ${dll}.dll ${kill_at}
    DEPENDS "${def}"
    VERBATIM)
  list(APPEND delay_libs "${out}")
endforeach()
add_custom_target(ulverane_delay_import_libs DEPENDS ${delay_libs})
add_library(ulverane_delay_imports INTERFACE)
add_dependencies(ulverane_delay_imports ulverane_delay_import_libs)
target_link_libraries(ulverane_delay_imports INTERFACE ${delay_libs} delayimp)
