// The copy between a transfer buffer and a mapped view, recovered from an in-page error.
//
// A mapped file reports a failing disk not through a call's result but as a fault on the
// access: writing a view of a file on a full drive (Wine extends a mapped file sparsely, so
// the space is taken only when a page is first written) or reading a view past the end of
// a file that another program truncated. MinGW's compiler has no structured exception
// blocks, and unwinding out of an exception handler into C++ code (longjmp) is not defined.
// So the only instruction allowed to fault is the one string move of a small assembly
// routine that uses no stack and saves what it changes in scratch registers: a vectored
// handler that sees a fault on a mapped file's page at exactly that instruction moves the
// thread to the routine's failure exit, which returns 0 with the caller's state as it was at the call.
// Any other fault, and any other exception there, goes on to the handlers after ours.
#include "protocol/viewcopy.h"

#include <windows.h>

#include <cstdint>

extern "C" int ViewCopyRoutine(void* pDst, const void* pSrc, size_t cb) asm("talmox_view_copy");
extern "C" const char ViewCopyMove[] asm("talmox_view_copy_move");
extern "C" const char ViewCopyFailed[] asm("talmox_view_copy_failed");

#if defined(__x86_64__)
// Windows x64: pDst in rcx, pSrc in rdx, cb in r8; rdi and rsi belong to the caller and are
// kept in r9 and r10, which are the routine's own.
asm(R"(
    .text
    .p2align 4
talmox_view_copy:
    mov %rdi, %r9
    mov %rsi, %r10
    mov %rcx, %rdi
    mov %rdx, %rsi
    mov %r8, %rcx
talmox_view_copy_move:
    rep movsb
    mov $1, %eax
    jmp 1f
talmox_view_copy_failed:
    xor %eax, %eax
1:
    mov %r9, %rdi
    mov %r10, %rsi
    ret
)");
#elif defined(__i386__)
// cdecl: the arguments on the stack; edi and esi belong to the caller and are kept in edx
// and eax until the result goes into eax.
asm(R"(
    .text
    .p2align 4
talmox_view_copy:
    mov %edi, %edx
    mov %esi, %eax
    mov 4(%esp), %edi
    mov 8(%esp), %esi
    mov 12(%esp), %ecx
talmox_view_copy_move:
    rep movsb
    mov %eax, %esi
    mov %edx, %edi
    mov $1, %eax
    ret
talmox_view_copy_failed:
    mov %eax, %esi
    mov %edx, %edi
    xor %eax, %eax
    ret
)");
#else
#error "the view copy is written for x86 and x86-64"
#endif

// Windows reports a page that its file cannot back as an in-page error; Wine reports the
// same as an access violation. Either counts only on a page of a mapped file, so that a
// wild pointer handed to the copy still crashes where it should.
static int IsMappedFilePageFault(const EXCEPTION_RECORD* pRec)
{
    DWORD code = pRec->ExceptionCode;
    if ((code != EXCEPTION_IN_PAGE_ERROR && code != EXCEPTION_ACCESS_VIOLATION) ||
        pRec->NumberParameters < 2)
        return 0;
    MEMORY_BASIC_INFORMATION mbi;
    return VirtualQuery((void*)pRec->ExceptionInformation[1], &mbi, sizeof mbi) == sizeof mbi &&
           mbi.Type == MEM_MAPPED;
}

static LONG CALLBACK OnViewCopyFault(EXCEPTION_POINTERS* pInfo)
{
#if defined(__x86_64__)
    DWORD64& ip = pInfo->ContextRecord->Rip;
#else
    DWORD& ip = pInfo->ContextRecord->Eip;
#endif
    if (ip != (uintptr_t)ViewCopyMove || !IsMappedFilePageFault(pInfo->ExceptionRecord))
        return EXCEPTION_CONTINUE_SEARCH;
    ip = (uintptr_t)ViewCopyFailed;
    return EXCEPTION_CONTINUE_EXECUTION;
}

int CopyViewBytes(void* pDst, const void* pSrc, size_t cb)
{
    // Installed once, first in the chain, for every thread of the process.
    static PVOID s_hHandler = AddVectoredExceptionHandler(1, OnViewCopyFault);
    (void)s_hHandler;
    return cb == 0 || ViewCopyRoutine(pDst, pSrc, cb);
}
