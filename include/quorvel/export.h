/** @file
 * Export and linkage macros shared by every quorvel header.
 */
#ifndef QUORVEL_EXPORT_H
#define QUORVEL_EXPORT_H

/** QRVL_API marks a declaration as one of the library's exports: visible
   from the shared library, imported from the DLL on Windows unless
   QUORVEL_STATIC says that the static archive is linked. */
#if defined(_WIN32)
#  if defined(QUORVEL_BUILDING)
#    define QRVL_API __declspec(dllexport)
#  elif defined(QUORVEL_STATIC) /* linking libquorvel.a, not the DLL */
#    define QRVL_API
#  else
#    define QRVL_API __declspec(dllimport)
#  endif
#else
#  define QRVL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define QRVL_BEGIN_DECLS extern "C" {
#  define QRVL_END_DECLS }
#else
/** QRVL_BEGIN_DECLS opens a header's declarations: `extern "C" {` in C++,
   nothing in C. */
#  define QRVL_BEGIN_DECLS
/** QRVL_END_DECLS closes what QRVL_BEGIN_DECLS opened. */
#  define QRVL_END_DECLS
#endif

/** QRVL_PRINTF asks for printf-style format checking where the compiler
   offers it. */
#if defined(__GNUC__)
#  define QRVL_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#  define QRVL_PRINTF(fmt, args)
#endif

/** QRVL_ALIAS makes `name` one more exported name of the function `target` (one
   function, two symbols).  Used in source files only. */
#if defined(__GNUC__) && defined(_WIN32)
#  define QRVL_ALIAS(target) __attribute__((alias(#target), nothrow))
#elif defined(__GNUC__)
#  define QRVL_ALIAS(target) __attribute__((alias(#target), visibility("default")))
#endif

#endif /* QUORVEL_EXPORT_H */
