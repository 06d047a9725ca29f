// Linked into every program of the ThreadSanitizer tree, ahead of the runtime's own clone().
//
// QProcess starts children with clone(CLONE_VM | CLONE_VFORK): the child borrows the parent's memory
// until it calls exec. The runtime's clone() treats every clone as a fork and updates its state from
// inside the child, which with a shared address space is the parent's state: the clang runtime then
// fails an internal check, the GCC one believes the parent forked itself and refuses new threads.
// This passes the call straight to the C library, so the parent's state stays as it was; nothing
// between such a clone and its exec is ours to check.

#include <dlfcn.h>

#include <cstdarg>
#include <sys/types.h>

extern "C" int clone(int (*function)(void *), void *stack, int flags, void *argument, ...)
{
    using Clone = int (*)(int (*)(void *), void *, int, void *, ...);
    static const Clone libcClone = [] {
        void *libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
        return reinterpret_cast<Clone>(dlsym(libc, "clone"));
    }();
    va_list rest;
    va_start(rest, argument);
    auto *parentTid = va_arg(rest, pid_t *);
    void *tls = va_arg(rest, void *);
    auto *childTid = va_arg(rest, pid_t *);
    va_end(rest);
    return libcClone(function, stack, flags, argument, parentTid, tls, childTid);
}
