# Links a test or benchmark program with the well-kept libraries it may
# compare quorvel against, where they are installed, and defines
# <prefix>_HAVE_OPENSSL, <prefix>_HAVE_ZLIB and <prefix>_HAVE_SPDLOG for
# each one found.  The library itself never depends on them.
function(quorvel_link_oracles target prefix)
  set(oracles "OpenSSL_FOUND|OpenSSL::Crypto|OPENSSL"
              "ZLIB_FOUND|ZLIB::ZLIB|ZLIB"
              "spdlog_FOUND|spdlog::spdlog|SPDLOG")
  foreach(oracle IN LISTS oracles)
    string(REPLACE "|" ";" fields "${oracle}")
    list(GET fields 0 found)
    list(GET fields 1 library)
    list(GET fields 2 name)
    if(${found})
      target_link_libraries(${target} PRIVATE ${library})
      target_compile_definitions(${target} PRIVATE ${prefix}_HAVE_${name}=1)
    endif()
  endforeach()
endfunction()
