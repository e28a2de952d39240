# Builds the linker version script from the per-family export lists.  The
# sorted list is also written to a plain file that the export test compares
# with the symbols the shared library really defines.
function(quorvel_write_version_script lists map_file plain_file)
  set(symbols "")
  foreach(list_file IN LISTS lists)
    file(STRINGS ${list_file} lines)
    foreach(line IN LISTS lines)
      string(STRIP "${line}" line)
      if(line AND NOT line MATCHES "^#")
        list(APPEND symbols ${line})
      endif()
    endforeach()
  endforeach()
  list(SORT symbols)
  list(REMOVE_DUPLICATES symbols)
  set(body "")
  foreach(symbol IN LISTS symbols)
    string(APPEND body "    ${symbol};\n")
  endforeach()
  if(NOT symbols)
    # A version script needs at least one global entry to be valid.
    set(body "    quorvel_no_exports_yet;\n")
  endif()
  string(REPLACE ";" "\n" plain "${symbols}")
  file(CONFIGURE OUTPUT ${map_file}
       CONTENT "QUORVEL_1 {\n  global:\n${body}  local:\n    *;\n};\n" @ONLY)
  file(CONFIGURE OUTPUT ${plain_file} CONTENT "${plain}\n" @ONLY)
endfunction()
