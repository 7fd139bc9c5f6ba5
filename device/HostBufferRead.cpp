#include "device/HostBufferRead.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

bool usableSize(int size, int maxSize) { return size > 0 && size <= maxSize; }

// Reads up to this size (the usual first guesses) use a buffer on the stack:
// a heap buffer of a kilobyte or more per read makes the allocator sweep its
// free lists each time, which grows with the heap of a large batch.
constexpr size_t kStackBufferBytes = 4096 + 1;

}  // namespace

HostTextRead readHostText(int& size, int& retries, int maxSize, const HostBufferCall& call,
                          const std::function<void(int newSize)>& beforeRetry) {
    HostTextRead result;
    char onStack[kStackBufferBytes];
    std::unique_ptr<char[]> onHeap;
    while (true) {
        if (!usableSize(size, maxSize)) {
            result.status = kHostReadRefused;
            return result;
        }
        const size_t bytes = static_cast<size_t>(size) + 1;
        char* buffer = onStack;
        if (bytes > sizeof(onStack)) {
            // A buffer that cannot be had fails the read; the host's own
            // exceptions are not caught here and pass to its caller.
            onHeap.reset(new (std::nothrow) char[bytes]);
            if (onHeap == nullptr) {
                result.status = kHostReadRefused;
                return result;
            }
            buffer = onHeap.get();
        }
        std::memset(buffer, 0, bytes);
        int written = size;
        const int status = call(buffer, written);
        if (status == 0) {
            // The terminator may lie anywhere within the size + 1 bytes: a
            // host that counts sizes without it fills `size` bytes and puts
            // its NUL into the last. No NUL at all is no text.
            const size_t length = strnlen(buffer, bytes);
            if (length == bytes) {
                result.status = kHostReadRefused;
                return result;
            }
            result.status = 0;
            result.text.assign(buffer, length);
            return result;
        }
        result.status = status;
        if (status != 2) return result;
        size = written;
        if (!usableSize(size, maxSize)) {
            result.status = kHostReadRefused;
            return result;
        }
        if (retries <= 0) return result;
        --retries;
        if (beforeRetry) beforeRetry(size);
    }
}
