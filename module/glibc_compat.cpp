// What lets one binary of the module load on glibc from 2.28 up while it is
// built on a newer one (the C++ runtime is linked in statically; see
// CMakeLists.txt).
//
// The C++ runtime's headers and archive read __libc_single_threaded, which
// glibc has only from 2.32 on, to skip atomic reference counts while a
// process has one thread. This definition, local to the module, takes the
// place of glibc's: it always says "more than one thread", so every count
// stays atomic, which is correct in any process (and the module is meant for
// many threads anyway). The C++ headers read it exactly when
// <sys/single_threaded.h> exists, so that is the condition here too; the
// header itself is not included, its declaration must not be seen here.
#if __has_include(<sys/single_threaded.h>)

extern "C" {
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;
}

#endif
