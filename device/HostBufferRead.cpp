#include "device/HostBufferRead.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

bool usableSize(int size, int maxSize) { return size > 0 && size <= maxSize; }

}  // namespace

HostTextRead readHostText(int& size, int& retries, int maxSize, const HostBufferCall& call,
                          const std::function<void(int newSize)>& beforeRetry) {
    HostTextRead result;
    try {
        std::vector<char> buffer;
        while (true) {
            if (!usableSize(size, maxSize)) {
                result.status = kHostReadRefused;
                return result;
            }
            buffer.assign(static_cast<size_t>(size) + 1, '\0');
            int written = size;
            const int status = call(buffer.data(), written);
            buffer.back() = '\0';
            if (status == 0) {
                // A text that fills the whole announced size has no terminator
                // where the host had room for one: the buffer holds no text.
                const size_t length = strnlen(buffer.data(), buffer.size());
                if (length >= static_cast<size_t>(size)) {
                    result.status = kHostReadRefused;
                    return result;
                }
                result.status = 0;
                result.text.assign(buffer.data(), length);
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
