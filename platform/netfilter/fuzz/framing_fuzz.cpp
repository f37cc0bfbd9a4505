// Feeds arbitrary bytes, cut into arbitrary reads, to the request framer and
// to the response tracker, and checks what they report against the input.

#include "platform/netfilter/request_framer.h"
#include "platform/netfilter/response_tracker.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

using platform::netfilter::RequestFramer;
using platform::netfilter::ResponseTracker;

void frameRequests(const std::string& input, size_t step) {
    RequestFramer framer(4096);
    std::string received;
    size_t consumed = 0;
    for (size_t at = 0; at < input.size(); at += step) {
        received += input.substr(at, step);
        const auto verdict =
            framer.parse(received.data() + consumed, received.size() - consumed, consumed);
        if (consumed > received.size() ||
            (framer.headerDone() &&
             (framer.lineSize() > framer.headSize() || framer.headSize() > consumed))) {
            std::abort();
        }
        if (verdict == RequestFramer::Verdict::BadRequest ||
            verdict == RequestFramer::Verdict::HeaderTooLarge) {
            return;
        }
        if (verdict == RequestFramer::Verdict::Complete) {
            received.erase(0, consumed);
            consumed = 0;
            framer.reset();
        }
    }
}

void trackResponses(const std::string& input, size_t step) {
    ResponseTracker tracker;
    for (int i = 0; i < 4; ++i) {
        tracker.expect({i == 1, i == 2, i == 3});
    }
    size_t relayed = 0;
    for (size_t at = 0; at < input.size(); at += step) {
        const std::string part = input.substr(at, step);
        const auto outcome = tracker.feed(part.data(), part.size());
        for (const auto& buffer : tracker.buffers()) {
            relayed += buffer.size();
        }
        if (relayed > at + part.size()) {
            std::abort(); // more out than in
        }
        if (outcome == ResponseTracker::Outcome::Failed) {
            return;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t step = 1 + data[1] % 64;
    const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
    if (data[0] % 2 == 0) {
        frameRequests(input, step);
    } else {
        trackResponses(input, step);
    }
    return 0;
}
