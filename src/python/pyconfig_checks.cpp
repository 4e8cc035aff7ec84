// On Windows the interpreter's build configuration is the project's own
// pyconfig.h, written for the official MSVC build: the compiler must agree with
// every size it states, or the module would read the interpreter's structures
// with the wrong layout. ALIGNOF_MAX_ALIGN_T is MSVC's by design and not checked.
#include <Python.h>

#ifdef MS_WINDOWS
#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <sys/types.h>

static_assert(sizeof(short) == SIZEOF_SHORT);
static_assert(sizeof(int) == SIZEOF_INT);
static_assert(sizeof(long) == SIZEOF_LONG);
static_assert(sizeof(long long) == SIZEOF_LONG_LONG);
static_assert(sizeof(void*) == SIZEOF_VOID_P);
static_assert(sizeof(std::size_t) == SIZEOF_SIZE_T);
static_assert(sizeof(float) == SIZEOF_FLOAT);
static_assert(sizeof(double) == SIZEOF_DOUBLE);
static_assert(sizeof(std::time_t) == SIZEOF_TIME_T);
static_assert(sizeof(off_t) == SIZEOF_OFF_T);
static_assert(sizeof(std::fpos_t) == SIZEOF_FPOS_T);
static_assert(sizeof(wchar_t) == SIZEOF_WCHAR_T);
static_assert(sizeof(bool) == SIZEOF__BOOL);
static_assert(sizeof(HKEY) == SIZEOF_HKEY);
static_assert(alignof(std::size_t) == ALIGNOF_SIZE_T);
static_assert(sizeof(Py_ssize_t) == sizeof(void*));
#endif
