/* The interpreter's build configuration for CPython on Windows x64, as the
 * headers of the C API need it. The embeddable distribution ships no headers,
 * and the other headers are the same on every platform: the wheel builder puts
 * this file in place of the pyconfig.h of a copy of them. Every value describes
 * the official build for Windows x64 (MSVC, LLP64), as far as the headers of an
 * extension module read it; the module checks the sizes against the compiler
 * (src/python/pyconfig_checks.cpp). */
#ifndef QUELLAN_WINDOWS_PYCONFIG_H
#define QUELLAN_WINDOWS_PYCONFIG_H

/* The platform: selects the Windows branches of the headers. */
#define MS_WIN32
#define MS_WIN64
#define MS_WINDOWS
/* Threads are Windows threads, not pthreads. */
#define NT_THREADS
#define WITH_THREAD
/* Symbols of the interpreter are imported from pythonXY.dll with dllimport, and
 * PyMODINIT_FUNC exports the module's init function with dllexport. */
#define HAVE_DECLSPEC_DLL
#define Py_ENABLE_SHARED 1

/* LLP64: long stays 32 bits while pointers and size_t are 64. */
#define SIZEOF_SHORT 2
#define SIZEOF_INT 4
#define SIZEOF_LONG 4
#define SIZEOF_LONG_LONG 8
#define SIZEOF_VOID_P 8
#define SIZEOF_SIZE_T 8
#define SIZEOF_FLOAT 4
#define SIZEOF_DOUBLE 8
/* The C runtime's time_t is 64 bits, its off_t a long, its fpos_t 64 bits. */
#define SIZEOF_TIME_T 8
#define SIZEOF_OFF_T 4
#define SIZEOF_FPOS_T 8
/* wchar_t is a UTF-16 code unit. */
#define SIZEOF_WCHAR_T 2
#define HAVE_WCHAR_H 1
#define SIZEOF__BOOL 1
/* A registry key handle is a pointer. */
#define SIZEOF_HKEY 8
#define ALIGNOF_SIZE_T 8
/* MSVC's max_align_t, which the interpreter was built with (GCC's is 16):
 * allocations are aligned as the interpreter aligns them, not as GCC would. */
#define ALIGNOF_MAX_ALIGN_T 8

/* Py_ssize_t is the C runtime's 64-bit ssize_t. */
#define HAVE_SSIZE_T 1
/* The headers of 3.9 and 3.10 still spell long long through these. */
#define HAVE_LONG_LONG 1
#define PY_LONG_LONG long long
/* sys.platform. */
#define PLATFORM "win32"

#endif
