# Optional Authenticode signing of Setup.exe (osslsigncode, SHA-256), after
# it is linked. Either a PEM certificate and key, or a PKCS#12 file whose
# password is in the environment variable ULVERANE_SIGN_PASSWORD at build
# time. No time stamp unless a server is named: these machines have no
# network.
set(ULVERANE_SIGN_CERT "" CACHE FILEPATH "PEM certificate (chain) to sign Setup.exe with")
set(ULVERANE_SIGN_KEY "" CACHE FILEPATH "PEM private key of ULVERANE_SIGN_CERT")
set(ULVERANE_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file to sign Setup.exe with; password in ULVERANE_SIGN_PASSWORD")
set(ULVERANE_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server; empty: none")

# ulverane_sign(<target> PEM <cert> <key> | PKCS12 <file>)
function(ulverane_sign target)
  cmake_parse_arguments(arg "" "PKCS12" "PEM" ${ARGN})
  if(arg_PEM)
    set(credentials pem ${arg_PEM})
  else()
    set(credentials pkcs12 "${arg_PKCS12}")
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND bash "${PROJECT_SOURCE_DIR}/cmake/sign-image.sh" "$<TARGET_FILE:${target}>"
            ${credentials} ${ULVERANE_SIGN_TIMESTAMP_URL}
    COMMENT "Signing ${target}"
    VERBATIM)
endfunction()
