# Doxygen reports undocumented items only in files that are documented
# themselves, so a public header without its "/** @file" comment would
# hide every missing comment in it.  Run with -DHEADERS=<list>.
foreach(header IN LISTS HEADERS)
  file(READ ${header} text)
  if(NOT text MATCHES "^/\\*\\* @file")
    message(FATAL_ERROR "${header}: the header must open with its /** @file comment")
  endif()
endforeach()
