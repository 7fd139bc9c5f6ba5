#include "device/HostBufferRead.h"

#include <cstring>
#include <new>
#include <vector>

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
    try {
        char onStack[kStackBufferBytes];
        std::vector<char> onHeap;
        while (true) {
            if (!usableSize(size, maxSize)) {
                result.status = kHostReadRefused;
                return result;
            }
            const size_t bytes = static_cast<size_t>(size) + 1;
            char* buffer = onStack;
            if (bytes > sizeof(onStack)) {
                onHeap.assign(bytes, '\0');
                buffer = onHeap.data();
            } else {
                std::memset(onStack, 0, bytes);
            }
            int written = size;
            const int status = call(buffer, written);
            buffer[bytes - 1] = '\0';
            if (status == 0) {
                // A text that fills the whole announced size has no terminator
                // where the host had room for one: the buffer holds no text.
                const size_t length = strnlen(buffer, bytes);
                if (length >= static_cast<size_t>(size)) {
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
    } catch (const std::bad_alloc&) {
        result.status = kHostReadRefused;
        result.text.clear();
    }
    return result;
}
